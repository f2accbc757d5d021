#!/usr/bin/env bash
# Confinement: once its window is up, the jukebox tries from inside, as a taken-over decoder
# would (the recording library's probe), to write a file in $HOME and in /tmp, to start /bin/sh
# and to connect to a TCP port the test holds on 127.0.0.1. Each is refused; data/ is still read
# and keys still play. On a kernel without Landlock the test says it skipped (status 77).
source "$(dirname "$0")/harness.sh"
: "${E2E_SHIM:?}"

abi=$(python3 -c 'import ctypes; print(ctypes.CDLL(None, use_errno=True).syscall(444, None, 0, 1))')
if ((abi < 1)); then
    echo "# skipped: this kernel has no Landlock"
    exit 77
fi
echo "# the kernel's Landlock: version $abi"

# A listener of the test's own, on a port the kernel picks.
python3 -c '
import socket, sys, time
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen()
print(s.getsockname()[1], flush=True)
time.sleep(600)' >"$E2E_WORK/port" &
e2e_pids+=("$!")
for _ in $(seq 50); do
    [[ ! -s $E2E_WORK/port ]] || break
    sleep 0.1
done
mkdir -p "$E2E_WORK/home"

LOG=$E2E_WORK/calls.log
start_x
start_jukebox capture LD_PRELOAD="$E2E_SHIM" SHIM_LOG="$LOG" SHIM_EVENTS=probe \
    SHIM_PROBE_PORT="$(cat "$E2E_WORK/port")" HOME="$E2E_WORK/home"
check_library "$JUKEBOX_PID"
check_eq "no new rights for what it starts (NoNewPrivs)" 1 \
    "$(awk '/^NoNewPrivs:/ { print $2 }' "/proc/$JUKEBOX_PID/status")"
sleep 0.5
press 1 1
press s 1
close_window "$JUKEBOX_WINDOW"
check_clean_exit "closed"

outcome() {
    sed -n "s|^probe $1: ||p" "$LOG"
}
check_eq "a file written in \$HOME: refused" "Permission denied" "$(outcome 'write in \$HOME')"
check_eq "a file written in /tmp: refused" "Permission denied" "$(outcome 'write in /tmp')"
check_eq "/bin/sh started: refused" "Permission denied" "$(outcome 'run /bin/sh')"
if ((abi >= 4)); then
    check_eq "a TCP connection to 127.0.0.1: refused" "Permission denied" "$(outcome 'connect to 127.0.0.1')"
else
    echo "# a TCP connection to 127.0.0.1: $(outcome 'connect to 127.0.0.1') (Landlock $abi has no network rules)"
fi
check_eq "data/b.png read" done "$(outcome 'read data/b.png')"
check_eq "nothing was left in \$HOME" "" "$(ls -A "$E2E_WORK/home")"
# After each key, the capture holds its tone: the track and the effect were read and played.
check "the track and the effect played" python3 - "$CAPTURE" "$CAPTURE.keys" <<'PY'
import array, sys
samples = array.array("h", open(sys.argv[1], "rb").read())
for line in open(sys.argv[2]):
    key, frame = line.split()
    after = samples[int(frame) * 2:int(frame) * 2 + 2 * 44100]
    if max(map(abs, after), default=0) < 1000:
        sys.exit(f"silence after {key}")
PY
finish
