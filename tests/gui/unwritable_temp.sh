#!/usr/bin/env bash
# Starts the real program where its working folder cannot be made (the temporary folder
# lies below a plain file, which stops root too): it says so once, still opens the
# picture it was given, and quits cleanly.
set -euo pipefail
program=$1
source "$(dirname "$0")/session.bash"
start_display
convert -size 300x200 gradient:white-yellow "$work/light.png"
: >"$work/plain"
mkdir -p "$work/config"
export TMPDIR=$work/plain/tmp XDG_CONFIG_HOME=$work/config VIVIDRA_INSTANCE=vividra-gui-temp-$$
unset QT_QPA_PLATFORM
"$program" "$work/light.png" >"$work/out.log" 2>"$work/err.log" &
pid=$!
# The notice may come up before the main window: the main window is the wide one.
wide() { xdotool search --onlyvisible --name '^Vividra$' 2>/dev/null | while read -r w; do
    [ "$(xdotool getwindowgeometry "$w" 2>/dev/null | sed -nE 's/.*Geometry: ([0-9]+)x.*/\1/p')" \
        -ge 600 ] 2>/dev/null && echo "$w"; done | head -n 1; }
wid=
for _ in $(seq 600); do wid=$(wide || true); [ -n "$wid" ] && break; sleep 0.1; done
[ -n "$wid" ] || { echo "no window appeared"; cat "$work/err.log"; exit 1; }

# The main window and the notice share the title; the notice is the other one.
notices() { xdotool search --onlyvisible --name '^Vividra$' 2>/dev/null | grep -vx "$wid" | wc -l; }
for _ in $(seq 100); do [ "$(notices)" -ge 1 ] && break; sleep 0.1; done
[ "$(notices)" -eq 1 ] || { echo "no notice about the temporary folder"; exit 1; }
notice=$(xdotool search --onlyvisible --name '^Vividra$' | grep -vx "$wid" | head -n 1)
import -window "$notice" "$work/notice.png"
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$work/notice.png" "$VIVIDRA_SCREENSHOT"
xdotool windowactivate --sync "$notice" 2>/dev/null || true
sleep 0.3
xdotool key Return
for _ in $(seq 50); do [ "$(notices)" -eq 0 ] && break; sleep 0.1; done
[ "$(notices)" -eq 0 ] || { echo "the notice did not go away"; exit 1; }

sleep 3
import -window "$wid" "$work/opened.png"
level=$(convert "$work/opened.png" -crop "1x1+620+280" -depth 8 txt:- | tail -n 1 |
    sed -E 's/.*\(([0-9]+),([0-9]+),([0-9]+).*/\1 \2 \3/' | awk '{print int(($1+$2+$3)/3)}')
echo "picture area brightness: $level"
[ "$level" -gt 150 ] || { echo "the picture did not appear"; exit 1; }
[ "$(notices)" -eq 0 ] || { echo "told more than once"; exit 1; }

# The window may be gone before xdotool is done with it; the checks below see that it ended.
xdotool key --window "$wid" ctrl+q 2>/dev/null || true
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && { echo "still running after Ctrl+Q"; exit 1; }
wait "$pid" || { echo "program exited with an error"; cat "$work/err.log"; exit 1; }
echo "unwritable temporary folder test passed"
