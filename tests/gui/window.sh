#!/usr/bin/env bash
# Starts the real program in a real X window and looks at its pixels: the window's size and
# background, and the check box and tab titles set at their sizes in points in the typeface
# that stands in for Futura. An effect ticked before any picture does not block Ctrl+O; closing
# through the window manager with unsaved changes asks once, and the working folder goes. Then
# the program is started where its working folder cannot be made.
set -euo pipefail
program=$1
probe=${3:?the title font probe}
source "$(dirname "$0")/session.bash"
start_display
convert -size 300x200 gradient:white-yellow "$work/light.png"
start_program "$program" --no-such-option
sleep 2 # let the first frame paint

eval "$(xdotool getwindowgeometry --shell "$wid")"
echo "window $wid: ${WIDTH}x${HEIGHT}"
[ "$WIDTH" -eq 920 ] && [ "$HEIGHT" -eq 560 ] || { echo "unexpected window size"; exit 1; }
grep -q 'ignoring unknown option --no-such-option' "$work/err.log" || { echo "option not reported"; exit 1; }
ls -d "$work"/tmp/vividra-* >/dev/null || { echo "no working folder"; exit 1; }
import -window "$wid" "$work/shot.png"
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$work/shot.png" "$VIVIDRA_SCREENSHOT"

status=0
# A point of the window background between the sidebar and the picture area.
pixel=$(convert "$work/shot.png" -crop "1x1+315+$((HEIGHT - 6))" -depth 8 txt:- | tail -n 1)
echo "background pixel: $pixel"
echo "$pixel" | grep -qE '\((4[6-9]|5[0-6]),(4[6-9]|5[0-6]),(4[6-9]|5[0-6])[,)]' || { echo "background is not dark grey"; status=1; }

# Width and height of the light ink inside a part of the screenshot.
ink() {
    convert "$work/shot.png" -crop "$1" +repage -colorspace gray -threshold 55% -format '%@' info: |
        sed -E 's/^([0-9]+)x([0-9]+).*/\1 \2/'
}
near() { [ $(($1 > $2 ? $1 - $2 : $2 - $1)) -le "$3" ]; }
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

click 120 42 # the "Background" tab
click 40 89  # " Black & White", with no picture loaded
xdotool key --window "$wid" ctrl+o
dialog=$(timeout 10 xdotool search --sync --onlyvisible --name '^Open Photo$' | head -n 1) || true
[ -n "$dialog" ] || { echo "Ctrl+O did not open the dialog after an effect was ticked"; exit 1; }
sleep 0.5
xdotool windowactivate --sync "$dialog" 2>/dev/null || true
xdotool type --delay 20 "$work/light.png"
sleep 0.3
xdotool key Return
sleep 3
import -window "$wid" "$work/opened.png"
[ "$(brightness opened.png 620 280)" -gt 150 ] || { echo "the picture did not appear"; exit 1; }

wmctrl -i -c "$wid"
answer "closing with unsaved changes" # "Yes"
ended_cleanly

# Where the working folder cannot be made (the temporary folder lies below a plain file, which
# stops root too), it says so once, still opens the picture it was given, and quits cleanly. The
# picture is another, so no offer to continue the last one comes up.
: >"$work/plain"
convert -size 320x200 gradient:white-yellow "$work/other.png"
program_tmp=$work/plain/tmp start_program "$program" "$work/other.png"
answer "the notice about the temporary folder"
for _ in $(seq 50); do [ "$(others)" -eq 0 ] && break; sleep 0.1; done
[ "$(others)" -eq 0 ] || { echo "the notice did not go away"; exit 1; }
sleep 3
import -window "$wid" "$work/opened.png"
[ "$(brightness opened.png 620 280)" -gt 150 ] || { echo "the picture did not appear"; exit 1; }
[ "$(others)" -eq 0 ] || { echo "told more than once"; exit 1; }
quit
ended_cleanly
[ $status -eq 0 ] && echo "window test passed"
exit $status
