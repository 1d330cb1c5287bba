#!/usr/bin/env bash
# Opens a 24-megapixel photo in the real program and clicks an effect: the box must
# show the effect's preview long before the full-size picture could have been made.
# Prints how long the first picture and the preview took to appear on screen; only that
# they appear at all is checked, since the times depend on the machine and the sanitizers.
set -euo pipefail
program=$1
watch=$4
source "$(dirname "$0")/session.bash"
start_display
convert -size 4000x6000 gradient:red-blue -rotate 90 -modulate 100,200 -quality 90 \
    "$work/big.jpg"
started=$(date +%s%N)
start_program "$program" "$work/big.jpg"

# The picture area is right of the sidebar.
x=620 y=300
"$watch" "$wid" $x $y 60000 colour >/dev/null || { echo "the photo never appeared"; exit 1; }
echo "first picture on screen $((($(date +%s%N) - started) / 1000000)) ms after the launch"
# Let the full-size layers finish, so the click below starts from an idle editor.
sleep 8

xdotool mousemove --window "$wid" 120 42 click 1 # the "Background" tab
sleep 1
xdotool mousemove --window "$wid" 40 89
sleep 0.3
# Clicks " Black & White" and times it.
shown=$("$watch" "$wid" $x $y 60000 grey click) || { echo "the effect never showed"; exit 1; }
echo "effect on screen ${shown} ms after the click"

# The full-size rendering that replaces the preview keeps the picture black and white.
sleep 8
"$watch" "$wid" $x $y 2000 grey >/dev/null || { echo "the full-size picture lost the effect"; exit 1; }
quit
echo "preview test passed"
