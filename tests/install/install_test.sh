#!/usr/bin/env bash
# Installs the build under a staging DESTDIR, checks the installed files, the desktop entry and
# the icons, runs the entry's command (the launcher) from a directory without data/ on a private
# X server until its window shows the installed background, closes it with Alt+F4, and
# uninstalls.
#
# usage: install_test.sh BUILD_DIR WORK_DIR PREFIX BINDIR LIBEXECDIR DATADIR DATAROOTDIR MANDIR
#                        SOURCE_DATA_DIR
set -euo pipefail

if [[ $# -ne 9 ]]; then
    echo "usage: $0 BUILD_DIR WORK_DIR PREFIX BINDIR LIBEXECDIR DATADIR DATAROOTDIR MANDIR" \
        "SOURCE_DATA_DIR" >&2
    exit 2
fi
build=$1 work=$2 prefix=$3 bindir=$4 libexecdir=$5 datadir=$6 datarootdir=$7 mandir=$8
source_data=$9
stage=$work/stage
manifest=$build/install_manifest.txt

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

for tool in desktop-file-validate:desktop-file-utils Xvfb:xvfb xdotool:xdotool xprop:x11-utils \
    import:imagemagick compare:imagemagick python3:python3; do
    command -v "${tool%%:*}" >/dev/null || fail "${tool%%:*} is missing (Debian package ${tool#*:})"
done

under_prefix() {
    case $1 in
    /*) echo "$1" ;;
    *) echo "$prefix/$1" ;;
    esac
}
id=org.jukeboxauthors.Jukebox
bin_path=$(under_prefix "$bindir")/jukebox
program_path=$(under_prefix "$libexecdir")/jukebox/jukebox
home=$(under_prefix "$datadir")/jukebox
desktop_path=$(under_prefix "$datarootdir")/applications/$id.desktop
icon_dir=$(under_prefix "$datarootdir")/icons/hicolor
icon_sizes=(16 24 32 48 64 128 256)
assets=(b.png bgm1.ogg bgm2.ogg m0.wav m1.wav s0.wav b0.wav b1.wav images/icon.bmp)
expected=("$bin_path" "$program_path" "$desktop_path" "$(under_prefix "$mandir")/man1/jukebox.1"
    "$(under_prefix "$datarootdir")/metainfo/$id.metainfo.xml")
for size in "${icon_sizes[@]}"; do
    expected+=("$icon_dir/${size}x$size/apps/$id.png")
done
for asset in "${assets[@]}"; do
    expected+=("$home/data/$asset")
done

xvfb_pid=
program_pid=
saved_manifest=
cleanup() {
    local status=$?
    [[ -n $program_pid ]] && kill -KILL "$program_pid" 2>/dev/null
    [[ -n $xvfb_pid ]] && kill -TERM "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    # The build directory's own manifest describes the user's install, not this one.
    if [[ -n $saved_manifest ]]; then
        mv -f "$saved_manifest" "$manifest"
    else
        rm -f "$manifest"
    fi
    exit "$status"
}
trap cleanup EXIT

rm -rf "$work"
mkdir -p "$work"
if [[ -f $manifest ]]; then
    saved_manifest=$work/install_manifest.saved
    cp -p "$manifest" "$saved_manifest"
fi

echo "== install into $stage$prefix"
DESTDIR=$stage cmake --install "$build" --prefix "$prefix"

echo "== installed files"
for file in "${expected[@]}"; do
    [[ -f $stage$file ]] || fail "not installed: $file"
done
[[ -x $stage$bin_path && -x $stage$program_path ]] || fail "not executable: $bin_path or $program_path"
for asset in "${assets[@]}"; do
    cmp -s "$source_data/$asset" "$stage$home/data/$asset" || fail "differs from the source: data/$asset"
done
# Everything installed is expected, and the manifest (which uninstall goes by) lists it all.
diff <(printf '%s\n' "${expected[@]}" | sort) <(sort "$manifest") ||
    fail "the install manifest is not the expected list of files"
diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$stage" && find . -type f -printf '/%P\n' | sort) ||
    fail "the staging directory does not hold exactly the expected files"

echo "== desktop entry"
desktop-file-validate "$stage$desktop_path" || fail "desktop-file-validate rejects the entry"
# Reads the entry as a desktop does (string escapes, then Exec quoting), checks its keys and
# the icons, and prints the command to run.
program=$(python3 - "$stage$desktop_path" "$bin_path" "$id" "$stage$icon_dir" \
    "$source_data/images/icon.bmp" "${icon_sizes[@]}" <<'EOF'
import struct, subprocess, sys

entry_file, want_exec, want_icon, icon_dir, bmp_file = sys.argv[1:6]
sizes = [int(size) for size in sys.argv[6:]]

def unescape(value):
    out, i = [], 0
    while i < len(value):
        c = value[i]
        if c == "\\" and i + 1 < len(value):
            out.append({"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}.get(value[i + 1], "\\" + value[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)

def exec_args(value):
    args, current, quoted, i, started = [], [], False, 0, False
    while i < len(value):
        c = value[i]
        if quoted:
            if c == "\\" and i + 1 < len(value) and value[i + 1] in '"`$\\':
                current.append(value[i + 1])
                i += 1
            elif c == '"':
                quoted = False
            else:
                current.append(c)
        elif c == '"':
            quoted, started = True, True
        elif c == " ":
            if started or current:
                args.append("".join(current))
            current, started = [], False
        else:
            current.append(c)
        i += 1
    if quoted:
        sys.exit("unterminated quote in Exec")
    if started or current:
        args.append("".join(current))
    return [a.replace("%%", "%") for a in args]

entry, group = {}, None
for line in open(entry_file, encoding="utf-8"):
    line = line.rstrip("\n")
    if not line or line.startswith("#"):
        continue
    if line.startswith("["):
        group = line
        continue
    if group == "[Desktop Entry]":
        key, _, value = line.partition("=")
        entry[key.strip()] = unescape(value.strip())

def expect(key, want):
    if entry.get(key) != want:
        sys.exit(f"{key}={entry.get(key)!r}, expected {want!r}")

expect("Type", "Application")
expect("Name", "Jukebox")
expect("Name[ja]", "ジュークボックス")
expect("Icon", want_icon)
expect("StartupWMClass", "jukebox")
if "Path" in entry:
    sys.exit(f"Path={entry['Path']!r}: the launcher finds the data itself")
expect("Terminal", "false")
if set(filter(None, entry.get("Categories", "").split(";"))) != {"AudioVideo", "Audio", "Player"}:
    sys.exit(f"Categories={entry.get('Categories')!r}")
if not entry.get("Comment"):
    sys.exit("no Comment")
if exec_args(entry.get("Exec", "")) != [want_exec]:
    sys.exit(f"Exec={entry.get('Exec')!r} runs {exec_args(entry.get('Exec', ''))}, expected [{want_exec!r}]")

# The 32 px icon: transparent exactly where the window icon has palette index 15, elsewhere
# the palette colour of its pixel.
bmp = open(bmp_file, "rb").read()
offset, = struct.unpack_from("<I", bmp, 10)
info_size, width, height, _, bits = struct.unpack_from("<IiiHH", bmp, 14)
if bits != 8:
    sys.exit(f"the window icon is {bits}-bit, this check reads 8-bit ones")
palette = [bmp[14 + info_size + 4 * i: 14 + info_size + 4 * i + 3][::-1] for i in range(256)
           if 14 + info_size + 4 * i + 3 <= offset]
stride = (width + 3) & ~3
rows = range(abs(height) - 1, -1, -1) if height > 0 else range(abs(height))
indices = []
for y in range(abs(height)):
    row = offset + stride * list(rows)[y]
    indices.extend(bmp[row: row + width])
if (width, abs(height)) != (32, 32):
    sys.exit(f"window icon {width}x{height}, expected 32x32")

def icon_pixels(size):
    icon_file = f"{icon_dir}/{size}x{size}/apps/{want_icon}.png"
    shape = subprocess.run(["identify", "-format", "%w %h", icon_file], capture_output=True, text=True, check=True).stdout
    if shape.split() != [str(size), str(size)]:
        sys.exit(f"{icon_file} is {shape}")
    rgba = subprocess.run(["convert", icon_file, "-depth", "8", "rgba:-"], capture_output=True, check=True).stdout
    return [rgba[i: i + 4] for i in range(0, len(rgba), 4)]

pixels = icon_pixels(32)
for i, index in enumerate(indices):
    r, g, b, a = pixels[i]
    if index == 15:
        if a != 0:
            sys.exit(f"icon pixel {i % 32},{i // 32} (index 15) is not transparent")
    elif a != 255 or bytes((r, g, b)) != palette[index]:
        sys.exit(f"icon pixel {i % 32},{i // 32} is {(r, g, b, a)}, expected opaque {tuple(palette[index])}")
# Larger icons are the 32 px one in whole pixels; smaller ones have every size's corners clear.
for size in sizes:
    scaled = icon_pixels(size)
    if size > 32 and any(scaled[y * size + x] != pixels[(y * 32 // size) * 32 + x * 32 // size]
                         for y in range(size) for x in range(size)):
        sys.exit(f"the {size} px icon is not the 32 px one in whole pixels")
    if scaled[0][3] != 0 or scaled[-1][3] != 0:
        sys.exit(f"the {size} px icon has opaque corners")
print(exec_args(entry["Exec"])[0])
EOF
) || fail "the desktop entry or the icons are wrong"

echo "== start the installed jukebox command in a directory without data/"
display_file=$work/display
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$display_file" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 200); do
    grep -q . "$display_file" 2>/dev/null && break
    kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    sleep 0.05
done
grep -q . "$display_file" || fail "Xvfb gave no display number"
export DISPLAY=:$(head -n 1 "$display_file")
unset SDL_VIDEODRIVER

# In the sanitizer build, LeakSanitizer looks at this run too; libX11 keeps a few strings for good.
export LSAN_OPTIONS=suppressions=$(dirname "$(realpath "$0")")/lsan.supp:print_suppressions=0
# No per-user data: HOME is empty, so the installed data is what shows.
mkdir "$work/home" "$work/elsewhere"
(cd "$work/elsewhere" && exec env HOME="$work/home" XDG_DATA_HOME= SDL_AUDIODRIVER=dummy \
    "$stage$program") >"$work/program.out" 2>"$work/program.err" &
program_pid=$!

window=$(timeout 20 xdotool search --sync --onlyvisible --class '^jukebox$' | head -n 1) ||
    fail "no window appeared; the program said: $(cat "$work/program.err")"
# The title's bytes, in hex so that the locale cannot change how xprop shows them. The caption is
# set just after the window opens, so it may reach the server a moment after the window.
want=$(printf '%s' 'ジュークボックス' | od -An -tx1 | tr -d ' \n')
for _ in $(seq 50); do
    title=$(xprop -id "$window" -notype -f _NET_WM_NAME 8x _NET_WM_NAME | sed 's/.*= //; s/0x//g; s/, //g')
    [[ $title == "$want" ]] && break
    sleep 0.1
done
[[ $title == "$want" ]] || fail "window title bytes $title, expected $want"
# The installed background is what the window shows.
shown=false
for _ in $(seq 50); do
    import -window "$window" "$work/window.png" 2>/dev/null || true
    if [[ -f $work/window.png ]] &&
        [[ $(compare -metric AE "$work/window.png" "$stage$home/data/b.png" null: 2>&1) =~ ^0( \(0\))?$ ]]; then
        shown=true
        break
    fi
    sleep 0.1
done
$shown || fail "the window does not show data/b.png (see $work/window.png)"

echo "== close it with Alt+F4"
xdotool windowfocus --sync "$window"
xdotool key alt+F4
for _ in $(seq 100); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$program_pid" 2>/dev/null; then
    fail "still running 10 s after Alt+F4"
fi
status=0
wait "$program_pid" || status=$?
program_pid=
[[ $status -eq 0 ]] || fail "exit status $status; the program said: $(cat "$work/program.err")"
[[ ! -s $work/program.err ]] || fail "the program wrote to stderr: $(cat "$work/program.err")"

echo "== uninstall"
DESTDIR=$stage cmake --build "$build" --target uninstall
for file in "${expected[@]}"; do
    [[ ! -e $stage$file ]] || fail "left behind: $file"
done
left=$(cd "$stage" && find . -type f)
[[ -z $left ]] || fail "files left behind: $left"
[[ ! -e $stage$home ]] || fail "left behind: the directory $home"

echo "install test passed"
