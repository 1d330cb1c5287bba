#!/usr/bin/env bash
# Select Subject: after the button, a box dragged around a violet figure with an orange head
# brings both colours back while the background, orange blobs included, stays grey. Three
# strokes more, the journal written, the program killed with SIGKILL: started again, it offers to
# restore the photo and its edits, and "Restore" shows the same picture, pixel for pixel within 2
# levels. Quitting then marks the journal ended in order.
set -euo pipefail
program=$1
source "$(dirname "$0")/session.bash"
start_display
convert -size 600x400 xc:'rgb(90,110,120)' -fill 'rgb(235,130,30)' \
    -draw 'circle 90,90 90,115' -draw 'circle 510,310 510,335' -draw 'circle 120,330 120,355' \
    -fill 'rgb(120,50,170)' -draw 'ellipse 300,245 75,110 0,360' \
    -fill 'rgb(235,130,30)' -draw 'circle 300,110 300,160' "$work/figure.png"
start_program "$program" "$work/figure.png"
sleep 2
click 120 42 # the "Background" tab
click 40 89  # " Black & White"
sleep 2
click 40 42 # the "Brush" tab
sleep 0.5
click 160 490 # "Select Subject", below the Falloff slider
sleep 0.5
# The fitted picture fills 586 × 390 window pixels from (322, 112).
at() { echo $((322 + $1 * 586 / 600)) $((112 + $2 * 390 / 400)); }
read -r x0 y0 <<<"$(at 200 40)"
read -r x1 y1 <<<"$(at 400 370)"
xdotool mousemove --window "$wid" "$x0" "$y0" sleep 0.2 mousedown 1 sleep 0.1 \
    mousemove --window "$wid" "$x1" "$y1" sleep 0.2 mouseup 1
sleep 4
import -window "$wid" "$work/selected.png"
[ -n "${VIVIDRA_SCREENSHOT:-}" ] && cp "$work/selected.png" "$VIVIDRA_SCREENSHOT"
grey selected.png $(at 300 250) && { echo "the figure's body is grey"; exit 1; }
grey selected.png $(at 300 100) && { echo "the figure's head is grey"; exit 1; }
grey selected.png $(at 90 90) || { echo "an orange blob outside the box has colour"; exit 1; }
grey selected.png $(at 510 310) || { echo "an orange blob beside the figure has colour"; exit 1; }

# Strokes left of the figure, across the grey field.
for y in 250 320 380; do stroke 340 10 520 $y; sleep 0.5; done
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
grey before.png 430 380 && { echo "the strokes left no colour"; exit 1; }
kill -9 "$pid"
wait "$pid" 2>/dev/null || true

start_program "$program"
answer "the offer to restore after the crash" # "Restore"
sleep 4
import -window "$wid" "$work/after.png"
for f in before after; do convert "$work/$f.png" -crop 580x470+330+70 +repage "$work/$f-box.png"; done
differing=$(compare -metric AE -fuzz 0.8% "$work/before-box.png" "$work/after-box.png" null: 2>&1 || true)
echo "pixels differing by more than 2 levels: $differing"
[ "$differing" = 0 ] || { echo "the restored picture differs"; exit 1; }
xdotool key --window "$wid" ctrl+q
answer "the unsaved changes question" # "Yes"
ended_cleanly
grep -q '"clean":true' "$(journal)" || { echo "a quit left the journal unclean"; exit 1; }
echo "subject, kill and restore test passed"
