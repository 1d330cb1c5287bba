#!/usr/bin/env bash
# Checks from a screenshot of the real program that the titles of the check boxes and of the
# tab switch are set at their sizes in points, in the typeface that stands in for Futura: the
# ink of " Custom Color" and of "Brush" must measure what the same text measures in that face at
# 13 and at 12 points on this display.
set -euo pipefail
program=$1
probe=${3:?the title font probe}
source "$(dirname "$0")/session.bash"
start_display
start_program "$program"
sleep 2
import -window "$wid" "$work/shot.png"
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$work/shot.png" "$VIVIDRA_SCREENSHOT"

# Width and height of the light ink inside a part of the screenshot.
ink() {
    convert "$work/shot.png" -crop "$1" +repage -colorspace gray -threshold 55% -format '%@' info: |
        sed -E 's/^([0-9]+)x([0-9]+).*/\1 \2/'
}
near() { [ $(($1 > $2 ? $1 - $2 : $2 - $1)) -le "$3" ]; }

status=0
check() { # NAME POINTS TEXT CROP
    local w h ew eh out
    read -r w h <<<"$(ink "$4")"
    # The probe prints the family it found, then the width and height of the text's ink.
    out=$("$probe" "$2" "$3" 2>/dev/null)
    family=$(head -n 1 <<<"$out")
    read -r ew eh <<<"$(tail -n 1 <<<"$out")"
    echo "$1: ${w}x${h} drawn, ${ew}x${eh} expected in $family at $2 pt"
    near "$h" "$eh" 1 || { echo "$1 is not $2 points high"; status=1; }
    near "$w" "$ew" 3 || { echo "$1 is not as wide as $3 in $family at $2 pt"; status=1; }
}
# The Brush tab is open: its first check box's title, right of the box and left of the colour
# button; and the selected segment of the tab switch at the top left.
check "check box title" 13 "Custom Color" 210x46+38+126
check "tab switch title" 12 "Brush" 44x24+12+30

# Debian has no Futura; the geometric sans it ships comes before the plainer fallbacks.
if ! fc-list : family | grep -qi '^futura'; then
    [[ $family == "URW Gothic"* ]] || { echo "titles fall back to $family, not URW Gothic"; status=1; }
fi
kill "$pid"
[ $status -eq 0 ] && echo "titles test passed"
exit $status
