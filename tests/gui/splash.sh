#!/usr/bin/env bash
# One mouse stroke reveals colour only along itself; exported through the format window and the
# save dialog as PNG, the file has colour along the stroke and grey elsewhere; Ctrl+Z,
# Ctrl+Shift+Z and Ctrl+Y undo and redo it. Then Keep a Color: one click keeps a red disc while the
# field turns grey, and Ctrl+Z undoes it. The photo is in Adobe RGB: the screen shows the colours
# of its sRGB original, and the export carries the profile through which ImageMagick sees them.
set -euo pipefail
program=$1
source "$(dirname "$0")/session.bash"
start_display
icc=/usr/share/color/icc/ghostscript
convert -size 600x400 xc:'rgb(40,160,50)' -fill 'rgb(210,30,25)' -draw 'circle 300,200 300,80' \
    -profile "$icc/srgb.icc" -profile "$icc/a98.icc" "$work/disc.png"
mkdir -p "$work/out" "$work/config/Vividra"
# The save dialog opens in the output folder with the suggested name; no typing needed.
printf '[General]\nSaveImagePath=%s\n' "$work/out" >"$work/config/Vividra/Vividra.conf"
out=$work/out/disc_edited.PNG
start_program "$program" "$work/disc.png"
sleep 2
import -window "$wid" "$work/opened.png"

# near "R G B" "R G B" TOLERANCE
near() {
    local r g b wr wg wb d
    read -r r g b <<<"$1"; read -r wr wg wb <<<"$2"
    for d in $((r - wr)) $((g - wg)) $((b - wb)); do [ "${d#-}" -le "$3" ] || return 1; done
}
stored=$(pixel disc.png 300 240)
echo "disc on screen: $(pixel opened.png 615 347) (sRGB original 210 30 25, stored $stored)"
near "$(pixel opened.png 615 347)" "210 30 25" 4 || { echo "the disc is not shown in its colours"; exit 1; }
near "$stored" "210 30 25" 4 && { echo "the stored values are sRGB's: nothing tested"; exit 1; }

click 120 42  # the "Background" tab
click 40 89   # " Black & White"
sleep 3
import -window "$wid" "$work/before.png"

status=0
# The picture area is right of the sidebar; paint across its middle.
y=300
stroke 500 10 760 $y
sleep 2
import -window "$wid" "$work/after.png"
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$work/after.png" "$VIVIDRA_SCREENSHOT"
grey before.png 620 $y || { echo "background did not turn black and white"; status=1; }
grey after.png 620 $y && { echo "no colour along the stroke"; status=1; }
grey after.png 700 $((y + 4)) && { echo "no colour inside the brush width"; status=1; }
grey after.png 620 $((y + 60)) || { echo "colour far from the stroke"; status=1; }
grey after.png 850 $y || { echo "colour past the end of the stroke"; status=1; }

# Exported before the undo keys, after which the format window's list misses the typed key.
xdotool key --window "$wid" ctrl+e
format=$(timeout 20 xdotool search --sync --onlyvisible --name '^Output Format$' | head -n 1) || true
[ -n "$format" ] || { echo "no format window"; exit 1; }
# The list's first "P" entry is PNG; Return saves. Keys sent before the window has
# the focus are lost, so it is given the focus and time first.
xdotool windowactivate --sync "$format" 2>/dev/null || xdotool windowfocus --sync "$format" || true
sleep 1
xdotool key --delay 700 p Return
dialog=$(timeout 20 xdotool search --sync --onlyvisible --name '^Export Image$' | head -n 1) || true
[ -n "$dialog" ] || { echo "no save dialog"; exit 1; }
sleep 2
xdotool key Return
for _ in $(seq 300); do [ -s "$out" ] && break; sleep 0.1; done
sleep 1
xdotool key Return; sleep 0.5 # "Image saved successfully."

[ -s "$out" ] || { echo "no exported file"; ls -la "$work/out"; exit 1; }
read -r width height <<<"$(identify -format '%w %h' "$out")"
[ "$width" = 600 ] && [ "$height" = 400 ] || { echo "exported at ${width}x$height"; status=1; }
identify -verbose "$out" | grep -q 'icc:description: .*A98' || { echo "the export has no profile"; status=1; }
exported=$(pixel out/disc_edited.PNG 300 195 -profile "$icc/srgb.icc")
near "$exported" "210 30 25" 4 || { echo "the export's disc is $exported through its profile"; status=1; }
# The box around every saturated pixel: a wide, low band is the stroke.
read -r bw bh bx by <<<"$(convert "$out" -colorspace HSL -channel G -separate +channel \
    -threshold 20% -format '%@' info: | tr 'x+' '  ')"
echo "coloured area: ${bw}x$bh+$bx+$by"
[ "$bw" -ge 150 ] || { echo "no colour along the exported stroke"; status=1; }
[ "$bh" -le 100 ] || { echo "exported colour far from the stroke"; status=1; }
[ "$bx" -gt 0 ] && [ $((bx + bw)) -lt "$width" ] || { echo "exported colour past the stroke's ends"; status=1; }

# Each key, then where along the stroke and whether the colour is there after it.
for step in ctrl+z:620:grey ctrl+shift+z:620:colour ctrl+z:700:grey ctrl+y:700:colour; do
    IFS=: read -r key x want <<<"$step"
    xdotool key --window "$wid" "$key"; sleep 2; import -window "$wid" "$work/$key.png"
    if grey "$key.png" "$x" $y; then seen=grey; else seen=colour; fi
    [ $seen = "$want" ] || { echo "after $key the stroke at $x is $seen"; status=1; }
done

red() { read -r r g b <<<"$(pixel "$@")"; [ "$r" -ge 180 ] && [ "$g" -le 60 ] && [ "$b" -le 60 ]; }
click 33 42  # back to the "Brush" tab
click 30 275 # " Keep a Color": the next click picks
# The picture is fitted in the box right of the sidebar; its middle is the disc's. The disc
# is checked below the stroke.
cx=615 cy=307
click $cx $cy
sleep 3
import -window "$wid" "$work/kept.png"
red kept.png $cx $((cy + 40)) || { echo "the disc is not red: $(pixel kept.png $cx $((cy + 40)))"; status=1; }
red kept.png $((cx + 90)) $((cy + 30)) || { echo "the disc's edge is not red"; status=1; }
grey kept.png $((cx - 250)) $((cy - 150)) || { echo "the field kept its colour"; status=1; }
grey kept.png $((cx + 200)) $cy || { echo "the field beside the disc kept its colour"; status=1; }
xdotool key --window "$wid" ctrl+z; sleep 2; import -window "$wid" "$work/unkept.png"
grey unkept.png $cx $((cy + 40)) || { echo "Ctrl+Z left the disc red"; status=1; }

quit
[ $status -eq 0 ] && echo "splash and export test passed"
exit $status
