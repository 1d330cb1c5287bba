#!/usr/bin/env bash
# Resetting the picture shows no stroke or shape while it is taken in again, then brings the colours back.
set -euo pipefail
program=$1
source "$(dirname "$0")/session.bash"
start_display
# Large enough that taking it in again outlasts a screenshot; blue and green only, never red.
convert -size 5000x3600 gradient:navy-teal -rotate 90 "$work/cool.png"
start_program "$program" "$work/cool.png"

# Pixels of the image area (right of the sidebar, below the preview switch) close to pure red.
red_pixels() {
    convert "$work/$1" -crop "$((WIDTH - 320))x$((HEIGHT - 70))+315+65" +repage -fuzz 30% \
        -fill black +opaque red -fill white -opaque red -format '%[fx:round(mean*w*h)]' info:
}

# Takes screenshots into FILE until the test holds, for up to 60 s: a slow build takes its time.
shoot_until() { # FILE TEST...
    local file=$1
    shift
    for _ in $(seq 120); do
        import -window "$wid" "$work/$file"
        "$@" && return 0
        sleep 0.5
    done
    return 1
}
coloured() { ! grey "$@"; }

eval "$(xdotool getwindowgeometry --shell "$wid")"
shoot_until open.png coloured open.png 620 300 || { echo "the picture did not show"; exit 1; }
click 120 42  # the "Background" tab
click 40 89   # " Black & White"
shoot_until grey.png grey grey.png 620 300 || { echo "background did not turn black and white"; exit 1; }

xdotool key --window "$wid" ctrl+shift+r
# The question is a second window of ours, titled like the main one; Return answers its default "Yes".
alert=""
for _ in $(seq 100); do
    alert=$(xdotool search --onlyvisible --name '^Vividra$' | grep -vx "$wid" | head -n 1) || true
    [ -n "$alert" ] && break
    sleep 0.1
done
[ -n "$alert" ] || { echo "the reset asked nothing"; exit 1; }
sleep 0.5
xdotool key Return
for _ in $(seq 100); do
    xdotool search --onlyvisible --name '^Vividra$' | grep -qx "$alert" || break
    sleep 0.02
done
import -window "$wid" "$work/during.png"
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$work/during.png" "$VIVIDRA_SCREENSHOT"

status=0
shoot_until after.png coloured after.png 620 300 || { echo "the reset kept the black and white background"; status=1; }
red=$(red_pixels during.png)
echo "red pixels in the image area during the reset: $red"
[ "$red" -eq 0 ] || { echo "a red shape showed while the picture was taken in again"; status=1; }
kill "$pid"
[ $status -eq 0 ] && echo "reset test passed"
exit $status
