#!/usr/bin/env bash
# Maximised, the picture fills the box; zoomed in, it covers it; a stroke lands under the pointer.
set -euo pipefail
program=$1
source "$(dirname "$0")/session.bash"
start_display
# Colourful, and close to the maximised box's shape, so zooming leaves no bands.
convert -size 1000x1200 gradient:red-blue -rotate 90 -modulate 100,200 "$work/colours.png"
start_program "$program" "$work/colours.png"
sleep 2

# The picture area along one line of a screenshot (a row or a column): the longest run
# of the box's own dark grey or of colour, as "first last dark-points".
run() {
    local file=$1 axis=$2 at=$3 crop
    if [ "$axis" = row ]; then crop="${width}x1+0+$at"; else crop="1x${height}+$at+0"; fi
    convert "$work/$file" -crop "$crop" -depth 8 txt:- | tail -n +2 |
        sed -E 's/^([0-9]+),([0-9]+): \(([0-9]+),([0-9]+),([0-9]+).*/\1 \2 \3 \4 \5/' |
        awk -v axis="$axis" '
            function done() {
                if (open && end - start > best) { best = end - start; bs = start; be = end; bd = d }
                open = 0
            }
            {
                i = axis == "row" ? $1 : $2
                lo = $3; hi = $3
                for (k = 4; k <= 5; k++) { if ($k < lo) lo = $k; if ($k > hi) hi = $k }
                dark = lo >= 33 && hi <= 43
                if (dark || hi - lo > 30) {
                    if (!open || i != end + 1) { done(); open = 1; start = i; d = 0 }
                    end = i; d += dark
                } else done()
            }
            END { done(); print bs, be, bd }'
}

wmctrl -i -r "$wid" -b add,maximized_vert,maximized_horz
sleep 3
read -r _ _ width height < <(xwininfo -id "$wid" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print 0, 0, w, h}')
import -window "$wid" "$work/fitted.png"

status=0
# The box: from the middle row and column of the picture area, right of the sidebar.
mid_y=$((height / 2))
mid_x=$(((width + 300) / 2))
read -r x0 x1 dark_row <<<"$(run fitted.png row $mid_y)"
read -r y0 y1 dark_col <<<"$(run fitted.png column $mid_x)"
echo "box $x0..$x1 x $y0..$y1, dark $dark_row across and $dark_col down"
[ $((x1 - x0)) -gt $((width / 2)) ] || { echo "the picture area did not grow"; status=1; }
[ "$dark_row" -le 2 ] || [ "$dark_col" -le 2 ] ||
    { echo "the picture does not fill the box in either dimension"; status=1; }

xdotool key --window "$wid" --delay 200 ctrl+equal ctrl+equal ctrl+equal
sleep 2.5
import -window "$wid" "$work/zoomed.png"
for line in "row $((y0 + 4))" "row $mid_y" "row $((y1 - 4))" "column $mid_x"; do
    read -r _ _ dark <<<"$(run zoomed.png $line)"
    [ "$dark" -le 2 ] || { echo "$line shows $dark points of bare box when zoomed"; status=1; }
done

click 120 42 # the "Background" tab
click 40 89  # " Black & White"
sleep 4
import -window "$wid" "$work/grey.png"
grey grey.png $mid_x $mid_y || { echo "the zoomed picture did not turn black and white"; status=1; }

# Paint across the middle of the box.
from=$((x0 + (x1 - x0) * 3 / 10))
to=$((x0 + (x1 - x0) * 6 / 10))
stroke $from 8 $to $mid_y
sleep 2
import -window "$wid" "$work/painted.png"
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$work/painted.png" "$VIVIDRA_SCREENSHOT"
for x in $((from + 10)) $(((from + to) / 2)) $((to - 10)); do
    grey painted.png "$x" $mid_y && { echo "no colour under the path at $x"; status=1; }
done
grey painted.png $(((from + to) / 2)) $((y0 + 10)) || { echo "colour far from the path"; status=1; }
grey painted.png $((to + 80)) $mid_y || { echo "colour past the end of the path"; status=1; }

quit
[ $status -eq 0 ] && echo "zoom test passed"
exit $status
