#!/usr/bin/env bash
# Without a tray host a hidden clock could not be brought back, since a second
# start ends at once: there the second start shows the running clock instead.
source "$(dirname "$0")/lib.sh" "$@"

install_program
start_clock
wait_for_clock

# "Hide" is item 3 of the main menu's five.
main_menu_choose 3
wait_until gone clock_shown || fail "Hide left the clock on screen"
log "clock hidden"

"$PROG_DIR/tockwise" >>"$E2E_WORK/clock.log" 2>&1 || fail "the second copy failed"
kill -0 "$CLOCK_PID" || fail "the first copy ended"
wait_for_clock
log "a second start brought the hidden clock back"
