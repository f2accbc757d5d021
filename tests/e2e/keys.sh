#!/usr/bin/env bash
# Quitting: Alt+F4 with exactly one Alt and no other modifier or lock ends the jukebox with
# status 0, every other F4 chord leaves it running, and so does a window manager's close.
source "$(dirname "$0")/harness.sh"

start_x
# The usual keymap makes Ctrl+Alt+F4 switch virtual terminals, and the X server swallows the
# chord then: the program would never see it. Make F4 a plain key so that every chord reaches
# the program. Even so the classic library, with Unicode translation on as the program has it,
# drops a Ctrl+Alt+F4 press before it becomes an SDL event (without the translation it passes
# it on); so on classic the Ctrl chords show only that the jukebox keeps running, and it is
# the compat run that sees the program itself refuse them.
check "F4 is made a plain key" plain_key F4

# F4 chords that must not quit, tried on one jukebox; a plain Alt+F4 ends it at the end, which
# shows that the F4 presses do reach it.
start_jukebox quiet
check_library "$JUKEBOX_PID"

# refused DESCRIPTION KEY...: the chord leaves the jukebox running. One that wrongly quit is
# started again, so that each chord is judged on its own.
refused() {
    local what=$1
    shift
    chord "$@"
    sleep 0.4
    if running; then
        pass "$what does not quit"
    else
        fail "$what does not quit"
        start_jukebox quiet
    fi
}

# with_lock NAME KEY: refuses Alt+F4 while the lock is on, then turns it off again.
with_lock() {
    local name=$1 key=$2
    press "$key"
    check_eq "$name is locked" "$name" "$(locked_modifiers)"
    refused "Alt+F4 with $name lock on" Alt_L F4
    press "$key"
    check_eq "$name is unlocked again" "" "$(locked_modifiers)"
}

check_eq "no lock is on at the start" "" "$(locked_modifiers)"
refused "F4 alone" F4
with_lock num Num_Lock
with_lock caps Caps_Lock
refused "Ctrl+Alt+F4" Control_L Alt_L F4
refused "Right Ctrl+Alt+F4" Control_R Alt_L F4
refused "Shift+Alt+F4" Shift_L Alt_L F4
# A refused chord leaves no modifier behind.
refused "F4 alone, after Shift+Alt+F4" F4
refused "Ctrl+Alt+F4, after that" Control_L Alt_L F4
refused "Alt+Shift+F4 (right Shift)" Alt_L Shift_R F4
refused "Left Alt+Right Alt+F4" Alt_L Alt_R F4
refused "Right Ctrl+Right Alt+F4" Control_R Alt_R F4
chord Alt_L F4
check_clean_exit "left Alt+F4"

# The right Alt alone is exactly one Alt too.
start_jukebox quiet
chord Alt_R F4
check_clean_exit "right Alt+F4"

# A window manager's close button: WM_DELETE_WINDOW.
start_jukebox quiet
check "the close request is sent" close_window "$JUKEBOX_WINDOW"
check_clean_exit "the close request"

finish
