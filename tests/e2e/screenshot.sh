#!/usr/bin/env bash
# Takes a picture of the jukebox's window with the real assets (data/ of the repository) in a
# private X server and writes it to docs/screenshot.png.
#
# Usage: tests/e2e/screenshot.sh [BUILD-DIR [OUTPUT]]
#   BUILD-DIR  where the jukebox and the e2e helpers were built (default: build)
#   OUTPUT     the PNG to write (default: docs/screenshot.png)
# Paths are taken relative to the repository root.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root" || exit 1
build=$(realpath "${1:-build}")
output=$(realpath -m "${2:-docs/screenshot.png}")

export JUKEBOX=$build/jukebox
export E2E_ASSETS=$root
export E2E_TOOLS=$build/tests/e2e
export E2E_WORK
E2E_WORK=$(mktemp -d "${TMPDIR:-/tmp}/jukebox-screenshot.XXXXXX")
if [[ ! -x $JUKEBOX || ! -x $E2E_TOOLS/wm_close ]]; then
    echo "build first: cmake -S . -B $build && cmake --build $build" >&2
    exit 1
fi

source "$root/tests/e2e/harness.sh"
start_x
start_jukebox quiet

# Wait for the background; the last picture taken of the window stays in window.png.
shows "$JUKEBOX_RUN/data/b.png"
mkdir -p "$(dirname "$output")"
# No time stamps in the file, so that an unchanged picture gives an unchanged file.
convert "$E2E_WORK/window.png" -strip "png:$output"
echo "# wrote $output ($(identify -format '%wx%h' "$output"))"
differ=$(compare -metric AE "$output" "$JUKEBOX_RUN/data/b.png" null: 2>&1)
check "the picture shows data/b.png" test "${differ%% (*}" == 0

"$E2E_TOOLS/wm_close" "$JUKEBOX_WINDOW"
check_clean_exit "closed"
finish
