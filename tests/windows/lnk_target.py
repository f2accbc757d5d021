#!/usr/bin/env python3
"""Prints what a Windows shortcut (.lnk) starts: its target path, then its working directory,
one a line, as Explorer would read them (the shell link format's LinkInfo and StringData).

    lnk_target.py SHORTCUT.lnk
"""

import struct
import sys

HAS_ID_LIST, HAS_LINK_INFO, HAS_NAME, HAS_RELATIVE_PATH, HAS_WORKING_DIR = 0x1, 0x2, 0x4, 0x8, 0x10
IS_UNICODE = 0x80


def c_string(data, at):
    return data[at : data.index(b"\0", at)].decode("mbcs" if sys.platform == "win32" else "latin-1")


def main():
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    if struct.unpack_from("<I", data, 0)[0] != 0x4C:
        sys.exit(f"{sys.argv[1]}: not a shell link")
    flags = struct.unpack_from("<I", data, 0x14)[0]
    at = 0x4C
    if flags & HAS_ID_LIST:
        at += 2 + struct.unpack_from("<H", data, at)[0]
    target = ""
    if flags & HAS_LINK_INFO:
        size, _, _, _, base, _, suffix = struct.unpack_from("<7I", data, at)
        target = c_string(data, at + base) + c_string(data, at + suffix)
        at += size
    strings = {}
    for bit in (HAS_NAME, HAS_RELATIVE_PATH, HAS_WORKING_DIR):
        if flags & bit:
            count = struct.unpack_from("<H", data, at)[0]
            width = 2 if flags & IS_UNICODE else 1
            raw = data[at + 2 : at + 2 + count * width]
            strings[bit] = raw.decode("utf-16-le" if width == 2 else "latin-1").rstrip("\0")
            at += 2 + count * width
    print(target or strings.get(HAS_RELATIVE_PATH, ""))
    print(strings.get(HAS_WORKING_DIR, ""))


if __name__ == "__main__":
    main()
