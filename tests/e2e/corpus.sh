#!/usr/bin/env bash
# Broken files: every reproducer of tests/corpus/ and seeded mutants of each kind of asset, one at
# a time in data/ under the asset's name, read as the jukebox reads them (the pictures at start,
# an effect on s, a track on 1). Each file either plays, and then Alt+F4 ends the jukebox with
# status 0, or ends it with the report of the call that read it and status 1: no signal, no hang,
# and on standard error nothing but the report and libpng's own notices.
#
#   E2E_MUTANTS  mutants of each asset (default 10)
source "$(dirname "$0")/harness.sh"

corpus=$E2E_DIR/../corpus
mutants=${E2E_MUTANTS:-10}
files=$E2E_WORK/files
mkdir -p "$files"
cp "$corpus"/* "$files/"
for asset in s0.wav bgm1.ogg b.png images/icon.bmp; do
    python3 "$E2E_DIR/mutants.py" "$E2E_ASSETS/data/$asset" "$files" "$mutants" || bail "mutants of $asset"
done
# The big ones, sparse: an effect that overflows the mixer's buffer once converted (8-bit mono at
# 8 kHz, 256 MiB), and Ogg streams followed by 64 MiB of zeros, as a download manager leaves them.
python3 -c '
import struct, sys
size = 256 << 20
with open(sys.argv[1], "wb") as f:
    f.write(b"RIFF" + struct.pack("<I", size + 36) + b"WAVEfmt " +
            struct.pack("<IHHIIHH", 16, 1, 1, 8000, 8000, 1, 8) + b"data" + struct.pack("<I", size))
    f.truncate(44 + size)
' "$files/effect-wav-past-2-gib-once-converted.wav"
for name in effect-ogg-zero-tail.wav track-ogg-zero-tail.ogg; do
    cp "$E2E_ASSETS/data/bgm1.ogg" "$files/$name" && truncate -s +64M "$files/$name"
done
# A FIFO in place of each asset would block its open for ever; Wine cannot tell one apart.
if [[ $E2E_SDL != windows ]]; then
    for extension in wav ogg png bmp; do
        mkfifo "$files/fifo.$extension"
    done
fi

start_x

declare -A played=() reported=()

# The report's two lines, the library's notices left out: "<program>: user error (CALL" and
# "SDL message: ...)".
report_of() {
    library_notices "$1" | grep -v -E '^libpng (warning|error): '
}

# try FILE ASSET KEY CALL: FILE as data/ASSET; KEY ("-" for none) reads it.
try() {
    local file=$1 asset=$2 key=$3 call=$4 name=${1##*/} run deadline
    run=$(fresh_data)
    if [[ -p $file ]]; then
        rm -f "$run/data/$asset" && mkfifo "$run/data/$asset"
    else
        cp --sparse=always "$file" "$run/data/$asset"
    fi
    launch "$run" SDL_AUDIODRIVER=dummy
    # The window, or the end: a picture the jukebox refuses ends it before its window is drawn.
    deadline=$((SECONDS + 15))
    JUKEBOX_WINDOW=
    while running && [[ -z $JUKEBOX_WINDOW ]] && ((SECONDS < deadline)); do
        JUKEBOX_WINDOW=$(xdotool search --onlyvisible --pid "$JUKEBOX_PID" 2>/dev/null | head -n 1)
        sleep 0.1
    done
    if [[ -n $JUKEBOX_WINDOW ]] && running; then
        # A busy machine (the sanitized build, Wine) may take a few seconds to hand it the focus;
        # a jukebox refusing its picture may close the window meanwhile. Neither is judged here:
        # a playing jukebox that never got the focus does not end on Alt+F4 below.
        for _ in 1 2 3 4 5; do
            ! running || focus_window && break
        done
        [[ $key == - ]] || press "$key" 1
    fi
    # Whatever it did, Alt+F4 ends a jukebox that still runs; one that failed may take a moment
    # to end (Wine's processes do).
    ! running || chord Alt_L F4
    wait_exit 15
    local text
    text=$(report_of "$JUKEBOX_RUN/stderr")
    wine_fault "$name" "$([[ -z $text ]] && echo 0 || echo 1)"
    if [[ $JUKEBOX_STATUS == 0 && -z $text ]]; then
        pass "$name: plays, and Alt+F4 ends it with 0"
        played[${asset##*/}]=$((${played[${asset##*/}]:-0} + 1))
    elif [[ $JUKEBOX_STATUS == 1 && $text =~ ^[^$'\n']+": user error ($call"$'\n''SDL message: '[^$'\n']*\)$ ]]; then
        pass "$name: reported: ${text//$'\n'/ | }"
        reported[${asset##*/}]=$((${reported[${asset##*/}]:-0} + 1))
    else
        fail "$name: plays and quits with 0, or ends with status 1 and the report of $call (status $JUKEBOX_STATUS)"
        echo "#   it printed: $(head -c 600 "$JUKEBOX_RUN/stderr" | tr '\n' '|')"
        cp "$file" "$E2E_WORK/failed-$name"
    fi
    [[ $JUKEBOX_STATUS != running ]] || kill -KILL "$JUKEBOX_PID"
}

for file in "$files"/*; do
    case ${file##*/} in
    *.wav) try "$file" s0.wav s Mix_LoadWAV ;;
    *.ogg) try "$file" bgm1.ogg 1 Mix_LoadMUS ;;
    *.png) try "$file" b.png - IMG_Load ;;
    *.bmp) try "$file" images/icon.bmp - IMG_Load ;;
    esac
done

for asset in s0.wav bgm1.ogg b.png icon.bmp; do
    echo "# $asset: $((${played[$asset]:-0} + ${reported[$asset]:-0})) files, ${played[$asset]:-0} played, ${reported[$asset]:-0} reported"
done
finish
