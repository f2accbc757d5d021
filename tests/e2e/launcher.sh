#!/usr/bin/env bash
# The installed jukebox command in a Wayland session with Xwayland, as a desktop starts it (both
# WAYLAND_DISPLAY and DISPLAY set), under values of SDL_VIDEODRIVER that sessions set for every
# program: it always opens its window, on a protocol the installed SDL 1.2 can use, and docks can
# match the window to the desktop entry: a native window by its app id (the entry's name), one
# through Xwayland by its X class (the entry's StartupWMClass).
#
# E2E_BUILD: the build directory, installed under E2E_WORK (see install_build).
source "$(dirname "$0")/harness.sh"
: "${E2E_WAYLAND:?}"

install_build
program=$(realpath "$PREFIX/libexec/jukebox/jukebox")
desktop_id=$(basename "$DESKTOP_ENTRY" .desktop)
startup_class=$(sed -n 's/^StartupWMClass=//p' "$DESKTOP_ENTRY")
start_x

# The protocol a value gives: the original SDL 1.2 knows X alone; the compatibility layer takes
# Wayland where asked for, first in a list or alone, and X otherwise (SDL 2's order).
expected_protocol() {
    if [[ $E2E_SDL == classic || $1 != wayland* ]]; then echo xwayland; else echo xdg_shell; fi
}

for value in unset wayland wayland,x11 x11,wayland x11 "Wayland, x11"; do
    environment=(XDG_DATA_HOME="$E2E_WORK/no-data" SDL_AUDIODRIVER=dummy)
    [[ $value == unset ]] || environment+=(SDL_VIDEODRIVER="$value")
    launch "$(mktemp -d "$E2E_WORK/run.XXXX")" "${environment[@]}"
    # The window is the program's, which the launcher runs as its child (its others are
    # subshells, then tee); the status is the launcher's.
    launcher=$JUKEBOX_PID
    JUKEBOX_PID=
    for _ in $(seq 50); do
        for child in $(pgrep -P "$launcher"); do
            [[ $(readlink "/proc/$child/exe") != "$program" ]] || JUKEBOX_PID=$child
        done
        [[ -z $JUKEBOX_PID ]] || break
        sleep 0.1
    done
    if [[ -n $JUKEBOX_PID ]] && find_window; then
        protocol=$(window_protocol)
        app_id=$(window_app_id)
        echo "# SDL_VIDEODRIVER=$value: $protocol, app id or class $app_id"
        check_eq "SDL_VIDEODRIVER=$value: the protocol" "$(expected_protocol "${value,,}")" "$protocol"
        if [[ $protocol == xdg_shell ]]; then
            check_eq "SDL_VIDEODRIVER=$value: the app id is the desktop entry's name" "$desktop_id" "$app_id"
        else
            check_eq "SDL_VIDEODRIVER=$value: the X class is the entry's StartupWMClass" "$startup_class" "$app_id"
        fi
        check_eq "SDL_VIDEODRIVER=$value: the title" "ジュークボックス" "$(window_title)"
        close_window
        JUKEBOX_PID=$launcher
        wait_exit 5
        check_eq "SDL_VIDEODRIVER=$value: the close request ends it with status 0" 0 "$JUKEBOX_STATUS"
    else
        fail "SDL_VIDEODRIVER=$value: the window appeared"
        echo "# the launcher is $(alive "$launcher" && echo running || echo gone), the program" \
            "${JUKEBOX_PID:-never started}; the launcher's processes:" \
            "$(ps -o pid=,stat=,args= --ppid "$launcher" 2>/dev/null | tr -s ' ' | tr '\n' ';')"
        echo "# it said:"
        sed 's/^/#   /' "$JUKEBOX_RUN/stderr"
        JUKEBOX_PID=$launcher
        kill "$launcher"
        wait_exit 5
    fi
done
finish
