#!/usr/bin/env bash
# An alarm due in the minute the program starts in is caught up as missed at
# start-up and does not ring in that minute or later; the minute after rings live.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"

start_tray
install_program
# 7 March 2024 is a Thursday; last checked 06:59, started at 07:00:57.
write_alarms "$PROG_DIR/Alarms.dat" \
    'Daily|daily|07:00' \
    'Thursday|weekly|07:00|3' \
    'Today|once|07:00||2024-03-07' \
    'Next|daily|07:01'
write_settings "Last%20Check=$(minute_of '2024-03-07 06:59')" "Visible=True"

start_movable_clock "$(utc_epoch '2024-03-07 07:00:57')"
wait_for_clock
wait_for_trace ring 1 10 || fail "the alarm of the minute after start-up did not ring"
sleep 1.5

expected="Daily - 07:00,  7 March
Thursday - 07:00,  7 March
Today - 07:00,  7 March"
expect_traces missed "missed lines were" "$expected"
rings=$(trace_texts ring)
[ "$rings" = "$(minute_of '2024-03-07 07:01') Next" ] || fail "rang: $rings; expected only Next at 07:01"
log "the start-up minute's three alarms were listed as missed, none rang; Next rang at 07:01"
