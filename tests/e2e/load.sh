#!/usr/bin/env bash
# Load: 500 effect presses (m, s and b in turn) as real key events, with track switches and
# fades between them. The jukebox must handle every press, keep at most one track and eight
# effects loaded (plus the one just loaded), never free an effect a channel still plays, keep
# its resident memory within 4 MiB of what it had after the first round, and quit on Alt+F4.
# The recording library (tests/shim) is preloaded to log the loads and releases.
source "$(dirname "$0")/harness.sh"
: "${E2E_SHIM:?}"

LOG=$E2E_WORK/calls.log
start_x
start_jukebox quiet LD_PRELOAD="$E2E_SHIM" SHIM_LOG="$LOG"
check_library "$JUKEBOX_PID"

keycode m; m=$KEYCODE
keycode s; s=$KEYCODE
keycode b; b=$KEYCODE

# effects N: N presses of m, s, b in turn, a few milliseconds apart, in one xdotool run. The
# same key comes back only every third press, so SDL never takes a release and the next press
# for auto-repeat.
effects() {
    local args=() i codes=("$m" "$s" "$b")
    for ((i = 0; i < $1; ++i)); do
        args+=(keydown "${codes[i % 3]}" sleep 0.004 keyup "${codes[i % 3]}" sleep 0.004)
    done
    xdotool "${args[@]}"
}

resident_kib() {
    awk '/^VmRSS:/ { print $2 }' "/proc/$JUKEBOX_PID/status"
}

rounds=(1 2 f 1 2 1 f 2 1 f)
tracks=0
fades=0
for op in "${rounds[@]}"; do
    # A track asked for while the music fades starts only when the fade has ended, and the
    # jukebox waits for that; let each fade end first so that no input piles up meanwhile.
    press "$op" 0.05
    case $op in
    f) fades=$((fades + 1)); sleep 1.2 ;;
    *) tracks=$((tracks + 1)) ;;
    esac
    effects 50
    sleep 0.3
    [[ -n ${baseline:-} ]] || baseline=$(resident_kib)
done
sleep 1
check "the jukebox is still running after 500 presses" running
grown=$(($(resident_kib) - baseline))
if [[ $(ldd "$JUKEBOX") == *libasan* ]]; then
    echo "# resident memory grew by $grown KiB (not judged: the sanitizer keeps freed memory in quarantine)"
else
    check "resident memory grew by $grown KiB, less than 4 MiB" test "$grown" -lt 4096
fi

chord Alt_L F4
check_clean_exit "Alt+F4 after the load" 10

check_eq "every effect press loaded its effect" 500 "$(grep -c '^Mix_LoadWAV_RW' "$LOG")"
check_eq "every track press loaded its track" "$tracks" "$(grep -c '^Mix_LoadMUS' "$LOG")"
check_eq "every f press faded the music" "$fades" "$(grep -c '^Mix_FadeOutMusic 1000$' "$LOG")"
lifetimes=$(python3 - "$LOG" <<'PY'
import sys
chunks, tracks = set(), set()
most_chunks = most_tracks = playing = 0
for line in open(sys.argv[1]):
    words = line.split()
    if words[0] == "Mix_LoadWAV_RW":
        chunks.add(words[-1])
    elif words[0] == "Mix_FreeChunk":
        chunks.discard(words[1])
        playing += words[-1] == "PLAYING"
    elif words[0] == "Mix_LoadMUS":
        tracks.add(words[-1])
    elif words[0] == "Mix_FreeMusic":
        tracks.discard(words[1])
    most_chunks = max(most_chunks, len(chunks))
    most_tracks = max(most_tracks, len(tracks))
print(most_chunks, most_tracks, playing, len(chunks), len(tracks))
PY
)
read -r most_chunks most_tracks freed_playing chunks_left tracks_left <<<"$lifetimes"
check "at most 9 effects loaded at once (8 kept, 1 just loaded): $most_chunks" test "$most_chunks" -le 9
check "at most 2 tracks loaded at once (1 kept, 1 just loaded): $most_tracks" test "$most_tracks" -le 2
check_eq "no effect freed while a channel played it" 0 "$freed_playing"
check_eq "every effect freed by the end" 0 "$chunks_left"
check_eq "every track freed by the end" 0 "$tracks_left"
finish
