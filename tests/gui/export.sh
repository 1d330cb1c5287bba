#!/usr/bin/env bash
# Paints a splash in the real program, exports it through the format window and the
# save panel as PNG, and checks the file: colour along the stroke, grey elsewhere.
set -euo pipefail
program=$1
source "$(dirname "$0")/session.bash"
start_display
convert -size 300x600 gradient:red-blue -rotate 90 -modulate 100,200 "$work/colours.png"
mkdir -p "$work/out"
start_program "$program" "$work/colours.png"
sleep 2

click() { xdotool mousemove --window "$wid" "$1" "$2"; sleep 0.2; xdotool click 1; sleep 0.3; }
click 120 42 # the "Background" tab
click 40 89  # " Black & White"
sleep 3
y=300
xdotool mousemove --window "$wid" 420 $y; sleep 0.2
xdotool mousedown 1
for x in $(seq 430 10 620); do xdotool mousemove --window "$wid" "$x" $y; sleep 0.02; done
xdotool mouseup 1
sleep 2

xdotool key --window "$wid" ctrl+e
format=$(timeout 20 xdotool search --sync --onlyvisible --name '^Output Format$' | head -n 1) || true
[ -n "$format" ] || { echo "no format window"; exit 1; }
sleep 0.5
xdotool key p Return # the list's first "P" entry is PNG; Return saves
panel=$(timeout 20 xdotool search --sync --onlyvisible --name '^Export Image$' | head -n 1) || true
[ -n "$panel" ] || { echo "no save panel"; exit 1; }
sleep 1
xdotool key ctrl+a
xdotool type --delay 60 "$work/out/splash.png"
sleep 0.5
xdotool key Return
for _ in $(seq 100); do [ -s "$work/out/splash.png" ] && break; sleep 0.1; done
sleep 1
xdotool key Return # "Image saved successfully."
sleep 0.5

status=0
[ -s "$work/out/splash.png" ] || { echo "no exported file"; ls -la "$work/out"; exit 1; }
read -r width height <<<"$(identify -format '%w %h' "$work/out/splash.png")"
[ "$width" = 600 ] && [ "$height" = 300 ] || { echo "exported at ${width}x$height"; status=1; }
# The box around every saturated pixel: a wide, low band is the stroke.
box=$(convert "$work/out/splash.png" -colorspace HSL -channel G -separate +channel \
    -threshold 20% -format '%@' info:)
read -r bw bh bx by <<<"$(sed -E 's/([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)/\1 \2 \3 \4/' <<<"$box")"
echo "coloured area: $box"
[ "$bw" -ge 150 ] || { echo "no colour along the stroke"; status=1; }
[ "$bh" -le 100 ] || { echo "colour far from the stroke"; status=1; }
[ "$bx" -gt 0 ] && [ $((bx + bw)) -lt "$width" ] || { echo "colour past the stroke's ends"; status=1; }
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$work/out/splash.png" "$VIVIDRA_SCREENSHOT"
xdotool key --window "$wid" ctrl+q
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
[ $status -eq 0 ] && echo "export test passed"
exit $status
