#!/usr/bin/env bash
# Runs one scripted session of the jukebox under valgrind's memcheck in a scratch copy of the test
# assets, and fails on any memory error or definite leak outside the suppressed library ones.
#
# usage: memcheck_test.sh JUKEBOX SHIM TEST_ASSETS WORK_DIR SUPPRESSIONS
set -euo pipefail

if [[ $# -ne 5 ]]; then
    echo "usage: $0 JUKEBOX SHIM TEST_ASSETS WORK_DIR SUPPRESSIONS" >&2
    exit 2
fi
jukebox=$1 shim=$2 assets=$3 work=$4 suppressions=$5

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
command -v valgrind >/dev/null || fail "valgrind is missing (Debian package valgrind)"
[[ -f $assets/data/bgm1.ogg ]] || fail "no test assets in $assets (build the test_assets target)"

rm -rf "$work"
mkdir -p "$work"
cp -r "$assets/data" "$work/data"

# Times are from the first poll for input. valgrind makes the program tens of times slower, so
# the gaps are wide; keys that arrive together are handled one after another all the same.
events=(
    wait:1000 key:1 wait:600 key:m wait:300 key:s wait:300 key:b wait:300
    key:m wait:300 key:b wait:300 key:s wait:300 key:2 wait:600
    key:m key:m key:b key:b key:s key:m wait:600
    # A fade, and a track switch straight after it, while the fade is still going.
    key:f key:2 wait:1500
    key:1 wait:400 key:f wait:1600 key:b wait:300
    # Input that maps to nothing: a release, a motion, Ctrl+Alt+F4.
    up:m motion key:F4:0x140 wait:300
    key:F4:0x100
)
script="${events[*]}"
acted=$(printf '%s\n' "${events[@]}" | grep -vc '^wait:')
music=$(printf '%s\n' "${events[@]}" | grep -cE '^key:[12]$')
effects=$(printf '%s\n' "${events[@]}" | grep -cE '^key:[msb]$')
fades=$(printf '%s\n' "${events[@]}" | grep -cE '^key:f$')

status=0
(
    cd "$work"
    # valgrind passes LD_PRELOAD on to the program it runs, with its own libraries added.
    exec env LD_PRELOAD="$shim" SHIM_EVENTS="$script" SHIM_LOG="$work/calls.log" \
        timeout -k 10 240 valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
        --errors-for-leak-kinds=definite --show-leak-kinds=definite --num-callers=40 \
        --suppressions="$suppressions" --gen-suppressions=all --log-file="$work/valgrind.log" \
        "$jukebox"
) >"$work/program.out" 2>"$work/program.err" || status=$?

grep -E 'ERROR SUMMARY|definitely lost' "$work/valgrind.log" || true
first_errors() {
    local start='^==[0-9]+== (Invalid|Conditional|Use of|Syscall|Mismatched|[0-9,]+ bytes in .* definitely)'
    grep -A40 -E "$start" "$work/valgrind.log" | head -n 120
}
case $status in
0) ;;
99) fail "memcheck found errors; see $work/valgrind.log:
$(first_errors)" ;;
124 | 137) fail "the session did not end within 240 s (see $work/calls.log)" ;;
*) fail "exit status $status; the program said: $(cat "$work/program.err")" ;;
esac
grep -q 'ERROR SUMMARY: 0 errors' "$work/valgrind.log" || fail "memcheck did not report 0 errors"

# The session really went through: every scripted input was read, and each key acted on.
count() { grep -c -- "$1" "$work/calls.log" || true; }
[[ $(count '^event ') -eq $acted ]] || fail "$(count '^event ') of $acted scripted inputs were read"
[[ $(count '^Mix_PlayMusic ') -eq $music ]] ||
    fail "$(count '^Mix_PlayMusic ') tracks started, expected $music"
[[ $(count '^Mix_PlayChannelTimed ') -eq $effects ]] ||
    fail "$(count '^Mix_PlayChannelTimed ') effects played, expected $effects"
[[ $(count '^Mix_FadeOutMusic ') -eq $fades ]] ||
    fail "$(count '^Mix_FadeOutMusic ') fades, expected $fades"
[[ $(count '^Mix_CloseAudio') -eq 1 && $(count '^SDL_Quit') -eq 1 ]] ||
    fail "the program did not shut down in order"
[[ $(count 'PLAYING') -eq 0 ]] || fail "an effect was freed while a channel still played it"
echo "memcheck test passed"
