#!/usr/bin/env bash
# An effect ticked before any picture does not block Ctrl+O; quitting with unsaved changes asks once.
set -euo pipefail
program=$1
source "$(dirname "$0")/session.bash"
start_display
convert -size 300x200 gradient:white-yellow "$work/light.png"
start_program "$program"
sleep 1.5


click 120 42  # the "Background" tab
click 40 89   # " Black & White", with no picture loaded
xdotool key --window "$wid" ctrl+o
dialog=$(timeout 10 xdotool search --sync --onlyvisible --name '^Open Photo$' | head -n 1) || true
[ -n "$dialog" ] || { echo "Ctrl+O did not open the dialog after an effect was ticked"; exit 1; }
sleep 0.5
xdotool windowactivate --sync "$dialog" 2>/dev/null || true
xdotool type --delay 20 "$work/light.png"
sleep 0.3
xdotool key Return
sleep 3
import -window "$wid" "$work/opened.png"
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$work/opened.png" "$VIVIDRA_SCREENSHOT"
level=$(brightness opened.png 620 280)
echo "picture area brightness: $level"
[ "$level" -gt 150 ] || { echo "the picture did not appear"; exit 1; }

# Quit with unsaved changes: answer the question once.
xdotool key --window "$wid" ctrl+q
for _ in $(seq 50); do [ "$(others)" -ge 1 ] && break; sleep 0.1; done
[ "$(others)" -eq 1 ] || { echo "quit did not ask"; exit 1; }
q=$(xdotool search --onlyvisible --name "^Vividra$" | grep -vx "$wid" | head -n 1)
xdotool windowactivate --sync "$q" 2>/dev/null || true
sleep 0.3
xdotool key Return
ended_cleanly
echo "open and quit test passed"
