#!/usr/bin/env bash
# The clock corrected under a running program. Set back six hours (a trip from
# Berlin to New York): the alarms of the new morning ring, instead of six hours
# of silence. Then three days asleep: what fell due meanwhile comes back as
# missed lines, not as a run of late notifications, and the next alarm rings.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"
prepare_moving_clock
write_alarms "$PROG_DIR/Alarms.dat" \
    'Noon|daily|12:01' \
    'New York|daily|06:02'
write_settings "Last%20Check=$(minute_of '2024-03-07 12:00')" "Visible=True"

start_movable_clock "$(utc_epoch '2024-03-07 12:00:55')"
wait_for_clock
wait_for_trace ring 1 10 || fail "the 12:01 alarm did not ring: $(trace_texts ring)"

set_clock "$(utc_epoch '2024-03-07 06:01:55')"
wait_for_trace ring 2 10 || fail "after the clock went back six hours the 06:02 alarm stayed silent"

set_clock "$(utc_epoch '2024-03-10 06:01:55')"
wait_for_trace ring 3 10 || fail "after three days asleep the next 06:02 alarm did not ring"
sleep 1

expect_traces ring "rang" "$(minute_of '2024-03-07 12:01') Noon
$(minute_of '2024-03-07 06:02') New York
$(minute_of '2024-03-10 06:02') New York"
expect_traces missed "missed lines after three days asleep" "Noon - 12:01,  7 March
New York - 06:02,  8 March
Noon - 12:01,  8 March
New York - 06:02,  9 March
Noon - 12:01,  9 March"
panel_shown || fail "the missed lines are not on screen"
log "set back six hours: 06:02 rang; three days asleep: five missed lines, then 06:02 rang"
