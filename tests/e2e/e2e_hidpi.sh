#!/usr/bin/env bash
# At twice the scale the clock is drawn from the double-resolution artwork, pixel
# for pixel: the bezel matches the @2x face and a lit segment is fully bright,
# and the outline is the 27 bands at twice the size.
source "$(dirname "$0")/lib.sh" "$@"

art=$(dirname "$E2E_PROGRAM")/../resources/generated/bitmaps
[ -f "$art/1001@2x.png" ] || fail "no double-resolution face in $art"

install_program
export QT_SCALE_FACTOR=2
start_clock
CLOCK_WIN=$(wait_for_window Tockwise 400 140) ||
    fail "the clock is not 400 x 140 pixels at scale 2 (\"Tockwise\" windows on screen: $(window_sizes Tockwise))"
sleep 1 # the digits fade in over four ticks
import -window "$CLOCK_WIN" "$E2E_WORK/clock.png"
screenshot scale2

pixel() { convert "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:; }

# Points on the bezel, well inside the outline and outside every digit cell.
for point in "200 6" "200 132" "8 70" "390 70" "30 12" "370 128" "100 10" "300 130"; do
    read -r x y <<<"$point"
    shown=$(pixel "$E2E_WORK/clock.png" "$x" "$y")
    drawn=$(pixel "$art/1001@2x.png" "$x" "$y")
    [ "$shown" = "$drawn" ] || fail "bezel pixel ($x,$y) is $shown on screen, $drawn in the @2x face"
done
log "bezel matches the double-resolution face"

# The colon's upper dot, always lit: the White set's full brightness.
dot=$(pixel "$E2E_WORK/clock.png" $(( (85 + 14) * 2 )) $(( (10 + 14) * 2 )))
[ "$dot" = "255,255,255" ] || fail "the colon dot is $dot, not full white"

rects=$("$E2E_XSHAPE" "$CLOCK_WIN")
grep -qx '2 38 396 64' <<<"$rects" || fail "the middle band is not doubled: $(head -3 <<<"$rects")"
log "outline doubled, colon sharp"
