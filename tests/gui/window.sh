#!/usr/bin/env bash
# Starts the real program in a real X window, looks at its pixels, closes it
# through the window manager and checks that its working folder is gone.
set -euo pipefail
program=$1
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >"$work/wm.log" 2>&1 &
sleep 0.5

mkdir -p "$work/tmp" "$work/config"
export TMPDIR=$work/tmp XDG_CONFIG_HOME=$work/config VIVIDRA_INSTANCE=vividra-gui-test-$$
unset QT_QPA_PLATFORM
"$program" --no-such-option >"$work/out.log" 2>"$work/err.log" &
pid=$!

wid=$(timeout 60 xdotool search --sync --onlyvisible --name '^Vividra$' | head -n 1) || true
[ -n "$wid" ] || { echo "no window appeared"; cat "$work/err.log"; exit 1; }
sleep 1.5  # let the first frame paint

eval "$(xdotool getwindowgeometry --shell "$wid")"
echo "window $wid: ${WIDTH}x${HEIGHT}"
[ "$WIDTH" -eq 920 ] && [ "$HEIGHT" -eq 560 ] || { echo "unexpected window size"; exit 1; }
grep -q 'ignoring unknown option --no-such-option' "$work/err.log" || { echo "option not reported"; exit 1; }

ls -d "$work"/tmp/vividra-* >/dev/null || { echo "no working folder"; exit 1; }
import -window "$wid" "$work/shot.png"
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$work/shot.png" "$VIVIDRA_SCREENSHOT"
# A point of the window background between the panel and the picture area.
pixel=$(convert "$work/shot.png" -crop "1x1+315+$((HEIGHT - 6))" -depth 8 txt:- | tail -n 1)
echo "background pixel: $pixel"
echo "$pixel" | grep -qE '\((4[6-9]|5[0-6]),(4[6-9]|5[0-6]),(4[6-9]|5[0-6])[,)]' || { echo "background is not dark grey"; exit 1; }

wmctrl -i -c "$wid"
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then echo "program did not exit"; exit 1; fi
wait "$pid" || { echo "program exited with an error"; cat "$work/err.log"; exit 1; }
if ls -d "$work"/tmp/vividra-* >/dev/null 2>&1; then echo "working folder left behind"; exit 1; fi
echo "window test passed"
