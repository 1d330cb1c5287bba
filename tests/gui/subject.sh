#!/usr/bin/env bash
# Select Subject: after the button, a box dragged around a violet figure with an orange head
# brings both colours back while the background, orange blobs included, stays grey.
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
click 160 490 # "Select Subject", below the Falloff slider
sleep 0.5
# The fitted picture fills 586 × 390 window pixels from (322, 112).
at() { echo $((322 + $1 * 586 / 600)) $((112 + $2 * 390 / 400)); }
read -r x0 y0 <<<"$(at 200 40)"
read -r x1 y1 <<<"$(at 400 370)"
xdotool mousemove --window "$wid" "$x0" "$y0" sleep 0.2 mousedown 1 sleep 0.1 \
    mousemove --window "$wid" "$x1" "$y1" sleep 0.2 mouseup 1
sleep 4
import -window "$wid" "$work/selected.png"
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$work/selected.png" "$VIVIDRA_SCREENSHOT"
status=0
grey selected.png $(at 300 250) && { echo "the figure's body is grey"; status=1; }
grey selected.png $(at 300 100) && { echo "the figure's head is grey"; status=1; }
grey selected.png $(at 90 90) || { echo "an orange blob outside the box has colour"; status=1; }
grey selected.png $(at 510 310) || { echo "an orange blob beside the figure has colour"; status=1; }
quit
exit $status
