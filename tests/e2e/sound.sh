#!/usr/bin/env bash
# The sound, captured through SDL's disk audio driver while keys are pressed. The test assets
# are pure tones, one frequency per file; sound_check.py reads the capture and the key log
# and judges what played after which key.
source "$(dirname "$0")/harness.sh"

start_x
start_jukebox capture
check_library "$JUKEBOX_PID"

play_sound_keys

close_window "$JUKEBOX_WINDOW"
check_clean_exit "closed"

echo "# capture of $(capture_frames) frames; keys and capture frames: $(tr '\n' ' ' <"$CAPTURE.keys")"
check "the capture matches the keys" python3 "$E2E_DIR/sound_check.py" "$CAPTURE" "$CAPTURE.keys"
finish
