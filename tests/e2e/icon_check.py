#!/usr/bin/env python3
"""Compares a window's icon, as `xprobe icon` prints it, with the icon file it was made from.

    icon_check.py ICON.BMP KEY-INDEX LIBRARY < xprobe-output
    icon_check.py --title-bar ICON.BMP KEY-INDEX WIDTH HEIGHT < raw-rgb

The second form looks for the icon where a window manager draws it: in a picture of the title
bar (WIDTH x HEIGHT raw 8-bit RGB on stdin, as `convert -depth 8 rgb:-` writes it), scaled to
whatever size the manager's theme gives it. It finds the pixels of the icon's most used shown
colour; they must form one solid square, the icon's other shown colours must lie within it, and
no pixel may show the colour key's colour. Scaling blends the small parts of the icon into their
surroundings, so the other colours are matched more loosely than the main one.

ICON.BMP is an uncompressed 8-bit palettized BMP; pixels of palette index KEY-INDEX must be
hidden, every other pixel shown in its palette colour. Prints one line per finding and exits 1
on any mismatch.

LIBRARY is "classic", "compat" or "windows". The classic library, and Wine for the Windows
program, hand the icon over as a pixmap and a mask in WM_HINTS; the compatibility layer (1.2.60) as ARGB in _NET_WM_ICON, taking each palette
entry's fourth byte for alpha. Our icon files set that byte to 255, so either way every shown
pixel must be opaque and every colour-key pixel transparent.
"""

import struct
import sys


def read_bmp(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        sys.exit(f"{path}: not a BMP")
    offset = struct.unpack_from("<I", data, 10)[0]
    header = struct.unpack_from("<IiiHHI", data, 14)
    _, width, height, _, bits, compression = header
    if bits != 8 or compression != 0:
        sys.exit(f"{path}: not an uncompressed 8-bit BMP")
    colours = struct.unpack_from("<I", data, 46)[0] or 256
    palette_at = 14 + header[0]
    palette = [
        (data[palette_at + 4 * i + 2], data[palette_at + 4 * i + 1], data[palette_at + 4 * i])
        for i in range(colours)
    ]
    stride = (width + 3) & ~3
    rows = []
    for y in range(abs(height)):
        # Rows are stored bottom-up unless the height is negative.
        stored = abs(height) - 1 - y if height > 0 else y
        start = offset + stored * stride
        rows.append(list(data[start : start + width]))
    return width, abs(height), palette, rows


def near(a, b, tolerance=24):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def title_bar(bmp, key, width, height, raw):
    _, _, palette, rows = read_bmp(bmp)
    if len(raw) != width * height * 3:
        print(f"{len(raw)} bytes of picture for {width}x{height}")
        return 1
    counts = {}
    for row in rows:
        for index in row:
            if index != key:
                counts[palette[index]] = counts.get(palette[index], 0) + 1
    shown = sorted(counts, key=counts.get, reverse=True)
    main = shown[0]
    pixels = [tuple(raw[3 * i : 3 * i + 3]) for i in range(width * height)]
    hex_colour = lambda c: "%02X%02X%02X" % c
    keyed = sum(near(p, palette[key], 8) for p in pixels)
    found = [(i % width, i // width) for i, p in enumerate(pixels) if near(p, main)]
    if not found:
        print(f"no pixel of the icon's colour {hex_colour(main)} in the {width}x{height} title bar")
        return 1
    left, right = min(x for x, _ in found), max(x for x, _ in found)
    top, bottom = min(y for _, y in found), max(y for _, y in found)
    box_w, box_h = right - left + 1, bottom - top + 1
    print(f"the icon's colour {hex_colour(main)} fills {len(found)} pixels of a {box_w}x{box_h} box at "
          f"({left},{top}) of the {width}x{height} title bar")
    failures = []
    if abs(box_w - box_h) > 1 or box_w < 4:
        failures.append("that box is not a square of at least 4 pixels")
    # Pixels of other colours (the others of the icon, the edges blended into the bar) may take
    # up to half of the box.
    if len(found) < box_w * box_h // 2:
        failures.append("that box is not mostly of the icon's colour")
    for colour in shown[1:]:
        inside = [
            (x, y) for y in range(top, bottom + 1) for x in range(left, right + 1)
            if near(pixels[y * width + x], colour, 48)
        ]
        if not inside:
            failures.append(f"the icon's colour {hex_colour(colour)} is not within that box")
    if keyed:
        failures.append(f"{keyed} pixels show the colour key's colour {hex_colour(palette[key])}")
    for line in failures:
        print(line)
    return 1 if failures else 0


def main():
    if sys.argv[1] == "--title-bar":
        bmp, key, width, height = sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
        return title_bar(bmp, key, width, height, sys.stdin.buffer.read())
    bmp, key, library = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    width, height, palette, rows = read_bmp(bmp)
    lines = sys.stdin.read().split("\n")
    head = lines[0].split()
    failures = []
    if len(head) != 4 or head[0] != "icon":
        print(f"not an icon dump: {lines[0]!r}")
        return 1
    got_width, got_height, source = int(head[1]), int(head[2]), head[3]
    print(f"icon from {source}, {got_width}x{got_height}")
    if (got_width, got_height) != (width, height):
        print(f"size {got_width}x{got_height}, the file is {width}x{height}")
        return 1
    expected_source = "net-wm-icon" if library == "compat" else "wm-hints"
    if source != expected_source:
        failures.append(f"the icon comes from {source}, not {expected_source}")

    pixels = [[int(p, 16) for p in line.split()] for line in lines[1 : 1 + height]]
    key_pixels = sum(row.count(key) for row in rows)
    if key_pixels == 0 or key_pixels == width * height:
        failures.append(f"the icon file has {key_pixels} colour key pixels; the check needs some of each kind")
    for y in range(height):
        for x in range(width):
            index = rows[y][x]
            argb = pixels[y][x]
            alpha, rgb = argb >> 24, argb & 0xFFFFFF
            r, g, b = palette[index]
            wanted = (r << 16) | (g << 8) | b
            if index == key:
                hidden = alpha == 0 and (source == "wm-hints" or rgb == 0)
                if not hidden:
                    failures.append(f"({x},{y}) is the colour key but shows as {argb:08X}")
            elif alpha != 0xFF or rgb != wanted:
                failures.append(f"({x},{y}) shows as {argb:08X}, the file has FF{wanted:06X}")
    for line in failures[:20]:
        print(line)
    if len(failures) > 20:
        print(f"... and {len(failures) - 20} more")
    print(f"{width * height - key_pixels} shown and {key_pixels} hidden pixels checked")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
