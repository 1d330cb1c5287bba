#!/usr/bin/env bash
# Three strokes, the journal written, the program killed with SIGKILL: started again, it offers
# to restore the photo and its edits, and "Restore" shows the same picture, pixel for pixel
# within 2 levels. Quitting then marks the journal ended in order.
set -euo pipefail
program=$1
source "$(dirname "$0")/session.bash"
start_display
convert -size 600x400 gradient:'rgb(200,40,40)'-'rgb(40,60,220)' -fill 'rgb(30,170,60)' \
    -draw 'circle 300,200 300,90' "$work/photo.png"
start_program "$program" "$work/photo.png"
sleep 2
click 120 42 # the "Background" tab
click 40 89  # " Black & White"
sleep 2
for y in 250 320 380; do stroke $((y * 2 - 20)) 10 $((y * 2 + 200)) $y; sleep 0.5; done
journal() { ls "$work"/data/vividra/work/*.json 2>/dev/null | head -n 1; }
written() { [ -n "$(journal)" ] && [ "$(grep -o '"pathModified"' "$(journal)" | wc -l)" -ge 3 ]; }
for _ in $(seq 100); do written && break; sleep 0.1; done
written || { echo "the journal never held three strokes"; exit 1; }
# Strokes just painted are drawn live over the picture; Original and back shows the picture
# as the session composes it, as a restored session shows it.
click 453 42
sleep 1
click 363 42
sleep 2
import -window "$wid" "$work/before.png"
kill -9 "$pid"
wait "$pid" 2>/dev/null || true

# answer_first WHAT: presses the first, default button of the alert that comes up.
answer_first() {
    local alert=
    for _ in $(seq 100); do
        alert=$(xdotool search --onlyvisible --name '^Vividra$' 2>/dev/null | grep -vx "$wid" | head -n 1 || true)
        [ -n "$alert" ] && break
        sleep 0.1
    done
    [ -n "$alert" ] || { echo "no alert: $1"; exit 1; }
    xdotool windowactivate --sync "$alert" 2>/dev/null || xdotool windowfocus --sync "$alert" || true
    sleep 0.5
    xdotool key Return
}
start_program "$program"
answer_first "the offer to restore after the crash" # "Restore"
sleep 4
import -window "$wid" "$work/after.png"
for f in before after; do convert "$work/$f.png" -crop 580x470+330+70 +repage "$work/$f-box.png"; done
differing=$(compare -metric AE -fuzz 0.8% "$work/before-box.png" "$work/after-box.png" null: 2>&1 || true)
echo "pixels differing by more than 2 levels: $differing"
[ "$differing" = 0 ] || { echo "the restored picture differs"; exit 1; }
xdotool key --window "$wid" ctrl+q
answer_first "the unsaved changes question" # "Yes"
ended_cleanly
grep -q '"clean":true' "$(journal)" || { echo "a quit left the journal unclean"; exit 1; }
echo "kill and restore test passed"
