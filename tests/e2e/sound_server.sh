#!/usr/bin/env bash
# The sound through a real sound server, as on a desktop:
#
#   sound_server.sh pulseaudio    a private PulseAudio daemon
#   sound_server.sh pipewire      PipeWire with pipewire-pulse and WirePlumber, on a private
#                                 D-Bus session
#
# The server gets a null sink as its default sink; parec records that sink's monitor into the
# capture, and the jukebox picks its sound output itself (no SDL_AUDIODRIVER; PULSE_SERVER names
# the private socket). The keys are those of sound.sh (play_sound_keys), and sound_check.py judges the capture,
# allowing for the server's own latency; sound.sh, on the disk driver, stays the detailed proof.
# Then the server is killed while a track plays: the jukebox must keep running and keep loading
# the effects it is asked for, without spinning, and quit cleanly on Alt+F4.
#
# Everything runs in the test's scratch directory: HOME, the XDG directories and the runtime
# directory are set there, so no configuration, socket or daemon of the machine's or of a
# person's is read or touched, and every process started here is ended by PID.
source "$(dirname "$0")/harness.sh"
: "${E2E_SHIM:?}"

SERVER=${1:?usage: sound_server.sh pulseaudio|pipewire}
case $SERVER in
pulseaudio) needed=(pulseaudio parec pactl) ;;
pipewire) needed=(pipewire pipewire-pulse wireplumber dbus-run-session parec pactl) ;;
*) bail "unknown sound server $SERVER" ;;
esac
for tool in "${needed[@]}"; do
    command -v "$tool" >/dev/null || bail "missing: $tool (tools/install-deps test installs the packages)"
done

export HOME=$E2E_WORK/home
export XDG_RUNTIME_DIR=$E2E_WORK/runtime XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share \
    XDG_STATE_HOME=$HOME/.local/state XDG_CACHE_HOME=$HOME/.cache
unset DBUS_SESSION_BUS_ADDRESS PULSE_SERVER PULSE_SINK PULSE_SOURCE PULSE_RUNTIME_PATH PIPEWIRE_REMOTE \
    PIPEWIRE_RUNTIME_DIR SDL_AUDIODRIVER
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR/pulse"
chmod 700 "$XDG_RUNTIME_DIR" "$XDG_RUNTIME_DIR/pulse"
# No client may start a daemon of its own when the server is gone.
export PULSE_CLIENTCONFIG=$E2E_WORK/client.conf
echo "autospawn = no" >"$PULSE_CLIENTCONFIG"
export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native

SERVER_PIDS=()   # the sound server's processes, killed by the test while the jukebox plays

# server_process PID: a process of the server, started in the background. Disowned, so that the
# shell does not announce its death when the test kills it.
server_process() {
    e2e_pids+=("$1")
    SERVER_PIDS+=("$1")
    disown "$1"
}

# server_up: the server answers on the private socket.
server_up() {
    for _ in $(seq 100); do
        pactl info >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# Started without DISPLAY and with D-Bus out of reach: otherwise it first waits for an X11
# D-Bus autolaunch. As root it warns that it is not meant to run as root; the log keeps that.
start_pulseaudio() {
    cat >"$E2E_WORK/server.pa" <<EOF
load-module module-native-protocol-unix socket=$XDG_RUNTIME_DIR/pulse/native auth-anonymous=1
load-module module-null-sink sink_name=capture rate=44100 channels=2
set-default-sink capture
EOF
    env -u DISPLAY DBUS_SESSION_BUS_ADDRESS=disabled: PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse" \
        pulseaudio --daemonize=no --exit-idle-time=-1 -n --system=no --use-pid-file=no \
        --file="$E2E_WORK/server.pa" >"$E2E_WORK/pulseaudio.log" 2>&1 &
    server_process $!
    server_up || {
        sed 's/^/#   /' "$E2E_WORK/pulseaudio.log"
        bail "PulseAudio started"
    }
}

# PipeWire, its PulseAudio service and its session manager on a private D-Bus session bus; the
# null sink is loaded through the PulseAudio service, as pactl would on a desktop.
start_pipewire() {
    local bus=$E2E_WORK/bus session child
    # shellcheck disable=SC2016 # the address is expanded inside the session
    env -u DISPLAY dbus-run-session -- bash -c 'echo "$DBUS_SESSION_BUS_ADDRESS" >"$1.new" && mv "$1.new" "$1" && exec sleep infinity' \
        _ "$bus" >"$E2E_WORK/dbus.log" 2>&1 &
    session=$!
    e2e_pids+=("$session")
    for _ in $(seq 100); do
        [[ -s $bus ]] && break
        sleep 0.05
    done
    [[ -s $bus ]] || bail "a private D-Bus session started"
    # The bus daemon, and the sleep holding the session open (see stop_bus).
    for child in $(cat "/proc/$session/task/$session/children" 2>/dev/null); do
        [[ $(cat "/proc/$child/comm" 2>/dev/null) == dbus-daemon ]] || BUS_HOLDER=$child
        e2e_pids+=("$child")
    done
    BUS_SESSION=$session
    export DBUS_SESSION_BUS_ADDRESS
    DBUS_SESSION_BUS_ADDRESS=$(cat "$bus")
    # WirePlumber 0.4 (Debian 12) gives up at start when its Bluetooth monitor cannot watch
    # systemd-logind's seats, as in a system without systemd (a release's clean root file
    # system): a null sink is all this server needs. Later versions read no such file.
    mkdir -p "$XDG_CONFIG_HOME/wireplumber/bluetooth.lua.d"
    echo 'bluez_monitor.enabled = false' >"$XDG_CONFIG_HOME/wireplumber/bluetooth.lua.d/60-no-bluetooth.lua"
    local program
    for program in pipewire wireplumber pipewire-pulse; do
        env -u DISPLAY "$program" >"$E2E_WORK/$program.log" 2>&1 &
        server_process $!
        [[ $program != pipewire ]] || for _ in $(seq 100); do
            [[ -S $XDG_RUNTIME_DIR/pipewire-0 ]] && break
            sleep 0.05
        done
    done
    server_up || {
        tail -n 20 "$E2E_WORK"/pipewire*.log "$E2E_WORK/wireplumber.log" | sed 's/^/#   /'
        bail "PipeWire's PulseAudio service started"
    }
    pactl load-module module-null-sink sink_name=capture rate=44100 channels=2 >/dev/null ||
        bail "a null sink loaded through pipewire-pulse"
    # The session manager takes the new sink up a moment later; only then can it be the default.
    for _ in $(seq 50); do
        pactl set-default-sink capture 2>/dev/null && [[ $(pactl get-default-sink) == capture ]] && return 0
        sleep 0.1
    done
    bail "the null sink made the default sink"
}

BUS_SESSION=
BUS_HOLDER=

# stop_bus: ends the private D-Bus session the way it ends by itself: the sleep holding it goes,
# and the session ends its bus daemon and exits.
stop_bus() {
    [[ -n $BUS_SESSION ]] || return 0
    kill "$BUS_HOLDER" 2>/dev/null
    for _ in $(seq 50); do
        alive "$BUS_SESSION" || break
        sleep 0.1
    done
    wait "$BUS_SESSION" 2>/dev/null
    local pid
    for pid in $(printf '%s\n' "${e2e_pids[@]}"); do
        [[ -d /proc/$pid ]] || forget "$pid"
    done
}

# record: parec records the null sink's monitor into a new $CAPTURE, in the format of the disk
# driver's capture (raw s16le stereo 44100 Hz), with little latency of its own.
RECORDER=
record() {
    CAPTURE=$E2E_WORK/capture.raw
    : >"$CAPTURE"
    : >"$CAPTURE.keys"
    parec --device=capture.monitor --raw --format=s16le --rate=44100 --channels=2 --latency-msec=10 \
        >"$CAPTURE" 2>"$E2E_WORK/parec.log" &
    RECORDER=$!
    e2e_pids+=("$RECORDER")
    for _ in $(seq 100); do
        (($(capture_frames) > 4410)) && return 0
        sleep 0.05
    done
    cat "$E2E_WORK/parec.log"
    bail "parec records the null sink's monitor"
}

start_x
"start_$SERVER"
echo "# $(pactl info | awk -F': ' '/^Server Name/ { print $2 }'), default sink $(pactl get-default-sink)"

LOG=$E2E_WORK/calls.log
# A busy host can starve the server's stream for a second or more: a capture that fails where
# the stream was disturbed proves nothing (sound_check.py exits 2). PipeWire 1.6 on Debian
# testing also once, alone and undisturbed by these counts, read track 1 at 0.37 for a moment
# under the effects (1 run in 7 there; the 3 tries after it passed). Either way the keys are played
# again to a new launch, up to three times in all, and the test fails if none passes; the
# program's own sound is judged without a server, on every run, by the sound test.
# The sanitized program's stream comes late whenever it loads an effect, the machine quiet or not
# (alone on two processors: 82 dropouts, 0.51 s, and 17 skips in the m and b presses, where the
# normal build had none; beside nothing in CI, 411 to 601 dropouts in each of three tries): its
# capture is shown but not judged, once. What that run proves is the program's own code, through
# a server and without one; the normal build's run judges the sound.
ATTEMPTS=3
[[ -z ${E2E_SANITIZED:-} ]] || ATTEMPTS=1
for attempt in $(seq $ATTEMPTS); do
    record
    # Where the program's stream can begin in the recording, for the start-up click.
    launched=$(capture_frames)
    start_jukebox server LD_PRELOAD="$E2E_SHIM" SHIM_LOG="$LOG"
    if ((attempt == 1)); then
        check_library "$JUKEBOX_PID"
        # Which of its library's outputs the jukebox took.
        output=$(awk '$6 ~ /\/lib(pulse|pulse-simple|pipewire-0\.3|asound)\.so/ { n = $6; sub(/.*\//, "", n); sub(/\.so.*/, "", n); print n }' \
            "/proc/$JUKEBOX_PID/maps" | sort -u | tr '\n' ' ')
        echo "# the program has loaded: ${output:-no sound client library}"
    fi
    play_sound_keys
    # What the server holds of the program's stream and adds to it (for the log).
    echo "# the program's stream: $(pactl list sink-inputs | awk -F': ' '/Sample|Latency/ { printf "%s %s; ", $1, $2 }' | tr -s '\t ' ' ')"
    cp "$CAPTURE" "$E2E_WORK/played.raw"
    cp "$CAPTURE.keys" "$E2E_WORK/played.keys"
    CAPTURE=
    echo "# capture of $(($(stat -c %s "$E2E_WORK/played.raw") / 4)) frames; keys and capture frames: $(tr '\n' ' ' <"$E2E_WORK/played.keys")"
    python3 "$E2E_DIR/sound_check.py" --server --launched "$launched" "$E2E_WORK/played.raw" "$E2E_WORK/played.keys" |
        if [[ -z ${E2E_SANITIZED:-} ]]; then cat; else sed 's/^/#   /'; fi
    verdict=${PIPESTATUS[0]}
    ((verdict != 0 && attempt < ATTEMPTS)) || break
    echo "# attempt $attempt of $ATTEMPTS $( ((verdict == 2)) && echo "judged nothing" || echo failed): the keys again, to a new launch"
    mv "$E2E_WORK/played.raw" "$E2E_WORK/played.$attempt.raw"
    mv "$E2E_WORK/played.keys" "$E2E_WORK/played.$attempt.keys"
    chord Alt_L F4
    wait_exit 5
    [[ $JUKEBOX_STATUS == 0 ]] || bail "the jukebox quit on Alt+F4 before the next attempt (status $JUKEBOX_STATUS)"
    kill "$RECORDER"
    wait "$RECORDER" 2>/dev/null
    forget "$RECORDER"
done
if [[ -z ${E2E_SANITIZED:-} ]]; then
    check_eq "the capture through $SERVER matches the keys" 0 "$verdict"
else
    check "the capture through $SERVER holds the program's sound (the sanitized build's, not judged)" \
        python3 -c 'import array, sys
samples = array.array("h", open(sys.argv[1], "rb").read())
sys.exit(0 if samples and max(map(abs, samples)) > 1000 else 1)' "$E2E_WORK/played.raw"
fi

# --- the server goes away while track 1 plays ---------------------------------------------

# cpu_percent SECONDS: the jukebox's CPU time over SECONDS (whole), in % of one core.
cpu_percent() {
    local before after
    before=$(awk '{ print $14 + $15 }' "/proc/$JUKEBOX_PID/stat")
    sleep "$1"
    after=$(awk '{ print $14 + $15 }' "/proc/$JUKEBOX_PID/stat")
    echo $(((after - before) * 100 / ($(getconf CLK_TCK) * $1)))
}

# effect_loads: how many effects the jukebox has loaded so far (a stream opened on the file and
# a chunk made of it).
effect_loads() {
    grep -c '^Mix_LoadWAV_RW 0x[0-9a-f]* 1 = 0x' "$LOG"
}

# track_loads: how many times the jukebox has loaded track 2.
track_loads() {
    grep -c '^Mix_LoadMUS data/bgm2\.ogg = 0x' "$LOG"
}

check "the jukebox runs, track 1 playing, before the server goes" running
idle=$(cpu_percent 3)
kill -KILL "${SERVER_PIDS[@]}"
for pid in "${SERVER_PIDS[@]}"; do
    for _ in $(seq 50); do
        alive "$pid" || break
        sleep 0.1
    done
    forget "$pid"
done
sleep 1
check "the jukebox keeps running when $SERVER is killed" running
loads=$(effect_loads)
for key in m s b m s b; do
    press "$key" 0.3
done
check_eq "each effect key still loads its effect" $((loads + 6)) "$(effect_loads)"
loads=$(track_loads)
press 2 0.3
check_eq "2 still loads its track" $((loads + 1)) "$(track_loads)"
check "the jukebox runs on after keys without a server" running
lost=$(cpu_percent 3)
# It may poll a little differently without its output, but must not spin: a spinning thread
# adds a whole core, while the machine's other work (the suite runs two tests a processor) moves
# the figure by a dozen points or so (35 % after 22 % seen).
limit=$((idle + 50))
check "CPU without the server stays near its idle figure ($lost % of a core, $idle % before)" \
    test "$lost" -le "$limit"
chord Alt_L F4
check_clean_exit "Alt+F4 without a sound server"
stop_bus
finish
