# Shared by the end-to-end tests; sourced, never run. Each test gets its own X server, its own
# copy of the test assets and its own capture file, and everything it starts is ended by PID
# when the test's shell exits, however it exits.
#
# The test's environment (set by CTest, see CMakeLists.txt):
#   JUKEBOX          the program under test
#   E2E_ASSETS       a directory whose data/ holds the test assets
#   E2E_TOOLS        the directory of the helpers wm_close and xprobe
#   E2E_WORK         a scratch directory for this test; emptied at the start, kept on failure
#   E2E_SDL          the SDL 1.2 the program runs on: "classic" (the system's, the original
#                    library), "compat" (the SDL 1.2 API over SDL 2: unpacked under
#                    E2E_SDL_ROOT, or the system's own where that replaced the classic one) or
#                    "windows" (the Windows program under Wine: JUKEBOX starts it, see
#                    tests/windows/windows_test.sh)
#   E2E_SDL_ROOT     for compat over a classic system: where the compatibility package was
#                    unpacked; empty when the system's SDL 1.2 is the compatibility layer
#   WINEPREFIX       for windows: the Wine prefix, made beforehand; start_x starts its server
#   E2E_KEEP         when set, the scratch directory is kept after a pass too
#
# Keys go through XTEST (xdotool keydown/keyup, by keycode), to the window focused with
# `xdotool windowfocus`: there is no window manager (but in wm.sh), and events sent to a window
# with XSendEvent are flagged as synthetic. SDL 1.2 takes a key release followed at once by a
# press of the same key for auto-repeat, so presses are always spaced (see press).

set -uo pipefail

# The directory of these scripts, for the tests that source this.
# shellcheck disable=SC2034
E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
: "${JUKEBOX:?}" "${E2E_ASSETS:?}" "${E2E_TOOLS:?}" "${E2E_WORK:?}"
E2E_SDL=${E2E_SDL:-classic}

e2e_pids=()   # everything started in the background and not yet reaped, ended on exit
e2e_temporary=()   # directories outside E2E_WORK, removed on exit
e2e_failed=0
e2e_passed=0
# Set by start_jukebox.
JUKEBOX_PID=
JUKEBOX_WINDOW=
JUKEBOX_RUN=
JUKEBOX_STATUS=
CAPTURE=
X_PID=        # set by start_x
E2E_WINESERVER=   # the Wine server program, once start_wineserver has started it

# alive PID: the process exists and has not ended (a zombie has).
alive() {
    local state
    state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) && [[ $state != Z ]]
}

any_alive() {
    local pid
    for pid in "${e2e_pids[@]}"; do
        alive "$pid" && return 0
    done
    return 1
}

# Ends what the test started: politely, then, after three seconds, not. A Wine server ends the
# prefix's own processes with it, which would outlive it otherwise.
e2e_cleanup() {
    local status=$? pid
    [[ -z $E2E_WINESERVER ]] || "$E2E_WINESERVER" --kill 2>/dev/null
    for pid in "${e2e_pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    for _ in $(seq 30); do
        any_alive || break
        sleep 0.1
    done
    for pid in "${e2e_pids[@]}"; do
        ! alive "$pid" || kill -KILL "$pid" 2>/dev/null
    done
    for pid in "${e2e_pids[@]}"; do
        wait "$pid" 2>/dev/null
    done
    [[ ${#e2e_temporary[@]} -eq 0 ]] || rm -rf "${e2e_temporary[@]}"
    if [[ -z ${E2E_KEEP:-} && $status -eq 0 && $e2e_failed -eq 0 ]]; then
        rm -rf "$E2E_WORK"
    else
        echo "# scratch files kept in $E2E_WORK"
    fi
}
trap e2e_cleanup EXIT
trap 'exit 130' INT TERM

rm -rf "$E2E_WORK"
mkdir -p "$E2E_WORK"

e2e_missing=()
for tool in Xvfb xdotool xprop xwininfo import compare python3 "$E2E_TOOLS/xprobe" "$E2E_TOOLS/wm_close"; do
    command -v "$tool" >/dev/null || e2e_missing+=("$tool")
done
if [[ ${#e2e_missing[@]} -gt 0 ]]; then
    echo "not ok - missing: ${e2e_missing[*]} (tools/install-deps test installs the packages)"
    exit 1
fi

# --- reporting ---------------------------------------------------------------------------------

pass() {
    e2e_passed=$((e2e_passed + 1))
    echo "ok - $*"
}

fail() {
    e2e_failed=$((e2e_failed + 1))
    echo "not ok - $*"
}

# check DESCRIPTION COMMAND...: passes when the command succeeds.
check() {
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}

# check_eq DESCRIPTION EXPECTED ACTUAL
check_eq() {
    if [[ $2 == "$3" ]]; then
        pass "$1"
    else
        fail "$1"
        echo "#   expected: $(printf '%q' "$2")"
        echo "#   actual:   $(printf '%q' "$3")"
    fi
}

# Stops the test at once; for a state the rest of the test cannot go on from.
bail() {
    fail "$*"
    finish
}

finish() {
    echo "# $E2E_SDL: $e2e_passed passed, $e2e_failed failed"
    [[ $e2e_failed -eq 0 ]]
    exit
}

# --- the libraries -----------------------------------------------------------------------------

# The directories the dynamic linker is pointed at for the compatibility layer: its own, and
# SDL 2's if that had to be unpacked beside it.
compat_library_path() {
    local library sdl2
    library=$(find "${E2E_SDL_ROOT:?}" -name 'libSDL-1.2.so.0' -path '*sdl12-compat*' -print -quit)
    [[ -n $library ]] || return 1
    local path
    path=$(dirname "$library")
    sdl2=$(find "$E2E_SDL_ROOT" -name 'libSDL2-2.0.so.0' -print -quit)
    [[ -z $sdl2 ]] || path+=":$(dirname "$sdl2")"
    echo "$path"
}

E2E_LIBRARY_PATH=
if [[ $E2E_SDL == compat && -n ${E2E_SDL_ROOT:-} ]]; then
    E2E_LIBRARY_PATH=$(compat_library_path) || {
        echo "not ok - the SDL 1.2 compatibility layer is not unpacked under ${E2E_SDL_ROOT:-?}"
        exit 1
    }
fi

# The version of the SDL 2 under the compatibility layer, from its file's name
# (libSDL2-2.0.so.0.3204.0 is 2.32.4); empty for the classic library and Windows.
sdl2_version() {
    [[ $E2E_SDL == compat ]] || return 0
    local file= dir
    for dir in ${E2E_LIBRARY_PATH//:/ }; do
        [[ -e $dir/libSDL2-2.0.so.0 ]] && file=$dir/libSDL2-2.0.so.0 && break
    done
    [[ -n $file ]] || file=$(/sbin/ldconfig -p | awk '$1 == "libSDL2-2.0.so.0" { print $NF; exit }')
    file=$(realpath "$file" 2>/dev/null)
    [[ ${file##*/} =~ ^libSDL2-2\.0\.so\.0\.([0-9]+)\.([0-9]+)$ ]] || return 0
    echo "2.$((BASH_REMATCH[1] / 100)).$((BASH_REMATCH[1] % 100 + BASH_REMATCH[2]))"
}

# The file a running process has mapped as libSDL-1.2.so.0, resolved.
mapped_sdl() {
    awk '$6 ~ /\/libSDL-1\.2\.so/ { print $6; exit }' "/proc/$1/maps" 2>/dev/null
}

# check_library PID: passes when the process runs on the library this test is for. The
# classic library numbers its file libSDL-1.2.so.0.N.N, the compatibility layer
# libSDL-1.2.so.1.N.N; a system that replaced the classic one would fail here. The Windows
# program is Wine running the .exe that JUKEBOX names.
check_library() {
    local mapped
    mapped=$(mapped_sdl "$1")
    if [[ $E2E_SDL == windows ]]; then
        check "windows: Wine runs $(tr '\0' ' ' <"/proc/$1/cmdline" 2>/dev/null)" \
            grep -qa '\.exe' "/proc/$1/cmdline"
    elif [[ $E2E_SDL == compat && -n $E2E_LIBRARY_PATH ]]; then
        check "compat: the program runs on ${mapped:-nothing}" \
            test -n "$mapped" -a "${mapped#"$(realpath "$E2E_SDL_ROOT")"/}" != "$mapped"
    elif [[ $E2E_SDL == compat ]]; then
        check "compat: the program runs on the system's ${mapped:-nothing}" \
            test -n "$mapped" -a "${mapped##*/libSDL-1.2.so.1.}" != "$mapped"
    else
        check "classic: the program runs on ${mapped:-nothing}" \
            test -n "$mapped" -a "${mapped##*/libSDL-1.2.so.0.}" != "$mapped"
    fi
}

# --- the X server ------------------------------------------------------------------------------

start_x() {
    local fifo=$E2E_WORK/displayfd display
    rm -f "$fifo"
    mkfifo "$fifo"
    # Xvfb writes the display number it took once it accepts connections.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -noreset -nolisten tcp 3>"$fifo" \
        >"$E2E_WORK/xvfb.log" 2>&1 &
    X_PID=$!
    e2e_pids+=("$X_PID")
    if ! read -r -t 20 display <"$fifo" || [[ -z $display ]]; then
        cat "$E2E_WORK/xvfb.log"
        bail "Xvfb started"
    fi
    rm -f "$fifo"
    export DISPLAY=:$display
    unset XAUTHORITY
    [[ $E2E_SDL != windows ]] || start_wineserver
}

# start_wineserver: the Wine prefix's server, for this test alone (ended with it, and with it
# the prefix's own processes); the programs started after it find it through WINEPREFIX.
start_wineserver() {
    : "${WINEPREFIX:?}"
    E2E_WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
    "$E2E_WINESERVER" --foreground --persistent >"$E2E_WORK/wineserver.log" 2>&1 &
    local pid=$!
    e2e_pids+=("$pid")
    for _ in $(seq 50); do
        listening "$pid" && return 0
        sleep 0.1
    done
    cat "$E2E_WORK/wineserver.log"
    bail "the Wine server started"
}

# listening PID: the process has a Unix socket of its own bound to a path, as a server does once
# it takes connections.
listening() {
    local inode
    for inode in $(readlink /proc/"$1"/fd/* 2>/dev/null | sed -n 's/^socket:\[\([0-9]*\)\]$/\1/p'); do
        awk -v inode="$inode" '$7 == inode && $8 != "" { found = 1 } END { exit !found }' /proc/net/unix &&
            return 0
    done
    return 1
}

# --- the program -------------------------------------------------------------------------------

# fresh_data: a new run directory holding a copy of the test assets; prints its path.
fresh_data() {
    local run
    run=$(mktemp -d "$E2E_WORK/run.XXXX")
    cp -r "$E2E_ASSETS/data" "$run/"
    echo "$run"
}

# install_build: installs the build directory E2E_BUILD under E2E_WORK/prefix (which rewrites
# the build's install manifest) and makes JUKEBOX the installed command there. Sets PREFIX, and
# DESKTOP_ENTRY to the installed desktop entry.
install_build() {
    PREFIX=$E2E_WORK/prefix
    cmake --install "${E2E_BUILD:?}" --prefix "$PREFIX" >"$E2E_WORK/install.log" ||
        bail "the build installs"
    JUKEBOX=$PREFIX/bin/jukebox
    DESKTOP_ENTRY=$(echo "$PREFIX"/share/applications/*.desktop)
}

# launch RUN-DIR [NAME=VALUE...]: starts the jukebox in RUN-DIR with the given environment
# on top of the test's; output goes to RUN-DIR/stdout and RUN-DIR/stderr. Sets JUKEBOX_PID.
launch() {
    JUKEBOX_RUN=$1
    shift
    local environment=()
    [[ -z $E2E_LIBRARY_PATH ]] || environment+=("LD_LIBRARY_PATH=$E2E_LIBRARY_PATH")
    # The audio driver is whatever the caller names, never one from the test's own environment.
    (cd "$JUKEBOX_RUN" && exec env -u SDL_AUDIODRIVER "${environment[@]}" "$@" "$JUKEBOX" \
        >"$JUKEBOX_RUN/stdout" 2>"$JUKEBOX_RUN/stderr" </dev/null) &
    JUKEBOX_PID=$!
    e2e_pids+=("$JUKEBOX_PID")
}

# start_jukebox [capture|quiet|server] [NAME=VALUE...]: launches the jukebox in fresh data, waits
# for its window and focuses it. "capture" records the sound into $CAPTURE (raw s16 stereo
# 44100 Hz, the disk driver pacing itself to about real time); "quiet" discards it; "server"
# leaves the output to the program and its library (a sound server; the caller records it).
start_jukebox() {
    local audio=${1:-quiet}
    shift || true
    local run
    run=$(fresh_data)
    if [[ $audio == capture ]]; then
        CAPTURE=$run/capture.raw
        launch "$run" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$CAPTURE" SDL_DISKAUDIODELAY=93 "$@"
    elif [[ $audio == server ]]; then
        launch "$run" "$@"
    else
        launch "$run" SDL_AUDIODRIVER=dummy "$@"
    fi
    find_window || bail "the jukebox window appeared"
    focus_window || bail "the jukebox window took the focus"
}

# Sets JUKEBOX_WINDOW to the mapped window of JUKEBOX_PID.
find_window() {
    JUKEBOX_WINDOW=$(timeout 15 xdotool search --sync --onlyvisible --pid "$JUKEBOX_PID" 2>/dev/null | head -n 1)
    if [[ -z $JUKEBOX_WINDOW ]]; then
        echo "# no window; the program is $(running && echo running || echo gone), the X server" \
            "$(alive "$X_PID" && echo running || echo gone), the program's windows:" \
            "$(for window in $(xdotool search --pid "$JUKEBOX_PID" 2>/dev/null); do
                echo "$window ($(xwininfo -id "$window" 2>/dev/null | awk -F': ' '/Map State/ { print $2 }'))"
            done | tr '\n' ' ')"
        echo "# the test's processes: $(ps -o pid=,stat=,wchan:24=,comm= --ppid $$ 2>/dev/null | tr -s ' ' | tr '\n' ';')"
        echo "# the program said:"
        sed 's/^/#   /' "$JUKEBOX_RUN/stderr"
        return 1
    fi
}

focus_window() {
    local i
    for i in 1 2 3 4 5; do
        xdotool windowfocus --sync "$JUKEBOX_WINDOW" 2>/dev/null
        [[ $(xdotool getwindowfocus 2>/dev/null) == "$JUKEBOX_WINDOW" ]] && return 0
        sleep 0.2
    done
    return 1
}

# window_picture FILE: the jukebox's window as the display shows it, as a PNG file.
window_picture() {
    import -window "$JUKEBOX_WINDOW" "png:$1" 2>/dev/null
}

# differing_pixels PICTURE: how many pixels of the jukebox's window differ from PICTURE, or
# "no picture" when the window cannot be read. The window's picture stays in window.png.
differing_pixels() {
    window_picture "$E2E_WORK/window.png" || {
        echo "no picture"
        return
    }
    local count
    # ImageMagick 7 (Debian testing) follows the count with its normalised value: "0 (0)".
    count=$(compare -metric AE "$E2E_WORK/window.png" "$1" null: 2>&1)
    echo "${count%% (*}"
}

# shows PICTURE: the window shows PICTURE, pixel for pixel, within five seconds (the picture is
# drawn once the audio is open).
shows() {
    local i
    for i in $(seq 50); do
        [[ $(differing_pixels "$1") == 0 ]] && return 0
        sleep 0.1
    done
    echo "# $(differing_pixels "$1") pixels differ from $1"
    return 1
}

# window_title WINDOW: the window's title (_NET_WM_NAME), once it has one (within five seconds):
# the program sets its caption just after its window opens, and the window may be found before
# the caption has reached the server.
window_title() {
    local title
    for _ in $(seq 50); do
        # xprop prints UTF-8 as it is only in a UTF-8 locale.
        title=$(LC_ALL=C.UTF-8 xprop -id "$1" -notype _NET_WM_NAME 2>&1)
        [[ $title != *"not found"* ]] && break
        sleep 0.1
    done
    [[ $title =~ ^_NET_WM_NAME\ =\ \"(.*)\"$ ]] && title=${BASH_REMATCH[1]}
    echo "$title"
}

# window_size WINDOW: "WIDTH HEIGHT" of the window as the server holds it.
window_size() {
    xwininfo -id "$1" | awk '/^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 } END { print w, h }'
}

# window_icon WINDOW: the window's icon as xprobe prints it; fails when it has none.
window_icon() {
    "$E2E_TOOLS/xprobe" icon "$1"
}

# window_protocol WINDOW: how the window reaches the screen: "x11" (on Wayland, sway's names for
# a native window and one through Xwayland).
window_protocol() {
    echo x11
}

# window_app_id WINDOW: the name docks and task switchers know the window by: its X class.
window_app_id() {
    xprop -id "$1" WM_CLASS | sed -n 's/^WM_CLASS(STRING) = ".*", "\(.*\)"$/\1/p'
}

# close_window WINDOW: asks the window to close as a window manager's close button does
# (WM_DELETE_WINDOW).
close_window() {
    "$E2E_TOOLS/wm_close" "$1"
}

# running: the jukebox has not exited.
running() {
    alive "$JUKEBOX_PID"
}

# wait_exit SECONDS: waits for the jukebox to end and sets JUKEBOX_STATUS to its exit status,
# or to "running" when it has not ended by then.
wait_exit() {
    local deadline=$((SECONDS + $1))
    while running && ((SECONDS < deadline)); do
        sleep 0.05
    done
    if running; then
        JUKEBOX_STATUS=running
        return
    fi
    wait "$JUKEBOX_PID"
    JUKEBOX_STATUS=$?
    forget "$JUKEBOX_PID"
}

# forget PID: the process has been reaped. Its PID may go to another process now, which the
# cleanup must leave alone.
forget() {
    local kept=() pid
    for pid in "${e2e_pids[@]}"; do
        [[ $pid == "$1" ]] || kept+=("$pid")
    done
    e2e_pids=("${kept[@]}")
}

# capture_frames: how many frames the capture file holds now.
capture_frames() {
    local bytes
    bytes=$(stat -c %s "$CAPTURE" 2>/dev/null || echo 0)
    echo $((bytes / 4))
}

# keycode KEYSYM: sets KEYCODE to the keycode of the key that has KEYSYM. (Given a keysym
# name, xdotool may press another key along with it, e.g. Alt_L with Alt_R.) xdotool reads a
# lone digit as the keysym of that digit, not as a keycode, so a key whose code is one digit
# (Escape's is 9) goes by its keysym name.
declare -A e2e_keycodes=()
KEYCODE=
keycode() {
    if [[ -z ${e2e_keycodes[$1]:-} ]]; then
        e2e_keycodes[$1]=$(lookup_keycode "$1") && [[ -n ${e2e_keycodes[$1]} ]] || bail "the keyboard has $1"
    fi
    KEYCODE=${e2e_keycodes[$1]}
}

lookup_keycode() {
    local code
    code=$("$E2E_TOOLS/xprobe" keycode "$1") || return 1
    if ((code >= 10)); then echo "$code"; else echo "$1"; fi
}

# key_down CODE, key_up CODE: one key, by the code keycode found, through XTEST.
key_down() {
    xdotool keydown "$1"
}

key_up() {
    xdotool keyup "$1"
}

# plain_key KEYSYM: the key that has KEYSYM has only that keysym, whatever the modifiers, so
# that the server does not act on any chord of it itself.
plain_key() {
    "$E2E_TOOLS/xprobe" plain-key "$1"
}

# press KEY [GAP]: one press of the key with keysym KEY, then GAP seconds (default 0.15) of
# nothing. With a capture running, logs "KEY FRAMES" to $CAPTURE.keys, FRAMES being the length
# of the capture at the moment of the press: what the key starts can only begin after it.
press() {
    local key=$1 gap=${2:-0.15}
    keycode "$key"
    [[ -z $CAPTURE ]] || echo "$key $(capture_frames)" >>"$CAPTURE.keys"
    key_down "$KEYCODE"
    sleep 0.04
    key_up "$KEYCODE"
    sleep "$gap"
}

# play_sound_keys: the presses sound_check.py judges, in its order: silence, track 1, track 2,
# s, a fade with track 1 asked for during it, a fade to silence, track 1 again, then m and b
# over the looping track.
play_sound_keys() {
    sleep 1                 # silence until a key
    press 1 1.2             # track 1
    press 2 1.2             # track 2 replaces it
    press s 0.6             # the one s effect
    press f 0.3             # fade track 2 out...
    press 1 1.6             # ...and ask for track 1 during the fade: it starts once the fade ended
    press f 2.0             # fade track 1 out, then silence
    press 1 1.0             # track 1 after a finished fade
    for _ in $(seq 20); do  # effects over the looping track
        press m 0.3
        press b 0.3
    done
    sleep 0.6
}

# plays_track1 CAPTURE: the capture holds the test assets' track 1 (330 Hz) at full volume.
plays_track1() {
    python3 - "$E2E_DIR" "$1" <<'EOF'
import sys
sys.path.insert(0, sys.argv[1])
from sound_check import Capture, FULL, TRACK1
capture = Capture(sys.argv[2])
level = capture.highest(TRACK1, 0, capture.frames)
print(f"# 330 Hz at {level:.3f} at the most")
sys.exit(level < FULL)
EOF
}

# chord KEY... : holds the keys down in order, then lets them go in reverse order.
chord() {
    local codes=() key i
    for key in "$@"; do
        keycode "$key"
        codes+=("$KEYCODE")
    done
    for key in "${codes[@]}"; do
        key_down "$key"
        sleep 0.03
    done
    for ((i = ${#codes[@]} - 1; i >= 0; --i)); do
        key_up "${codes[i]}"
        sleep 0.03
    done
}

# locked_modifiers: the X server's locked modifiers ("caps", "num", both or none).
locked_modifiers() {
    "$E2E_TOOLS/xprobe" locks
}

# The lines the libraries print by themselves, which are no output of the program: the disk audio
# driver's notice (SDL 3's names the format too); SDL 3's (3.4.18, under sdl2-compat on Debian
# testing) when XDG_RUNTIME_DIR is not set, as it is not here but is in a desktop session; and, on
# Wayland, Mesa's when SDL 3 probes for a GPU the test machine does not have, each followed by an
# empty line (the program never writes one). A Windows program ends its lines with CR LF: the CRs
# go first.
library_notices() {
    tr -d '\r' <"$1" | grep -v -E '^(WARNING: You are using the SDL disk writer audio driver!| Writing to file \[.*\]\.|CRITICAL: You are using the SDL disk i/o audio driver!|CRITICAL:  Writing to file \[.*\](, format=.*)?\.|error: XDG_RUNTIME_DIR is invalid or not set in the environment\.|libEGL warning: .*|MESA: error: ZINK: .*|)$'
}

# wine_fault DESCRIPTION STATUS: under Wine, status 139 is Wine's own Unix process ended by
# SIGSEGV as the program ended (a fault of the program's own ends it with its exception's code
# instead): said, and JUKEBOX_STATUS taken to be STATUS, the one the program gave. What the
# program printed is judged as ever (README, Known issues).
wine_fault() {
    [[ $E2E_SDL == windows && $JUKEBOX_STATUS == 139 ]] || return 0
    echo "# $1: wine64 ended by SIGSEGV as the program ended: Wine's fault"
    JUKEBOX_STATUS=$2
}

# check_clean_exit DESCRIPTION [SECONDS]: the jukebox ends with status 0 within SECONDS
# (default 5) and has printed nothing itself.
check_clean_exit() {
    wait_exit "${2:-5}"
    wine_fault "$1" 0
    check_eq "$1: exit status" 0 "$JUKEBOX_STATUS"
    check_eq "$1: nothing on stdout" "" "$(cat "$JUKEBOX_RUN/stdout")"
    check_eq "$1: nothing on stderr" "" "$(library_notices "$JUKEBOX_RUN/stderr" | wine_dll_faults "$1")"
}

# wine_dll_faults DESCRIPTION: standard input without Wine's lines of a page fault at an address
# outside the program's own modules (E2E_WINDOWS_MODULES, "base:size ..."), each said instead: a
# thread of Wine's own DLLs ending badly as the process ends (README, Known issues).
wine_dll_faults() {
    local line address module base size ours
    while IFS= read -r line; do
        if [[ $E2E_SDL == windows && $line =~ ^wine:\ Unhandled\ page\ fault\ .*\ at\ address\ ([0-9A-Fa-f]+)\ \(thread ]]; then
            address=$((16#${BASH_REMATCH[1]})) ours=false
            for module in ${E2E_WINDOWS_MODULES:-}; do
                base=$((16#${module%:*})) size=$((16#${module#*:}))
                ((address >= base && address < base + size)) && ours=true
            done
            if ! $ours; then
                echo "# $1: $line (in none of the program's modules: Wine's fault)" >&2
                continue
            fi
        fi
        printf '%s\n' "$line"
    done
}

# On a Wayland desktop, the display's side of all this is sway's.
if [[ -n ${E2E_WAYLAND:-} ]]; then
    # shellcheck source=wayland.sh
    source "$E2E_DIR/wayland.sh"
fi
