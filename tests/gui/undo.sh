#!/usr/bin/env bash
# Paints one stroke over a black and white background in the real program, then checks
# from screenshots that Ctrl+Z takes its colour away and Ctrl+Shift+Z brings it back.
set -euo pipefail
program=$1
source "$(dirname "$0")/session.bash"
start_display
convert -size 300x600 gradient:red-blue -rotate 90 -modulate 100,200 "$work/colours.png"
start_program "$program" "$work/colours.png"
sleep 2

click() { xdotool mousemove --window "$wid" "$1" "$2"; sleep 0.2; xdotool click 1; sleep 0.3; }
pixel() { convert "$work/$1" -crop "1x1+$2+$3" -depth 8 txt:- | tail -n 1 | sed -E 's/.*\(([0-9]+),([0-9]+),([0-9]+).*/\1 \2 \3/'; }
grey() { read -r r g b <<<"$(pixel "$@")"; [ $((r > g ? r - g : g - r)) -le 6 ] && [ $((g > b ? g - b : b - g)) -le 6 ]; }
shot() { sleep 2; import -window "$wid" "$work/$1"; }

click 120 42  # the "Background" tab
click 40 89   # " Black & White"
sleep 3

y=300
xdotool mousemove --window "$wid" 500 $y; sleep 0.2
xdotool mousedown 1
for x in $(seq 510 10 760); do xdotool mousemove --window "$wid" "$x" $y; sleep 0.02; done
xdotool mouseup 1
shot painted.png
xdotool key --window "$wid" ctrl+z
shot undone.png
xdotool key --window "$wid" ctrl+shift+z
shot redone.png
xdotool key --window "$wid" ctrl+z
shot undone-again.png
xdotool key --window "$wid" ctrl+y
shot redone-again.png

status=0
grey painted.png 620 $y && { echo "no colour along the stroke"; status=1; }
grey undone.png 620 $y || { echo "Ctrl+Z left the stroke's colour"; status=1; }
grey undone.png 620 $((y + 60)) || { echo "Ctrl+Z brought colour elsewhere"; status=1; }
grey redone.png 620 $y && { echo "Ctrl+Shift+Z did not bring the stroke back"; status=1; }
grey undone-again.png 700 $y || { echo "the second Ctrl+Z left the stroke's colour"; status=1; }
grey redone-again.png 700 $y && { echo "Ctrl+Y did not bring the stroke back"; status=1; }
xdotool key --window "$wid" ctrl+q
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
[ $status -eq 0 ] && echo "undo test passed"
exit $status
