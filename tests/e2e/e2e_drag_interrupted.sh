#!/usr/bin/env bash
# A drag interrupted by the menu: the left button held on the clock, a right
# click opens the main menu, the left button comes up over the menu, Escape
# closes it. The clock never sees its button come up; it must still ring the
# alarm that falls due a few seconds later.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"

start_tray
install_program
write_alarms "$PROG_DIR/Alarms.dat" 'Eight|daily|08:00'
write_settings "Last%20Check=$(minute_of '2024-03-07 07:59')" "Visible=True"

start_movable_clock "$(utc_epoch '2024-03-07 07:59:45')"
wait_for_clock
read -r x y < <(window_position "$CLOCK_WIN")
xdotool mousemove $((x + 100)) $((y + 35)) mousedown 1
sleep 0.3
xdotool mousemove $((x + 110)) $((y + 38))
sleep 0.3
xdotool click 3
open_menu >/dev/null || fail "no menu after the right click during the drag"
xdotool mouseup 1
sleep 0.3
xdotool key Escape
wait_until gone menu_shown || fail "Escape left the menu open"
log "left held, menu opened, left released over it, menu closed"

wait_for_trace ring 1 20 || fail "the 08:00 alarm did not ring after the interrupted drag"
expect_traces ring "rang" "$(minute_of '2024-03-07 08:00') Eight"
log "the alarm rang on time after the interrupted drag"
