#!/usr/bin/env bash
# Under a real window manager (openbox, with the configuration its package installs): the title
# bar it draws around the window shows the jukebox's icon, not the manager's default one, and
# the manager's own Alt+F4, which it takes before the program sees the keys and answers by
# asking the window to close, ends the jukebox with status 0, whatever locks are on.
source "$(dirname "$0")/harness.sh"

command -v openbox >/dev/null || bail "missing: openbox (tools/install-deps test installs it)"

start_x
# Nothing of a person's configuration: the manager reads only its package's own.
export HOME=$E2E_WORK/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache \
    XDG_STATE_HOME=$HOME/.local/state XDG_CONFIG_DIRS=/etc/xdg XDG_DATA_DIRS=/usr/share
mkdir -p "$HOME"
# Openbox 3.6.1 announces itself on the root window before it has started, and a window that
# asks to be mapped in between can stay unmapped until some other event reaches the manager: its
# main loop wakes only for what is still in Xlib's queue, not for events its start-up has already
# read. The command it runs once started marks the moment from which it maps new windows at once.
started=$E2E_WORK/openbox.started
# shellcheck disable=SC2016 # expanded by the shell openbox starts
E2E_OPENBOX_STARTED=$started openbox --startup 'sh -c "touch \"$E2E_OPENBOX_STARTED\""' \
    >"$E2E_WORK/openbox.log" 2>&1 &
e2e_pids+=($!)

# The manager has started once its start-up command has run.
managed() {
    for _ in $(seq 100); do
        [[ -e $started ]] && return 0
        sleep 0.1
    done
    return 1
}
managed || {
    sed 's/^/#   /' "$E2E_WORK/openbox.log"
    bail "openbox manages the screen"
}

# frame_of WINDOW: the manager's frame around the window, the child of the root that holds it.
frame_of() {
    local window=$1 parent root
    root=$(xwininfo -root | awk '/Window id:/ { print $4 }')
    while parent=$(xwininfo -children -id "$window" | awk '/Parent window id:/ { print $4 }') &&
        [[ -n $parent && $parent != "$root" ]]; do
        window=$parent
    done
    printf '%d\n' "$window"
}

# absolute WINDOW: the window's upper left corner on the screen, "X Y".
absolute() {
    xwininfo -id "$1" | awk '/Absolute upper-left X:/ { x = $4 } /Absolute upper-left Y:/ { y = $4 } END { print x, y }'
}

# check_title_bar_icon: the title bar, the part of the frame above the window, shows the icon.
check_title_bar_icon() {
    local frame width x y fx fy bar=$E2E_WORK/title-bar
    frame=$(frame_of "$JUKEBOX_WINDOW")
    read -r x y < <(absolute "$JUKEBOX_WINDOW")
    read -r fx fy < <(absolute "$frame")
    width=$(xwininfo -id "$frame" | awk '/^ *Width:/ { print $2 }')
    local height=$((y - fy))
    if ((height < 8)); then
        fail "the window has a title bar (frame at $fx,$fy, window at $x,$y)"
        return
    fi
    pass "the window has a title bar of ${width}x$height"
    # Drawn a moment after the window is mapped; the picture of the whole screen shows what the
    # manager has drawn, whichever window holds it.
    local shown=false
    for _ in $(seq 20); do
        if import -window root -crop "${width}x$height+$fx+$fy" +repage "png:$bar.png" 2>/dev/null &&
            convert "$bar.png" -depth 8 "rgb:$bar.rgb" &&
            python3 "$E2E_DIR/icon_check.py" --title-bar "$JUKEBOX_RUN/data/images/icon.bmp" 15 \
                "$width" "$height" <"$bar.rgb" >"$bar.txt"; then
            shown=true
            break
        fi
        sleep 0.2
    done
    sed 's/^/# /' "$bar.txt"
    check "openbox's title bar shows the jukebox's icon" $shown
}

start_jukebox quiet
check_library "$JUKEBOX_PID"
check_title_bar_icon

# The manager's Alt+F4: plain, with Num Lock, with Caps Lock. With a lock on, the program itself
# would keep running on Alt+F4 (keys.sh): here the manager takes the keys and closes the window.
chord Alt_L F4
check_clean_exit "openbox's Alt+F4"

# with_lock NAME KEY: Alt+F4 under openbox with the lock on ends a new jukebox; the lock goes
# off again after.
with_lock() {
    start_jukebox quiet
    press "$2"
    check_eq "$1 is locked" "$1" "$(locked_modifiers)"
    chord Alt_L F4
    check_clean_exit "openbox's Alt+F4 with $1 lock on"
    press "$2"
    check_eq "$1 is unlocked again" "" "$(locked_modifiers)"
}
with_lock num Num_Lock
with_lock caps Caps_Lock

finish
