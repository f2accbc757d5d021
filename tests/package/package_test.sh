#!/usr/bin/env bash
# The Debian package as a person gets it: built with `make deb`, checked by lintian, installed
# with apt-get, then the installed jukebox command run by name on a private X server: with the
# installed data, with a per-user data directory, with a failing sound output and no terminal
# (a dialog), and --version. Purging it must leave none of its files. It changes the system, so
# it is not part of `make test`; a jukebox package installed before is put back at the end.
#
# usage: package_test.sh [BUILD_DIR]   (a built tree: the test assets and the X helpers)
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$root/build}")
export JUKEBOX=jukebox E2E_ASSETS=$build/test-assets E2E_TOOLS=$build/tests/e2e
export E2E_WORK=$build/package-test
# shellcheck source=../e2e/harness.sh
source "$root/tests/e2e/harness.sh"

export DEBIAN_FRONTEND=noninteractive
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
keep=$(mktemp -d "${TMPDIR:-/tmp}/jukebox-package-test.XXXXXX")
installed_by_us=false
previous=$(dpkg-query -W -f='${db:Status-Status} ${Version}' jukebox 2>/dev/null | sed -n 's/^installed //p')

# save_installed: a .deb of the jukebox package installed now, to put back at the end.
save_installed() {
    local tree=$keep/tree path script
    mkdir -p "$tree/DEBIAN"
    dpkg-query -L jukebox | while read -r path; do
        [[ -d $path && ! -L $path ]] || echo "${path#/}"
    done | tar -C / -cf - -T - | tar -C "$tree" -xf -
    dpkg-query -s jukebox | awk '/^(Status|Conffiles):/ { skip = 1; next } /^[^ ]/ { skip = 0 } !skip' \
        >"$tree/DEBIAN/control"
    for script in preinst postinst prerm postrm; do
        path=/var/lib/dpkg/info/jukebox.$script
        [[ ! -f $path ]] || cp "$path" "$tree/DEBIAN/"
    done
    apt-mark showauto jukebox >"$keep/auto"
    dpkg-deb --root-owner-group -b "$tree" "$keep/previous.deb" >/dev/null
}

# put_back: removes what this test installed and reinstalls what was there before.
put_back() {
    if $installed_by_us; then
        "${sudo[@]}" apt-get purge -y -q jukebox >/dev/null
        installed_by_us=false
    fi
    if [[ -f $keep/previous.deb ]]; then
        "${sudo[@]}" apt-get install -y -q --no-install-recommends "$keep/previous.deb" \
            >"$keep/put-back.log" 2>&1 || {
            cat "$keep/put-back.log"
            return 1
        }
        [[ ! -s $keep/auto ]] || "${sudo[@]}" apt-mark auto jukebox >/dev/null
        rm -f "$keep/previous.deb"
    fi
}

package_cleanup() {
    local status=$?
    (exit "$status")
    e2e_cleanup
    put_back || status=1
    rm -rf "$keep"
    exit "$status"
}
trap package_cleanup EXIT

# --- the package -------------------------------------------------------------------------------

make -C "$root" deb >"$keep/deb.log" 2>&1 || {
    tail -n 30 "$keep/deb.log"
    bail "make deb"
}
debs=("$root"/dist/jukebox_*.deb)
check_eq "make deb leaves one package in dist/" 1 "${#debs[@]}"
deb=${debs[0]}
version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
check_eq "the package is named for the changelog's version" \
    "jukebox_${version}_$(dpkg --print-architecture).deb" "${deb##*/}"
lintian --fail-on error,warning "$deb" 2>&1 | grep -v '^running with root privileges'
check "lintian finds no error or warning" test "${PIPESTATUS[0]}" -eq 0

if [[ -n $previous ]]; then
    echo "# jukebox $previous is installed; it is put back at the end"
    save_installed || bail "saved the installed jukebox package"
fi
installed_by_us=true
"${sudo[@]}" apt-get install -y -q --no-install-recommends "$deb" >"$keep/install.log" 2>&1 || {
    cat "$keep/install.log"
    bail "apt-get install $deb"
}
mapfile -t package_files < <(dpkg-query -L jukebox)
check_eq "the installed version is the changelog's" "$version" "$(dpkg-query -W -f='${Version}' jukebox)"

# --- the installed command ---------------------------------------------------------------------

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
    check_eq "installed data: the caption" '_NET_WM_NAME = "ジュークボックス"' \
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
    check "per-user data: key 1 plays its track 1 (330 Hz)" python3 - "$E2E_DIR" "$CAPTURE" <<'EOF'
import sys
sys.path.insert(0, sys.argv[1])
from sound_check import Capture, FULL, TRACK1
capture = Capture(sys.argv[2])
level = capture.highest(TRACK1, 0, capture.frames)
print(f"# 330 Hz at {level:.3f} at the most")
sys.exit(level < FULL)
EOF
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
    # The launcher names its dialog's window for itself.
    dialog=$(timeout 15 xdotool search --sync --onlyvisible --classname "^jukebox-report-$JUKEBOX_PID\$" 2>/dev/null | head -n 1)
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

check_eq "--version prints the changelog's version" "jukebox $version" \
    "$(timeout 10 jukebox --version </dev/null | head -n 1)"

# --- purge -------------------------------------------------------------------------------------

if "${sudo[@]}" apt-get purge -y -q jukebox >"$keep/purge.log" 2>&1; then
    installed_by_us=false
    left=()
    for path in "${package_files[@]}"; do
        # Directories other packages share may stay; the jukebox's own may not.
        if [[ -d $path && ! -L $path ]]; then
            [[ $path != */jukebox* || ! -e $path ]] || left+=("$path")
        elif [[ -e $path || -L $path ]]; then
            left+=("$path")
        fi
    done
    check_eq "apt-get purge leaves none of the package's files" "" "${left[*]}"
else
    cat "$keep/purge.log"
    fail "apt-get purge jukebox"
fi
put_back
if [[ -n $previous ]]; then
    check_eq "the jukebox installed before is back" "installed $previous" \
        "$(dpkg-query -W -f='${db:Status-Status} ${Version}' jukebox 2>/dev/null)"
fi
finish
