#!/usr/bin/env bash
# Select Subject: after the button, a box dragged around a violet figure with an orange head
# brings both colours back while the background, orange blobs included, stays grey; Ctrl+Z
# takes the selection back.
set -euo pipefail
program=$1
source "$(dirname "$0")/session.bash"
start_display
convert -size 600x400 xc:'rgb(90,110,120)' -fill 'rgb(235,130,30)' \
    -draw 'circle 90,90 90,115' -draw 'circle 510,310 510,335' -draw 'circle 120,330 120,355' \
    -fill 'rgb(120,50,170)' -draw 'ellipse 300,245 75,110 0,360' \
    -fill 'rgb(235,130,30)' -draw 'circle 300,110 300,160' "$work/figure.png"
start_program "$program" "$work/figure.png"
sleep 2
click 120 42 # the "Background" tab
click 40 89  # " Black & White"
sleep 2
click 40 42 # the "Brush" tab
sleep 0.5
import -window "$wid" "$work/brush.png"
click 160 490 # "Select Subject", below the Falloff slider
sleep 0.5
# The fitted picture fills 586 × 390 window pixels from (322, 112).
at() { echo $((322 + $1 * 586 / 600)) $((112 + $2 * 390 / 400)); }
read -r x y <<<"$(at 200 40)"
xdotool mousemove --window "$wid" "$x" "$y"; sleep 0.2
xdotool mousedown 1
for s in $(seq 0 10 100); do
    read -r x y <<<"$(at $((200 + 2 * s)) $((40 + 33 * s / 10)))"
    xdotool mousemove --window "$wid" "$x" "$y"; sleep 0.02
done
xdotool mouseup 1
sleep 4
import -window "$wid" "$work/selected.png"
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$work/selected.png" "$VIVIDRA_SCREENSHOT"
status=0
grey brush.png $(at 300 250) || { echo "the background did not turn black and white"; status=1; }
grey selected.png $(at 300 250) && { echo "the figure's body is grey"; status=1; }
grey selected.png $(at 300 100) && { echo "the figure's head is grey"; status=1; }
grey selected.png $(at 300 340) && { echo "the figure's feet are grey"; status=1; }
grey selected.png $(at 180 250) || { echo "colour left of the figure"; status=1; }
grey selected.png $(at 90 90) || { echo "an orange blob outside the box has colour"; status=1; }
grey selected.png $(at 510 310) || { echo "an orange blob beside the figure has colour"; status=1; }
xdotool key --window "$wid" ctrl+z
sleep 2
import -window "$wid" "$work/undone.png"
grey undone.png $(at 300 250) || { echo "undo left the selection"; status=1; }
quit
exit $status
