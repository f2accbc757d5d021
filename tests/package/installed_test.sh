#!/usr/bin/env bash
# The installed jukebox command, run by name on a private X server: with the installed data from
# a directory without data/, with a per-user data directory, with a failing sound output and no
# terminal (a dialog, by zenity and by xmessage), and --version. The package test runs it after
# installing the package, and so does the package's autopkgtest (debian/tests/installed).
#
# The environment: E2E_ASSETS (a directory whose data/ holds tools/make-test-assets' assets),
# E2E_TOOLS (the built helpers xprobe and wm_close) and E2E_WORK (a scratch directory).
root=$(cd "$(dirname "$0")/../.." && pwd)
export JUKEBOX=jukebox
# shellcheck source=../e2e/harness.sh
source "$root/tests/e2e/harness.sh"

version=$(dpkg-query -W -f='${Version}' jukebox 2>/dev/null) || bail "the jukebox package is installed"

check_eq "jukebox on PATH is the package's" /usr/bin/jukebox "$(command -v jukebox)"
start_x

# run_jukebox HOME [NAME=VALUE...]: `jukebox`, by name, in an empty directory, with that HOME.
run_jukebox() {
    local home=$1
    shift
    launch "$(mktemp -d "$E2E_WORK/run.XXXX")" HOME="$home" XDG_DATA_HOME= LC_ALL=C.UTF-8 "$@"
    JUKEBOX_WINDOW=$(timeout 15 xdotool search --sync --onlyvisible --class '^jukebox$' 2>/dev/null | head -n 1)
    [[ -n $JUKEBOX_WINDOW ]] && focus_window
}

quit_with_alt_f4() {
    chord Alt_L F4
    wait_exit 5
    check_eq "$1: Alt+F4 ends it with status 0" 0 "$JUKEBOX_STATUS"
}

# The installed data, from a directory without data/ and a home without any.
mkdir "$E2E_WORK/empty-home"
if run_jukebox "$E2E_WORK/empty-home" SDL_AUDIODRIVER=dummy; then
    check_eq "installed data: the caption" "ジュークボックス" \
        "$(window_title "$JUKEBOX_WINDOW")"
    check "installed data: the window shows /usr/share/jukebox/data/b.png" \
        shows /usr/share/jukebox/data/b.png
    quit_with_alt_f4 "installed data"
else
    fail "installed data: the window appeared; it said: $(cat "$JUKEBOX_RUN/stderr")"
fi

# The person's own data: the tone-coded test assets, whose track 1 is a 330 Hz tone.
home=$E2E_WORK/home
mkdir -p "$home/.local/share/jukebox"
cp -r "$E2E_ASSETS/data" "$home/.local/share/jukebox/"
CAPTURE=$E2E_WORK/capture.raw
if run_jukebox "$home" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$CAPTURE" SDL_DISKAUDIODELAY=93; then
    check "per-user data: the window shows its b.png" shows "$E2E_ASSETS/data/b.png"
    press 1 1.5
    quit_with_alt_f4 "per-user data"
    check "per-user data: key 1 plays its track 1 (330 Hz)" plays_track1 "$CAPTURE"
else
    fail "per-user data: the window appeared; it said: $(cat "$JUKEBOX_RUN/stderr")"
fi

# No sound output and no terminal: the report also shows in a dialog, which holds the exit. With
# zenity, and with xmessage, the last fallback, as a system without the recommended packages has
# it: zenity (and kdialog) hidden from a PATH that has all else.
no_zenity=$E2E_WORK/no-zenity
mkdir -p "$no_zenity"
for tool in /usr/bin/*; do
    [[ $tool == */zenity || $tool == */kdialog ]] || ln -s "$tool" "$no_zenity/"
done

# end_launcher: the launcher and its dialog, which would outlive it.
end_launcher() {
    pkill -P "$JUKEBOX_PID"
    kill "$JUKEBOX_PID"
}

# dialog_answered TOOL ANSWER: the failing jukebox's dialog, by TOOL, answered with the key ANSWER
# or, for "destroy", its window destroyed by another client without a close request.
dialog_answered() {
    local what="failure, $1, $2" path=$PATH
    [[ $1 == zenity ]] || path=$no_zenity
    launch "$(mktemp -d "$E2E_WORK/run.XXXX")" HOME="$E2E_WORK/empty-home" SDL_AUDIODRIVER=bogus PATH="$path"
    # The only window: the jukebox failed before it opened its own.
    dialog=$(timeout 15 xdotool search --sync --onlyvisible --name '^Jukebox$' 2>/dev/null | head -n 1)
    local class
    class=$(xprop -id "${dialog:-0}" WM_CLASS 2>/dev/null)
    if [[ -z $dialog || ${class,,} != *\"$1\"* ]]; then
        fail "$what: its dialog appeared (${class:-none})"
        end_launcher
        return
    fi
    sleep 0.5
    check "$what: the jukebox waits for the dialog" running
    JUKEBOX_WINDOW=$dialog
    if [[ $2 == destroy ]]; then
        "$E2E_TOOLS/xprobe" destroy "$dialog"
    else
        focus_window && press "$2"
    fi
    wait_exit 5
    check_eq "$what: the jukebox ends with status 1" 1 "$JUKEBOX_STATUS"
    [[ $JUKEBOX_STATUS != running ]] || end_launcher
    check "$what: the report is on standard error" \
        grep -qE '^jukebox: user error \((SDL_Init|Mix_OpenAudio)$' "$JUKEBOX_RUN/stderr"
}

dialog_answered zenity Return
dialog_answered zenity destroy
dialog_answered xmessage Return
dialog_answered xmessage Escape
dialog_answered xmessage destroy

check_eq "--version prints the installed version" "jukebox $version" \
    "$(timeout 10 jukebox --version </dev/null | head -n 1)"
finish
