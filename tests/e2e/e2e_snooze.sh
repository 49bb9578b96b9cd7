#!/usr/bin/env bash
# Snoozing a ringing alarm on the real program, with a window manager and a
# tray, the clock faked to Thursday 7 March 2024.
# 1. The 08:00 alarm rings; "Snooze 5 Minutes" from its right-click menu closes
#    it, writes no missed line and keeps the snooze on disk.
# 2. The program is ended and started again at 08:04:57: the snooze rings at
#    08:05. Clicked, then S: snoozed for ten minutes.
# 3. The program is ended and started again at 08:30: the snooze that ended at
#    08:15 while it was closed is a missed line of 08:15.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"
source "$(dirname "$0")/lib_wm.sh"

export TZ=UTC
export TOCKWISE_TRACE=1
SNOOZES=$XDG_DATA_HOME/tockwise/snoozes

end_clock() {
    kill "$CLOCK_PID"
    wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end on SIGTERM"
}

start_wm
start_tray
install_program
write_alarms "$PROG_DIR/Alarms.dat" 'Tea|daily|08:00'

# 1.
start_clock "$(offset_to '2024-03-07 08:00:00' 4)"
wait_for_clock
note=$(wait_for 15 notification) || fail "the 08:00 alarm did not ring"
sleep 0.5
read -r nx ny < <(window_position "$note")
xdotool mousemove $((nx + 250)) $((ny + 60)) click 3
open_menu >/dev/null || fail "no menu on the notification's right button"
screenshot menu
xdotool key Down Return
wait_until gone notification >/dev/null || fail "\"Snooze 5 Minutes\" left the notification open"
[ "$(wc -l <"$SNOOZES" 2>/dev/null)" = 1 ] || fail "no snooze kept on disk: $(cat "$SNOOZES" 2>/dev/null)"
grep -q $'\tTea$' "$SNOOZES" || fail "the kept snooze is not Tea's: $(cat "$SNOOZES")"
[ -z "$(trace_texts missed)" ] || fail "a snooze wrote a missed line"
end_clock
log "snoozed from the menu, kept on disk"

# 2.
start_clock "$(offset_to '2024-03-07 08:04:57' 0)"
wait_for_clock
note=$(wait_for 15 notification) || fail "the snooze did not ring after the restart"
expect_traces ring "rings were" "$(minute_of '2024-03-07 08:00') Tea
$(minute_of '2024-03-07 08:05') Tea"
sleep 0.5
click_at "$note" 150 60
xdotool key s
wait_until gone notification >/dev/null || fail "S left the clicked notification open"
[ -z "$(trace_texts missed)" ] || fail "a snooze wrote a missed line"
end_clock
log "the snooze rang at 08:05 after a restart; S snoozed it again"

# 3.
start_clock "$(offset_to '2024-03-07 08:30:00' 0)"
wait_for_clock
wait_for_trace missed 1 10 || fail "the snooze that ended while the program was closed is not a missed line"
wait_until panel_shown || fail "the missed panel did not open"
sleep 0.5
screenshot missed
expect_traces missed "missed lines were" "Tea - 08:15,  7 March"
[ ! -s "$SNOOZES" ] || fail "the ended snooze is still kept: $(cat "$SNOOZES")"
log "a snooze that ended while the program was closed is the missed line \"Tea - 08:15,  7 March\""
