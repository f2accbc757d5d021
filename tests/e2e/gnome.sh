#!/usr/bin/env bash
# The installed jukebox command on GNOME's own compositor: GNOME Shell, headless with a virtual
# monitor, Wayland only, on buses of its own (a session bus, and a stand-in system bus with nothing
# on it). GNOME Shell itself lists the window (its title, size and focus, its app id, and the
# desktop entry it matched the window to, which is what its dock and task switcher show); keys
# come through mutter's remote desktop interface; GNOME's own Alt+F4 closes the window.
#
# E2E_BUILD: the build directory, installed under E2E_WORK (see install_build).
source "$(dirname "$0")/harness.sh"
for tool in gnome-shell dbus-daemon; do
    command -v "$tool" >/dev/null || bail "$tool is there (tools/install-deps gnome installs it)"
done
# Debian's own python3, which has the GObject bindings.
gnome_shell() {
    /usr/bin/python3 "$E2E_DIR/gnome_shell.py" "$@"
}

install_build
desktop_id=$(basename "$DESKTOP_ENTRY" .desktop)

# start_bus NAME: a bus of this test's own, at $XDG_RUNTIME_DIR/NAME; sets BUS to its address.
start_bus() {
    local socket=$XDG_RUNTIME_DIR/$1
    dbus-daemon --session --nofork --nopidfile --address="unix:path=$socket" >"$E2E_WORK/$1.log" 2>&1 &
    e2e_pids+=("$!")
    BUS=unix:path=$socket
    for _ in $(seq 50); do
        [[ -S $socket ]] && return 0
        sleep 0.1
    done
    return 1
}

# The buses start services of their own (the accessibility bus, dconf), which outlive them: the
# cleanup ends every process of this session, known by its runtime directory.
session_processes() {
    local environ
    for environ in /proc/[0-9]*/environ; do
        grep -qzx "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR" "$environ" 2>/dev/null || continue
        environ=${environ#/proc/}
        [[ ${environ%/environ} == "$$" ]] || echo "${environ%/environ}"
    done
}
end_session() {
    local status=$?
    # shellcheck disable=SC2207
    e2e_pids+=($(session_processes))
    (exit "$status")
    e2e_cleanup
}
trap end_session EXIT

# The session, as a person's: a home, a runtime directory, the installed entry among the data
# directories, no X display. The runtime directory holds sockets, whose paths must be short.
export HOME=$E2E_WORK/home XDG_CONFIG_HOME=$E2E_WORK/home/.config
export XDG_DATA_DIRS=$PREFIX/share:/usr/local/share:/usr/share
XDG_RUNTIME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/jukebox-gnome.XXXXXX") && export XDG_RUNTIME_DIR
e2e_temporary+=("$XDG_RUNTIME_DIR")
mkdir -p "$HOME"
unset DISPLAY WAYLAND_DISPLAY
start_bus system && export DBUS_SYSTEM_BUS_ADDRESS=$BUS || bail "the system bus started"
start_bus session && export DBUS_SESSION_BUS_ADDRESS=$BUS || bail "the session bus started"
gnome-shell --headless --wayland --no-x11 --virtual-monitor 1024x768 --wayland-display=gnome-test \
    >"$E2E_WORK/gnome-shell.log" 2>&1 &
X_PID=$!
e2e_pids+=("$X_PID")
for _ in $(seq 150); do
    gnome_shell windows >/dev/null 2>&1 && break
    sleep 0.2
done
gnome_shell windows >/dev/null || {
    tail -n 30 "$E2E_WORK/gnome-shell.log"
    bail "GNOME Shell started"
}
export WAYLAND_DISPLAY=gnome-test
echo "# $(gnome-shell --version)"
coproc KEYBOARD { exec /usr/bin/python3 "$E2E_DIR/gnome_shell.py" keyboard 2>"$E2E_WORK/keyboard.log"; }
e2e_pids+=("$KEYBOARD_PID")
# keys STEP...: steps for the keyboard (see gnome_shell.py); returns once it has taken them.
keys() {
    local answer
    [[ $# -eq 0 ]] || echo "$*" >&"${KEYBOARD[1]}"
    read -r -t 20 answer <&"${KEYBOARD[0]}" && [[ $answer == . ]]
}
keys || bail "the remote desktop keyboard is there; $(cat "$E2E_WORK/keyboard.log")"
# GNOME starts in the overview; Escape leaves it, as a person would.
keys +1 0.05 -1 1

# gnome_window: the jukebox's window as GNOME Shell lists it, once it has the focus (within ten
# seconds).
gnome_window() {
    local line
    for _ in $(seq 50); do
        line=$(gnome_shell windows | grep -F '"title": "ジュークボックス"')
        [[ $line == *'"has-focus": true'* ]] && break
        sleep 0.2
    done
    echo "$line"
}

# fields JSON NAME...: the named fields of a window, tab-separated.
fields() {
    python3 -c 'import json, sys; window = json.loads(sys.argv[1])
print("\t".join(str(window.get(name, "")) for name in sys.argv[2:]))' "$@"
}

# The tone-coded test assets as the person's own data, whose track 1 is a 330 Hz tone.
mkdir -p "$E2E_WORK/data-home/jukebox"
cp -r "$E2E_ASSETS/data" "$E2E_WORK/data-home/jukebox/"
CAPTURE=$E2E_WORK/capture.raw
launch "$(mktemp -d "$E2E_WORK/run.XXXX")" XDG_DATA_HOME="$E2E_WORK/data-home" SDL_AUDIODRIVER=disk \
    SDL_DISKAUDIOFILE="$CAPTURE" SDL_DISKAUDIODELAY=93
window=$(gnome_window)
echo "# GNOME Shell lists: $window"
[[ -n $window ]] || bail "GNOME Shell lists the window; the jukebox said: $(cat "$JUKEBOX_RUN/stderr")"
IFS=$'\t' read -r focus width height app_id entry < <(fields "$window" has-focus width height wm-class app-id)
check_eq "the window has the focus" True "$focus"
check_eq "the window is 320 x 240" "320 240" "$width $height"
check_eq "the app id is the desktop entry's name" "$desktop_id" "$app_id"
check_eq "GNOME matches the window to the desktop entry" "$desktop_id.desktop" "$entry"

# Key 1 (evdev code 2) starts track 1; then GNOME's own Alt+F4 (56, 62) closes the window.
keys +2 0.05 -2 1.5
keys +56 0.05 +62 0.05 -62 0.05 -56
wait_exit 5
check_eq "Alt+F4 ends it with status 0" 0 "$JUKEBOX_STATUS"
check "key 1 played track 1 (330 Hz)" plays_track1 "$CAPTURE"
finish
