#!/usr/bin/env bash
# Starts the real program in a real X window, looks at its pixels, closes it
# through the window manager and checks that its working folder is gone.
set -euo pipefail
program=$1
source "$(dirname "$0")/session.bash"
start_display
start_program "$program" --no-such-option
sleep 1.5  # let the first frame paint

eval "$(xdotool getwindowgeometry --shell "$wid")"
echo "window $wid: ${WIDTH}x${HEIGHT}"
[ "$WIDTH" -eq 920 ] && [ "$HEIGHT" -eq 560 ] || { echo "unexpected window size"; exit 1; }
grep -q 'ignoring unknown option --no-such-option' "$work/err.log" || { echo "option not reported"; exit 1; }

ls -d "$work"/tmp/vividra-* >/dev/null || { echo "no working folder"; exit 1; }
import -window "$wid" "$work/shot.png"
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$work/shot.png" "$VIVIDRA_SCREENSHOT"
# A point of the window background between the sidebar and the picture area.
pixel=$(convert "$work/shot.png" -crop "1x1+315+$((HEIGHT - 6))" -depth 8 txt:- | tail -n 1)
echo "background pixel: $pixel"
echo "$pixel" | grep -qE '\((4[6-9]|5[0-6]),(4[6-9]|5[0-6]),(4[6-9]|5[0-6])[,)]' || { echo "background is not dark grey"; exit 1; }

wmctrl -i -c "$wid"
ended_cleanly
echo "window test passed"
