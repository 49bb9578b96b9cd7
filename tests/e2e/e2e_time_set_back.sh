#!/usr/bin/env bash
# The wall clock set back an hour while the program runs: the minutes it lives
# through a second time are not checked again, so nothing rings twice, and
# checking resumes once the clock passes the last minute checked.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"
prepare_moving_clock
# Thursday 7 March 2024; last checked 08:59, started at 08:59:58.
write_alarms "$PROG_DIR/Alarms.dat" \
    'Nine|daily|09:00' \
    'Thursday nine|weekly|09:00|3' \
    'In between|daily|08:30' \
    'After|daily|09:01'
write_settings "Last%20Check=$(minute_of '2024-03-07 08:59')" "Visible=True"

start_movable_clock "$(utc_epoch '2024-03-07 08:59:58')"
wait_for_clock
wait_for_trace ring 2 10 || fail "the 09:00 alarms did not ring: $(trace_texts ring)"

# Set back from 09:00:05 to 08:00:05, then live through 08:29:57 to 08:30:03
# and 08:59:57 to 09:00:03 once more.
sleep_until_clock "$(utc_epoch '2024-03-07 09:00:05')"
set_clock "$(utc_epoch '2024-03-07 08:00:05')"
sleep 2
set_clock "$(utc_epoch '2024-03-07 08:29:57')"
sleep_until_clock "$(utc_epoch '2024-03-07 08:30:03')"
set_clock "$(utc_epoch '2024-03-07 08:59:57')"
sleep_until_clock "$(utc_epoch '2024-03-07 09:00:03')"
# The repeated minutes are done; 09:01 is new and rings.
set_clock "$(utc_epoch '2024-03-07 09:00:57')"
wait_for_trace ring 3 10 || fail "the 09:01 alarm did not ring after the repeated hour: $(trace_texts ring)"
sleep 1

expected="$(minute_of '2024-03-07 09:00') Nine
$(minute_of '2024-03-07 09:00') Thursday nine
$(minute_of '2024-03-07 09:01') After"
expect_traces ring "rang" "$expected"
[ -z "$(traces missed)" ] || fail "setting the clock back gave missed lines: $(trace_texts missed)"
log "09:00 rang once, nothing in the repeated hour, 09:01 rang after it"
