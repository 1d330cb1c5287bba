#!/usr/bin/env bash
# With no picture loaded, ticks an effect and then opens a picture with Ctrl+O: the open
# panel must come up and the picture must appear. Then quits with unsaved changes: one
# question, one answer, and the program ends.
set -euo pipefail
program=$1
source "$(dirname "$0")/session.bash"
start_display
convert -size 300x200 gradient:white-yellow "$work/light.png"
start_program "$program"
sleep 1.5

click() { xdotool mousemove --window "$wid" "$1" "$2"; sleep 0.2; xdotool click 1; sleep 0.3; }
brightness() {
    convert "$work/$1" -crop "1x1+$2+$3" -depth 8 txt:- | tail -n 1 |
        sed -E 's/.*\(([0-9]+),([0-9]+),([0-9]+).*/\1 \2 \3/' | awk '{print int(($1+$2+$3)/3)}'
}
questions() { xdotool search --onlyvisible --name '^Vividra$' 2>/dev/null | grep -vx "$wid" | wc -l; }

click 120 42  # the "Background" tab
click 40 89   # " Black & White", with no picture loaded
xdotool key --window "$wid" ctrl+o
panel=$(timeout 10 xdotool search --sync --onlyvisible --name '^Open Photo$' | head -n 1) || true
[ -n "$panel" ] || { echo "Ctrl+O did not open the panel after an effect was ticked"; exit 1; }
sleep 0.5
xdotool windowactivate --sync "$panel" 2>/dev/null || true
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
for _ in $(seq 50); do [ "$(questions)" -ge 1 ] && break; sleep 0.1; done
[ "$(questions)" -eq 1 ] || { echo "quit did not ask"; exit 1; }
q=$(xdotool search --onlyvisible --name "^Vividra$" | grep -vx "$wid" | head -n 1)
xdotool windowactivate --sync "$q" 2>/dev/null || true
sleep 0.3
xdotool key Return
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then
    echo "still running after the answer: $(questions) question(s) open"
    exit 1
fi
wait "$pid" || { echo "program exited with an error"; cat "$work/err.log"; exit 1; }
if ls -d "$work"/tmp/vividra-* >/dev/null 2>&1; then echo "working folder left behind"; exit 1; fi
echo "open and quit test passed"
