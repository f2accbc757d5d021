#!/usr/bin/env bash
# The window: its title, size, protocol, app id and icon as the display server holds them, and
# its pixels, which are the background picture before and after keys were pressed.
source "$(dirname "$0")/harness.sh"

start_x
start_jukebox capture
check_library "$JUKEBOX_PID"
window=$JUKEBOX_WINDOW
data=$JUKEBOX_RUN/data

check_eq "the title" "ジュークボックス" "$(window_title "$window")"
check_eq "the window is 320 x 240" "320 240" "$(window_size "$window")"
if [[ $E2E_SDL != windows ]]; then
    protocol=x11
    [[ ${E2E_WAYLAND:-} != native ]] || protocol=xdg_shell
    [[ ${E2E_WAYLAND:-} != xwayland ]] || protocol=xwayland
    check_eq "the window's protocol" "$protocol" "$(window_protocol "$window")"
    check_eq "the window's app id or class" jukebox "$(window_app_id "$window")"
fi

# The icon: the colour key (palette index 15) hidden, every other pixel shown as in the file.
window_icon "$window" >"$E2E_WORK/icon.txt"
case $? in
0) check "the icon shows the file's pixels and hides the colour key" \
    python3 "$E2E_DIR/icon_check.py" "$data/images/icon.bmp" 15 "$E2E_SDL" <"$E2E_WORK/icon.txt" ;;
2) echo "# not read: $(cat "$E2E_WORK/icon.txt")" ;;
*) fail "the window has an icon" ;;
esac

check "the window shows data/b.png" shows "$data/b.png"

# Music, every effect and a fade draw nothing.
for key in 1 m s b 2 f; do
    press "$key" 0.12
done
sleep 0.3
check_eq "the window still shows data/b.png after keys" 0 "$(differing_pixels "$data/b.png")"
check "the jukebox is still running" running

close_window "$window"
check_clean_exit "closed"
finish
