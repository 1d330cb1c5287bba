#!/usr/bin/env bash
# Contact sheet of the eight photo looks: each row is one photo, the original
# first, then every look. Needs ImageMagick and a built vividra-fx (or set
# VIVIDRA_FX to any program taking `INPUT OUTPUT photo NAME`).
# Usage: bench/contact_sheet.sh [output.jpg]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
photos=${PHOTOS:-$root/../shared/photos}
fx=${VIVIDRA_FX:-}
if [[ -z $fx ]]; then
    for candidate in "$root"/build/*/vividra-fx; do
        if [[ -x $candidate ]]; then
            fx=$candidate
            break
        fi
    done
fi
if [[ -z $fx ]]; then
    echo "contact_sheet: no vividra-fx under build/; build it or set VIVIDRA_FX" >&2
    exit 1
fi
out=${1:-$root/build/looks-contact-sheet.jpg}
mkdir -p "$(dirname "$out")"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

looks=(Mono Tonal Noir Chrome Fade Instant Process Transfer)
tiles=()
for photo in ladybird yellow-flower garden; do
    original="$work/$photo.png"
    convert "$photos/$photo.jpg" -resize 480x "$original"
    tiles+=(-label "$photo" "$original")
    for look in "${looks[@]}"; do
        "$fx" "$original" "$work/$photo-$look.png" photo "$look"
        tiles+=(-label "$look" "$work/$photo-$look.png")
    done
done
montage "${tiles[@]}" -tile 9x -geometry +3+3 -pointsize 16 -background '#202020' \
    -fill '#e0e0e0' "$out"
echo "$out"
