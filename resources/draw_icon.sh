#!/usr/bin/env bash
# Draws the application icon, a Bramblet pedal seen from above: a berry-red body, a green LED
# (the light the pedal shows in boot mode), two knobs and the footswitch. Writes icon16.png,
# icon32.png, icon48.png and icon256.png next to this script; run it again after a change.
# Needs ImageMagick's convert.
set -euo pipefail
cd "$(dirname "$0")"

body=#c63b5f      # mid-tone berry: reads on white and on dark grey panels alike
bodyEdge=#6e1a33
bodyShine=#de6f8c
knob=#2a2d31
led=#49d65a
ledEdge=#1e6b2a
switchMetal=#e3e6e8
switchEdge=#4d5358
switchCap=#b8bfc5

# Everything is laid out on a 256-unit grid and scaled to the size being drawn, so the edges
# stay anti-aliased at every size instead of going soft through a resize.
draw() {
    local size=$1 detailed=$2
    awk -v s="$size" -v d="$detailed" \
        -v body="$body" -v bodyEdge="$bodyEdge" -v bodyShine="$bodyShine" -v knob="$knob" \
        -v led="$led" -v ledEdge="$ledEdge" -v metal="$switchMetal" -v metalEdge="$switchEdge" \
        -v cap="$switchCap" '
        # One ImageMagick argument per line.
        function u(v) { return sprintf ("%.3f", v * s / 256) }
        function stroke(w) { w = w * s / 256; return sprintf ("%.3f", w < 1 ? 1 : w) }
        function circle(cx, cy, r) { return "circle " u(cx) "," u(cy) " " u(cx) "," u(cy - r) }
        BEGIN {
            # Small sizes get a relatively larger LED and switch so they stay visible.
            ledR = d ? 13 : 22; switchR = d ? 36 : 44
            printf "-fill\n%s\n-stroke\n%s\n-strokewidth\n%s\n-draw\nroundrectangle %s,%s %s,%s %s,%s\n",
                   body, bodyEdge, stroke(7), u(50), u(12), u(206), u(244), u(30), u(30)
            if (d)
            {
                printf "-fill\nnone\n-stroke\n%s\n-strokewidth\n%s\n-draw\nline %s,%s %s,%s\n",
                       bodyShine, stroke(6), u(76), u(24), u(180), u(24)
                printf "-fill\n%s\n-stroke\nnone\n-draw\n%s\n-draw\n%s\n", knob, circle(94, 64, 20), circle(162, 64, 20)
                printf "-stroke\n%s\n-strokewidth\n%s\n-draw\nline %s,%s %s,%s\n-draw\nline %s,%s %s,%s\n",
                       metal, stroke(5), u(94), u(62), u(94), u(48), u(162), u(62), u(172), u(52)
            }
            printf "-fill\n%s\n-stroke\n%s\n-strokewidth\n%s\n-draw\n%s\n", led, ledEdge, stroke(4), circle(128, d ? 112 : 92, ledR)
            printf "-fill\n%s\n-stroke\n%s\n-strokewidth\n%s\n-draw\n%s\n", metal, metalEdge, stroke(7), circle(128, 182, switchR)
            if (d)
                printf "-fill\n%s\n-stroke\nnone\n-draw\n%s\n", cap, circle(128, 182, 20)
        }'
}

for size in 16 32 48 256; do
    detailed=1
    [ "$size" -lt 32 ] && detailed=0
    mapfile -t steps < <(draw "$size" "$detailed")
    convert -size "${size}x${size}" xc:none "${steps[@]}" -strip "PNG32:icon${size}.png"
done
