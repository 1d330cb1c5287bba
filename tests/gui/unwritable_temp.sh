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
program_tmp=$work/plain/tmp start_program "$program" "$work/light.png"

# The main window and the notice share the title; the notice is the other one.
for _ in $(seq 100); do [ "$(others)" -ge 1 ] && break; sleep 0.1; done
[ "$(others)" -eq 1 ] || { echo "no notice about the temporary folder"; exit 1; }
notice=$(xdotool search --onlyvisible --name '^Vividra$' | grep -vx "$wid" | head -n 1)
import -window "$notice" "$work/notice.png"
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$work/notice.png" "$VIVIDRA_SCREENSHOT"
xdotool windowactivate --sync "$notice" 2>/dev/null || true
sleep 0.3
xdotool key Return
for _ in $(seq 50); do [ "$(others)" -eq 0 ] && break; sleep 0.1; done
[ "$(others)" -eq 0 ] || { echo "the notice did not go away"; exit 1; }

sleep 3
import -window "$wid" "$work/opened.png"
level=$(brightness opened.png 620 280)
echo "picture area brightness: $level"
[ "$level" -gt 150 ] || { echo "the picture did not appear"; exit 1; }
[ "$(others)" -eq 0 ] || { echo "told more than once"; exit 1; }

# The window may be gone before xdotool is done with it; the checks below see that it ended.
quit
ended_cleanly
echo "unwritable temporary folder test passed"
