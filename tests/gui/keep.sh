#!/usr/bin/env bash
# Keep a Color in the real program: one click keeps a red disc while the field turns grey; Ctrl+Z undoes it.
set -euo pipefail
program=$1
source "$(dirname "$0")/session.bash"
start_display
convert -size 600x400 xc:'rgb(40,160,50)' -fill 'rgb(210,30,25)' \
    -draw 'circle 300,200 300,80' "$work/disc.png"
start_program "$program" "$work/disc.png"
sleep 2

red() { read -r r g b <<<"$(pixel "$@")"; [ "$r" -ge 180 ] && [ "$g" -le 60 ] && [ "$b" -le 60 ]; }

click 120 42 # the "Background" tab
click 40 89  # " Black & White"
sleep 3
click 33 42  # back to the "Brush" tab
click 30 275 # " Keep a Color": the next click picks
# The picture is fitted in the box right of the sidebar; its middle is the disc's.
cx=615 cy=307
click $cx $cy
sleep 3
import -window "$wid" "$work/kept.png"
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$work/kept.png" "$VIVIDRA_SCREENSHOT"

status=0
red kept.png $cx $cy || { echo "the disc is not red: $(pixel kept.png $cx $cy)"; status=1; }
red kept.png $((cx + 90)) $((cy + 30)) || { echo "the disc's edge is not red"; status=1; }
grey kept.png $((cx - 250)) $((cy - 150)) || { echo "the field kept its colour"; status=1; }
grey kept.png $((cx + 200)) $cy || { echo "the field beside the disc kept its colour"; status=1; }

xdotool key --window "$wid" ctrl+z
sleep 2
import -window "$wid" "$work/undone.png"
grey undone.png $cx $cy || { echo "Ctrl+Z left the disc red"; status=1; }

quit
[ $status -eq 0 ] && echo "keep test passed"
exit $status
