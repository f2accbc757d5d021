#!/usr/bin/env bash
# The sound, captured through SDL's disk audio driver while keys are pressed. The test assets
# are pure tones, one frequency per file; sound_check.py reads the capture and the key log
# and judges what played after which key.
source "$(dirname "$0")/harness.sh"

start_x
start_jukebox capture
check_library "$JUKEBOX_PID"

sleep 1                 # silence until a key
press 1 1.2             # track 1
press 2 1.2             # track 2 replaces it
press s 0.6             # the one s effect
press f 0.3             # fade track 2 out...
press 1 1.6             # ...and ask for track 1 during the fade: it starts once the fade ended
press f 2.0             # fade track 1 out, then silence
press 1 1.0             # track 1 after a finished fade
for _ in $(seq 20); do  # effects over the looping track
    press m 0.3
    press b 0.3
done
sleep 0.4

"$E2E_TOOLS/wm_close" "$JUKEBOX_WINDOW"
check_clean_exit "closed"

echo "# capture of $(capture_frames) frames; keys and capture frames: $(tr '\n' ' ' <"$CAPTURE.keys")"
check "the capture matches the keys" python3 "$E2E_DIR/sound_check.py" "$CAPTURE" "$CAPTURE.keys"
finish
