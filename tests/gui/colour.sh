#!/usr/bin/env bash
# A photo in Adobe RGB shows on screen in the colours of its sRGB original, not the duller ones
# its values would give read as sRGB; exported as PNG it carries its profile, and ImageMagick,
# converting through that profile, sees the same colours again.
set -euo pipefail
program=$1
source "$(dirname "$0")/session.bash"
start_display
icc=/usr/share/color/icc/ghostscript
convert -size 600x400 xc:'rgb(40,150,60)' -fill 'rgb(200,40,30)' \
    -draw 'circle 300,200 300,80' "$work/srgb.png"
convert "$work/srgb.png" -profile "$icc/srgb.icc" -profile "$icc/a98.icc" "$work/wide.png"
mkdir -p "$work/out" "$work/config/Vividra"
printf '[General]\nSaveImagePath=%s\n' "$work/out" >"$work/config/Vividra/Vividra.conf"
out=$work/out/wide_edited.PNG
start_program "$program" "$work/wide.png"
sleep 3
import -window "$wid" "$work/shown.png"
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$work/shown.png" "$VIVIDRA_SCREENSHOT"

status=0
# near "R G B" "R G B" TOLERANCE
near() {
    read -r a b c <<<"$1"; read -r x y z <<<"$2"
    for d in $((a - x)) $((b - y)) $((c - z)); do [ "${d#-}" -le "$3" ] || return 1; done
}
# The disc's middle, in the picture fitted right of the sidebar, and the field beside it.
shown_disc=$(pixel shown.png 615 347) shown_field=$(pixel shown.png 420 200)
raw_disc=$(convert "$work/wide.png" -crop 1x1+300+240 -depth 8 txt:- | tail -n 1 |
    sed -E 's/.*\(([0-9]+),([0-9]+),([0-9]+).*/\1 \2 \3/')
echo "disc on screen: $shown_disc (sRGB original 200 40 30, raw values $raw_disc); field $shown_field"
near "$shown_disc" "200 40 30" 4 || { echo "the disc is not shown in its colours"; status=1; }
near "$shown_field" "40 150 60" 4 || { echo "the field is not shown in its colours"; status=1; }
near "$raw_disc" "200 40 30" 4 && { echo "the raw values are no different: nothing tested"; status=1; }

xdotool key --window "$wid" ctrl+e
format=$(timeout 20 xdotool search --sync --onlyvisible --name '^Output Format$' | head -n 1) || true
[ -n "$format" ] || { echo "no format window"; exit 1; }
xdotool windowactivate --sync "$format" 2>/dev/null || xdotool windowfocus --sync "$format" || true
sleep 1
xdotool key p # PNG
sleep 0.7
xdotool key Return
dialog=$(timeout 20 xdotool search --sync --onlyvisible --name '^Export Image$' | head -n 1) || true
[ -n "$dialog" ] || { echo "no save dialog"; exit 1; }
sleep 2
xdotool key Return
for _ in $(seq 300); do [ -s "$out" ] && break; sleep 0.1; done
sleep 1
xdotool key Return # "Image saved successfully."
[ -s "$out" ] || { echo "no exported file"; exit 1; }

identify -verbose "$out" | grep -q 'icc:description: .*A98' || { echo "the export has no profile"; status=1; }
exported=$(convert "$out" -profile "$icc/srgb.icc" -crop 1x1+300+240 -depth 8 txt:- | tail -n 1 |
    sed -E 's/.*\(([0-9]+),([0-9]+),([0-9]+).*/\1 \2 \3/')
echo "exported disc through its profile: $exported"
near "$exported" "200 40 30" 4 || { echo "the export does not show the disc's colours"; status=1; }
quit
[ $status -eq 0 ] && echo "colour test passed"
exit $status
