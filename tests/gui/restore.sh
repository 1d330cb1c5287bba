#!/usr/bin/env bash
# Three strokes, the journal written, the program killed with SIGKILL: started again, it offers
# to restore the photo and its edits, and "Restore" shows the same picture, pixel for pixel
# within 2 levels.
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
stroke 480 10 700 250
sleep 0.5
stroke 520 10 760 320
sleep 0.5
stroke 600 10 820 380
sleep 2

journal=$(ls "$work"/data/vividra/work/*.json 2>/dev/null | head -n 1 || true)
strokes() { grep -o '"pathModified"' "$journal" 2>/dev/null | wc -l; }
for _ in $(seq 100); do
    journal=$(ls "$work"/data/vividra/work/*.json 2>/dev/null | head -n 1 || true)
    [ -n "$journal" ] && [ "$(strokes)" -ge 3 ] && break
    sleep 0.1
done
[ -n "$journal" ] && [ "$(strokes)" -ge 3 ] || { echo "the journal never held three strokes"; exit 1; }
grep -q '"clean":false' "$journal" || { echo "a running session's journal says it ended"; exit 1; }
# Strokes just painted are drawn live over the picture; Original and back shows the picture
# as the session composes it, as a restored session shows it.
click 453 42
sleep 1
click 363 42
sleep 2
import -window "$wid" "$work/before.png"
kill -9 "$pid"
wait "$pid" 2>/dev/null || true

start_program "$program"
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
answer_first "the offer to restore after the crash" # "Restore"
sleep 4
import -window "$wid" "$work/after.png"

# The picture box, right of the sidebar.
box=580x470+330+70
convert "$work/before.png" -crop "$box" +repage "$work/before-box.png"
convert "$work/after.png" -crop "$box" +repage "$work/after-box.png"
differing=$(compare -metric AE -fuzz 0.8% "$work/before-box.png" "$work/after-box.png" null: 2>&1 || true)
echo "pixels differing by more than 2 levels: $differing"
[ "$differing" = 0 ] || { echo "the restored picture differs"; exit 1; }
grey after.png 600 250 && { echo "the restored picture lost its strokes"; exit 1; }
grey after.png 450 150 || { echo "the restored background is not black and white"; exit 1; }
xdotool key --window "$wid" ctrl+q
answer_first "the unsaved changes question" # "Yes"
ended_cleanly
grep -q '"clean":true' "$journal" || { echo "a quit left the journal unclean"; exit 1; }
echo "kill and restore test passed"
