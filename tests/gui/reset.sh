#!/usr/bin/env bash
# Opens a 24-megapixel photo in the real program and clicks an effect: the box must show the
# effect's preview long before the full-size picture could have been made, and the full-size
# picture keeps it. Prints how long the first picture and the preview took to appear on screen;
# only that they appear at all is checked, since the times depend on the machine and the
# sanitizers. Resetting the picture then shows no stroke or shape while it is taken in again,
# and brings the colours back.
set -euo pipefail
program=$1
watch=$4
source "$(dirname "$0")/session.bash"
start_display
# Large enough that taking it in again outlasts a screenshot; blue and green only, never red.
convert -size 6000x4000 gradient:navy-teal -rotate 90 -quality 90 "$work/big.jpg"
started=$(date +%s%N)
start_program "$program" "$work/big.jpg"
eval "$(xdotool getwindowgeometry --shell "$wid")"

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

xdotool key --window "$wid" ctrl+shift+r
answer "the reset asked nothing" # "Yes"
for _ in $(seq 100); do alerts | grep -qx "$alert" || break; sleep 0.02; done
import -window "$wid" "$work/during.png"
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$work/during.png" "$VIVIDRA_SCREENSHOT"

status=0
# A slow build takes its time over taking the picture in again.
"$watch" "$wid" $x $y 60000 colour >/dev/null || { echo "the reset kept the black and white background"; status=1; }
# Pixels of the image area (right of the sidebar, below the preview switch) close to pure red.
red=$(convert "$work/during.png" -crop "$((WIDTH - 320))x$((HEIGHT - 70))+315+65" +repage -fuzz 30% \
    -fill black +opaque red -fill white -opaque red -format '%[fx:round(mean*w*h)]' info:)
echo "red pixels in the image area during the reset: $red"
[ "$red" -eq 0 ] || { echo "a red shape showed while the picture was taken in again"; status=1; }
kill "$pid"
[ $status -eq 0 ] && echo "preview and reset test passed"
exit $status
