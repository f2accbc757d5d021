#!/usr/bin/env bash
# The window: its title, size and icon as the X server holds them, and its pixels, which are
# the background picture before and after keys were pressed.
source "$(dirname "$0")/harness.sh"

start_x
start_jukebox capture
check_library "$JUKEBOX_PID"
window=$JUKEBOX_WINDOW
data=$JUKEBOX_RUN/data

# The title is UTF-8 in _NET_WM_NAME (xprop prints it as it is only in a UTF-8 locale).
check_eq "_NET_WM_NAME is the title" '_NET_WM_NAME = "ジュークボックス"' \
    "$(window_title "$window")"
check_eq "the window is 320 x 240" "320 240" \
    "$(xwininfo -id "$window" | awk '/^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 } END { print w, h }')"

# The icon: the colour key (palette index 15) hidden, every other pixel shown as in the file.
if "$E2E_TOOLS/xprobe" icon "$window" >"$E2E_WORK/icon.txt"; then
    check "the icon shows the file's pixels and hides the colour key" \
        python3 "$E2E_DIR/icon_check.py" "$data/images/icon.bmp" 15 "$E2E_SDL" <"$E2E_WORK/icon.txt"
else
    fail "the window has an icon"
fi

check "the window shows data/b.png" shows "$data/b.png"

# Music, every effect and a fade draw nothing.
for key in 1 m s b 2 f; do
    press "$key" 0.12
done
sleep 0.3
check_eq "the window still shows data/b.png after keys" 0 "$(differing_pixels "$data/b.png")"
check "the jukebox is still running" running

"$E2E_TOOLS/wm_close" "$window"
check_clean_exit "closed"
finish
