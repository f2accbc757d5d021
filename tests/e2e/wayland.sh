# shellcheck shell=bash
# The harness on a Wayland desktop: sourced by harness.sh when E2E_WAYLAND is set, it replaces
# the X server with sway, headless, drawing in software, as a stacking desktop would place the
# window (floating, without decorations). The window is read from the compositor: its title,
# size, protocol and app id from sway's tree, its pixels through grim, and the close request is
# the compositor's own.
#   E2E_WAYLAND=native     no X server at all: SDL talks Wayland (xdg_shell).
#   E2E_WAYLAND=xwayland   the program through sway's Xwayland, with DISPLAY set as a session
#                          sets it.
# Either way keys come from vkbd.py, a virtual keyboard that exists before the program starts, to
# the compositor, which passes them on as it does a physical keyboard's. (Through Xwayland the
# first key sent through XTEST after the window appears was lost, with Xwayland 24.1 and SDL 3 on
# Debian testing; a real keyboard's keys reach Xwayland through the compositor, as these do.)
# sway refuses to run as root: then it runs as nobody, and lets root's X clients in.

for tool in sway swaymsg grim xhost; do
    command -v "$tool" >/dev/null || e2e_missing+=("$tool")
done
if [[ ${#e2e_missing[@]} -gt 0 ]]; then
    echo "not ok - missing: ${e2e_missing[*]} (tools/install-deps test installs the packages)"
    exit 1
fi

JUKEBOX_NODE=   # the window's container in sway's tree, set by find_window
eval "x_$(declare -f find_window)"
eval "x_$(declare -f focus_window)"

start_x() {
    local runtime user=() xwayland=disable
    [[ $E2E_WAYLAND == native ]] || xwayland=force
    # Its runtime directory, which holds its configuration too, lies under /tmp: sway's user can
    # reach it there (nobody, under root), and the socket paths stay short.
    runtime=$(mktemp -d "${TMPDIR:-/tmp}/jukebox-sway.XXXXXX")
    e2e_temporary+=("$runtime")
    if [[ $(id -u) -eq 0 ]]; then
        user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
        chown nobody:nogroup "$runtime"
    fi
    # The session's variables, written once Xwayland (when wanted) takes root's clients.
    cat >"$runtime/sway.config" <<EOF
xwayland $xwayland
output HEADLESS-1 resolution 1024x768
default_border none
default_floating_border none
for_window [title=".*"] floating enable
exec sh -c '{ [ -z "\$DISPLAY" ] || xhost +si:localuser:$(id -un); } >/dev/null && echo "\$WAYLAND_DISPLAY \$DISPLAY" >"\$XDG_RUNTIME_DIR/session"'
EOF
    chmod a+r "$runtime/sway.config"
    env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$runtime" WLR_BACKENDS=headless \
        WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 "${user[@]}" sway -c "$runtime/sway.config" \
        >"$E2E_WORK/sway.log" 2>&1 &
    X_PID=$!
    e2e_pids+=("$X_PID")
    unset WAYLAND_DISPLAY
    for _ in $(seq 100); do
        [[ -s $runtime/session ]] && read -r WAYLAND_DISPLAY DISPLAY <"$runtime/session" && break
        sleep 0.1
    done
    if [[ -z ${WAYLAND_DISPLAY:-} ]]; then
        tail -n 20 "$E2E_WORK/sway.log"
        bail "sway started"
    fi
    export XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY
    SWAYSOCK=$(echo "$runtime"/sway-ipc.*.sock)
    export SWAYSOCK
    if [[ $E2E_WAYLAND == native ]]; then unset DISPLAY; else export DISPLAY; fi
    start_keyboard
}

# start_keyboard: the virtual keyboard, connected before any program starts, as a seat always has
# one.
start_keyboard() {
    coproc VKBD { exec python3 "$E2E_DIR/vkbd.py" 2>"$E2E_WORK/vkbd.log"; }
    e2e_pids+=("$VKBD_PID")
    keyboard locks >/dev/null || {
        cat "$E2E_WORK/vkbd.log"
        bail "the virtual keyboard is connected"
    }
}

# keyboard COMMAND...: one command to the virtual keyboard; prints its answer.
keyboard() {
    local line
    echo "$*" >&"${VKBD[1]}" || return 1
    while read -r -t 10 line <&"${VKBD[0]}"; do
        [[ $line == . ]] && return 0
        echo "$line"
    done
    return 1
}

# sway_window [FIELDS]: the jukebox's window in sway's tree (see sway_window.py), or the fields of
# it that `cut -f` takes (counted from 1, e.g. "4,5"), tab-separated.
sway_window() {
    local line
    line=$(swaymsg -t get_tree | python3 "$E2E_DIR/sway_window.py" "$JUKEBOX_PID") || return 1
    if [[ -n ${1:-} ]]; then cut -f "$1" <<<"$line"; else echo "$line"; fi
}

# Waits 15 seconds at the most, as on X, and no longer once the program has ended.
find_window() {
    local deadline=$((SECONDS + 15))
    until JUKEBOX_NODE=$(sway_window 1); do
        if ! running || ((SECONDS >= deadline)); then break; fi
        sleep 0.1
    done
    if [[ -z $JUKEBOX_NODE ]]; then
        echo "# no window in sway's tree; the program is $(running && echo running || echo gone)," \
            "sway $(alive "$X_PID" && echo running || echo gone); the program said:"
        sed 's/^/#   /' "$JUKEBOX_RUN/stderr"
        return 1
    fi
    # shellcheck disable=SC2034 # the harness's
    JUKEBOX_WINDOW=$JUKEBOX_NODE
    # Through Xwayland, the X window too: its icon, its focus.
    [[ $(sway_window 6) != xwayland ]] || x_find_window
}

focus_window() {
    swaymsg "[con_id=$JUKEBOX_NODE] focus" >/dev/null || return 1
    [[ $(sway_window 6) != xwayland ]] || x_focus_window || return 1
    [[ $(sway_window 8) == focused ]]
}

window_title() {
    sway_window 9
}

window_size() {
    sway_window 4,5 | tr '\t' ' '
}

# window_protocol: "xdg_shell" or "xwayland"; window_app_id: the app id, or the X class.
window_protocol() {
    sway_window 6
}

window_app_id() {
    sway_window 7
}

# A native window's icon is not in the tree; through Xwayland it is the X window's.
window_icon() {
    if [[ $E2E_WAYLAND == native ]]; then
        echo "sway shows no icon of a native window"
        return 2
    fi
    "$E2E_TOOLS/xprobe" icon "$1"
}

close_window() {
    swaymsg "[con_id=$JUKEBOX_NODE] kill" >/dev/null
}

window_picture() {
    local x y width height
    read -r _ x y width height _ < <(sway_window) && grim -g "$x,$y ${width}x$height" "$1"
}

lookup_keycode() {
    keyboard keycode "$1"
}

key_down() {
    keyboard down "$1" >/dev/null
}

key_up() {
    keyboard up "$1" >/dev/null
}

# The keyboard's keymap is the ordinary one; headless sway has no virtual terminals to switch
# to, so it passes every F4 chord on, and so does Xwayland.
plain_key() {
    true
}

locked_modifiers() {
    keyboard locks
}
