#!/usr/bin/env bash
# The clock window on a real X server: its shape, the tray icon, a second copy,
# dragging, and Exit saving the place it comes back to.
source "$(dirname "$0")/lib.sh" "$@"

start_tray
install_program
start_clock
wait_for_clock
sleep 0.5
screenshot started

# 200 x 70 with the outline of the 27 bands.
rects=$("$E2E_XSHAPE" "$CLOCK_WIN")
count=$(wc -l <<<"$rects")
[ "$count" -eq 27 ] || fail "the outline has $count rectangles, not 27"
grep -qx '19 1 162 1' <<<"$rects" || fail "the top band is not columns 19 to 181 of row 1"
grep -qx '1 19 198 32' <<<"$rects" || fail "the middle band is not columns 1 to 199 of rows 19 to 51"
log "outline: 27 bands"

# The tray icon is a 22 x 22 window in the tray host.
tray_icon >/dev/null || fail "no tray icon"
log "tray icon present"

# A second copy ends at once, leaving the first running.
start=$(date +%s%N)
"$PROG_DIR/tockwise" >>"$E2E_WORK/clock.log" 2>&1 || fail "the second copy failed"
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$elapsed" -lt 3000 ] || fail "the second copy took $elapsed ms to end"
kill -0 "$CLOCK_PID" || fail "the first copy ended"
[ "$(xdotool search --onlyvisible --name '^Tockwise$' | wc -l)" -ge 1 ] || fail "the clock went away"
log "second copy ended after $elapsed ms"

# Drag the clock by (60, 40); the grabbed point stays under the pointer.
read -r x0 y0 < <(window_position "$CLOCK_WIN")
xdotool mousemove $((x0 + 100)) $((y0 + 35)) mousedown 1
for step in 1 2 3 4 5 6; do
    xdotool mousemove $((x0 + 100 + step * 10)) $((y0 + 35 + step * 40 / 6))
    sleep 0.05
done
xdotool mouseup 1
sleep 0.3
read -r x1 y1 < <(window_position "$CLOCK_WIN")
[ "$x1" -eq $((x0 + 60)) ] && [ "$y1" -eq $((y0 + 40)) ] || fail "dragged to $x1,$y1, expected $((x0 + 60)),$((y0 + 40))"
log "dragged from $x0,$y0 to $x1,$y1"

# Exit from the main menu (its last item) saves the settings and ends the program.
open_main_menu
sleep 0.5
screenshot menu
menu_choose 4 5
wait_for_exit "$CLOCK_PID" 10 || fail "Exit did not end the program"
[ "$(setting X)" = "$((x1 * 15))" ] || fail "X saved as $(setting X), expected $((x1 * 15))"
[ "$(setting Y)" = "$((y1 * 15))" ] || fail "Y saved as $(setting Y)"
[ "$(setting Visible)" = "True" ] || fail "Visible saved as $(setting Visible)"
log "Exit saved X=$(setting X) Y=$(setting Y)"

# The next start comes back at the same place.
start_clock
wait_for_clock
read -r x2 y2 < <(window_position "$CLOCK_WIN")
[ "$x2 $y2" = "$x1 $y1" ] || fail "restarted at $x2,$y2, expected $x1,$y1"
log "restarted at the same place"
