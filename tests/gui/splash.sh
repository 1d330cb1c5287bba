#!/usr/bin/env bash
# One mouse stroke reveals colour only along itself; Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y undo and redo it.
set -euo pipefail
program=$1
source "$(dirname "$0")/session.bash"
start_display
# A colourful picture: a hue sweep from left to right.
convert -size 300x600 gradient:red-blue -rotate 90 -modulate 100,200 "$work/colours.png"
start_program "$program" "$work/colours.png"
sleep 2


click 120 42  # the "Background" tab
click 40 89   # " Black & White"
sleep 3
import -window "$wid" "$work/before.png"

# The picture area is right of the sidebar; paint across its middle.
y=300
stroke 500 10 760 $y
sleep 2
import -window "$wid" "$work/after.png"
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$work/after.png" "$VIVIDRA_SCREENSHOT"

status=0
grey before.png 620 $y || { echo "background did not turn black and white"; status=1; }
grey after.png 620 $y && { echo "no colour along the stroke"; status=1; }
grey after.png 700 $((y + 4)) && { echo "no colour inside the brush width"; status=1; }
grey after.png 620 $((y + 60)) || { echo "colour far from the stroke"; status=1; }
grey after.png 850 $y || { echo "colour past the end of the stroke"; status=1; }

shot() { xdotool key --window "$wid" "$1"; sleep 2; import -window "$wid" "$work/$2"; }
shot ctrl+z undone.png
shot ctrl+shift+z redone.png
shot ctrl+z undone-again.png
shot ctrl+y redone-again.png
grey undone.png 620 $y || { echo "Ctrl+Z left the stroke's colour"; status=1; }
grey redone.png 620 $y && { echo "Ctrl+Shift+Z did not bring the stroke back"; status=1; }
grey undone-again.png 700 $y || { echo "the second Ctrl+Z left the stroke's colour"; status=1; }
grey redone-again.png 700 $y && { echo "Ctrl+Y did not bring the stroke back"; status=1; }
quit
[ $status -eq 0 ] && echo "splash test passed"
exit $status
