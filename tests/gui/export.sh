#!/usr/bin/env bash
# Paints a splash in the real program, exports it through the format window and the
# save dialog as PNG, and checks the file: colour along the stroke, grey elsewhere.
set -euo pipefail
program=$1
source "$(dirname "$0")/session.bash"
start_display
convert -size 300x600 gradient:red-blue -rotate 90 -modulate 100,200 "$work/colours.png"
mkdir -p "$work/out" "$work/config/Vividra"
# The save dialog opens in the output folder with the suggested name; no typing needed.
printf '[General]\nSaveImagePath=%s\n' "$work/out" >"$work/config/Vividra/Vividra.conf"
out=$work/out/colours_edited.PNG
start_program "$program" "$work/colours.png"
sleep 2

click 120 42 # the "Background" tab
click 40 89  # " Black & White"
sleep 3
y=300
stroke 420 10 620 $y
sleep 2

xdotool key --window "$wid" ctrl+e
format=$(timeout 20 xdotool search --sync --onlyvisible --name '^Output Format$' | head -n 1) || true
[ -n "$format" ] || { echo "no format window"; exit 1; }
# The list's first "P" entry is PNG; Return saves. Keys sent before the window has
# the focus are lost, so it is given the focus and time first.
xdotool windowactivate --sync "$format" 2>/dev/null || xdotool windowfocus --sync "$format" || true
sleep 1
xdotool key p
sleep 0.7
xdotool key Return
dialog=$(timeout 20 xdotool search --sync --onlyvisible --name '^Export Image$' | head -n 1) || true
[ -n "$dialog" ] || { echo "no save dialog"; exit 1; }
sleep 2
xdotool key Return
for _ in $(seq 300); do [ -s "$out" ] && break; sleep 0.1; done
sleep 1
xdotool key Return # "Image saved successfully."
sleep 0.5

status=0
[ -s "$out" ] || { echo "no exported file"; ls -la "$work/out"; exit 1; }
read -r width height <<<"$(identify -format '%w %h' "$out")"
[ "$width" = 600 ] && [ "$height" = 300 ] || { echo "exported at ${width}x$height"; status=1; }
# The box around every saturated pixel: a wide, low band is the stroke.
box=$(convert "$out" -colorspace HSL -channel G -separate +channel \
    -threshold 20% -format '%@' info:)
read -r bw bh bx by <<<"$(sed -E 's/([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)/\1 \2 \3 \4/' <<<"$box")"
echo "coloured area: $box"
[ "$bw" -ge 150 ] || { echo "no colour along the stroke"; status=1; }
[ "$bh" -le 100 ] || { echo "colour far from the stroke"; status=1; }
[ "$bx" -gt 0 ] && [ $((bx + bw)) -lt "$width" ] || { echo "colour past the stroke's ends"; status=1; }
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$out" "$VIVIDRA_SCREENSHOT"
quit
[ $status -eq 0 ] && echo "export test passed"
exit $status
