#!/usr/bin/env bash
# Fatal failures: a missing or unreadable asset, at start or when its key asks for it, and an
# unusable audio or video driver. Each ends the jukebox with status 1 and exactly the two-line
# report on stderr, nothing on stdout.
source "$(dirname "$0")/harness.sh"

start_x

report() {
    printf 'jukebox: user error (%s\nSDL message: %s)' "$1" "$2"
}

# expect_failure DESCRIPTION FUNCTION DETAIL: the jukebox, already launched, ends with status 1
# and the report of FUNCTION failing with DETAIL.
expect_failure() {
    wait_exit 10
    check_eq "$1: exit status" 1 "$JUKEBOX_STATUS"
    check_eq "$1: nothing on stdout" "" "$(cat "$JUKEBOX_RUN/stdout")"
    # $(...) drops the final line feed; the file must end in exactly one.
    check_eq "$1: the report" "$(report "$2" "$3")" "$(library_notices "$JUKEBOX_RUN/stderr")"
    check_eq "$1: the report ends its line" "0a" "$(tail -c 1 "$JUKEBOX_RUN/stderr" | od -An -tx1 | tr -d ' ')"
    [[ $JUKEBOX_STATUS != running ]] || kill "$JUKEBOX_PID"
}

# spoil RUN FILE missing|corrupt
spoil() {
    case $3 in
    missing) rm -f "$1/data/$2" ;;
    corrupt) printf 'this is neither a picture nor a sound\n' >"$1/data/$2" ;;
    esac
}

# press_until_exit KEY: presses KEY until the jukebox ends, 20 times at most (an effect with a
# spoilt variant fails only when that variant is drawn: 1 in 2 per press).
press_until_exit() {
    local i
    for i in $(seq 20); do
        running || return 0
        press "$1" 0.15
    done
}

# SDL 2 names the system's reason when it cannot open a file: seen with 2.32.4 (Debian 13) and
# 2.32.74 (sdl2-compat over SDL 3, Debian testing), not with 2.26.5 (Debian 12). The tracks are
# opened by SDL_mixer itself, which words it its own way on every library.
sdl2=$(sdl2_version)
reason=
[[ -z $sdl2 ]] || (( $(cut -d. -f2 <<<"$sdl2") <= 26 )) || reason=": No such file or directory"

missing_detail() {
    case $1 in
    *.ogg) echo "Couldn't open 'data/$1'" ;;
    *) echo "Couldn't open data/$1$reason" ;;
    esac
}

corrupt_detail() {
    case $1 in
    *.ogg) echo "Not an Ogg Vorbis audio stream" ;;
    *.wav) echo "Unrecognized sound file type" ;;
    *) echo "Unsupported image format" ;;
    esac
}

# Pictures, read at start: the icon before the audio is opened, the background after.
for how in missing corrupt; do
    for file in images/icon.bmp b.png; do
        run=$(fresh_data)
        spoil "$run" "$file" "$how"
        launch "$run" SDL_AUDIODRIVER=dummy
        detail=$("${how}_detail" "$file")
        expect_failure "$file $how" IMG_Load "$detail"
    done
done

# Sounds, read when their key is pressed and not before: the jukebox runs until then.
# key_failure FILE HOW KEY FUNCTION
key_failure() {
    local run
    run=$(fresh_data)
    spoil "$run" "$1" "$2"
    launch "$run" SDL_AUDIODRIVER=dummy
    if ! find_window || ! focus_window; then
        fail "$1 $2: the jukebox starts"
        kill "$JUKEBOX_PID" 2>/dev/null
        return
    fi
    sleep 0.2
    check "$1 $2: the jukebox starts and runs until $3" running
    press_until_exit "$3"
    expect_failure "$1 $2, key $3" "$4" "$("${2}_detail" "$1")"
}

for how in missing corrupt; do
    key_failure bgm1.ogg "$how" 1 Mix_LoadMUS
    key_failure bgm2.ogg "$how" 2 Mix_LoadMUS
    key_failure s0.wav "$how" s Mix_LoadWAV
    key_failure m0.wav "$how" m Mix_LoadWAV
    key_failure m1.wav "$how" m Mix_LoadWAV
    key_failure b0.wav "$how" b Mix_LoadWAV
    key_failure b1.wav "$how" b Mix_LoadWAV
done

# A sound is read from data/ each time it is played: one that appears after the start plays,
# one that goes away after it played fails the next time.
run=$(fresh_data)
mv "$run/data/s0.wav" "$run/s0.wav"
launch "$run" SDL_AUDIODRIVER=dummy
find_window && focus_window || bail "the jukebox starts without s0.wav"
mv "$run/s0.wav" "$run/data/s0.wav"
press s 0.3
press 1 0.3
check "an effect put in place after the start plays" running
rm "$run/data/s0.wav" "$run/data/bgm1.ogg"
press 2 0.3
check "a track is read when its key is pressed, not before" running
press 1 0.3
expect_failure "a track removed after it played" Mix_LoadMUS "Couldn't open 'data/bgm1.ogg'"

run=$(fresh_data)
launch "$run" SDL_AUDIODRIVER=dummy
find_window && focus_window || bail "the jukebox starts"
press s 0.3
check "s plays" running
printf 'spoilt\n' >"$run/data/s0.wav"
press s 0.3
expect_failure "an effect spoilt after it played" Mix_LoadWAV "Unrecognized sound file type"

# Drivers. Where they fail differs between the libraries: the classic library lets SDL_Init
# succeed without an audio device and the mixer find out (with no error text set), SDL 2
# refuses an unknown audio driver in SDL_Init already; and the two word an unknown video
# driver differently.
run=$(fresh_data)
launch "$run" SDL_AUDIODRIVER=bogus
if [[ $E2E_SDL == compat ]]; then
    expect_failure "SDL_AUDIODRIVER=bogus" SDL_Init "Audio target 'bogus' not available"
else
    expect_failure "SDL_AUDIODRIVER=bogus" Mix_OpenAudio "No SDL error"
fi

run=$(fresh_data)
launch "$run" SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=bogus
if [[ $E2E_SDL == compat ]]; then
    expect_failure "SDL_VIDEODRIVER=bogus" SDL_Init "bogus not available"
else
    expect_failure "SDL_VIDEODRIVER=bogus" SDL_Init "No available video device"
fi

# The display goes away under a running jukebox (the X server killed, as in a crash): the
# program is gone within 2 s, with a status other than 0. Xlib reports the lost connection
# itself, on its own line, and ends the process; the program's own report never comes. This
# ends the test's X server, so it comes last.
run=$(fresh_data)
launch "$run" SDL_AUDIODRIVER=dummy
find_window && focus_window || bail "the jukebox starts"
press 1 0.3
kill -KILL "$X_PID"
{ wait "$X_PID"; } 2>/dev/null
forget "$X_PID"
wait_exit 2
check "display lost: the jukebox ends within 2 s" test "$JUKEBOX_STATUS" != running
echo "# status $JUKEBOX_STATUS; it printed: $(tr '\n' '|' <"$JUKEBOX_RUN/stderr")"
check "display lost: the exit status is not 0" test "$JUKEBOX_STATUS" != 0 -a "$JUKEBOX_STATUS" != running
check_eq "display lost: nothing on stdout" "" "$(cat "$JUKEBOX_RUN/stdout")"
[[ $JUKEBOX_STATUS != running ]] || kill "$JUKEBOX_PID"

finish
