#!/usr/bin/env bash
# Ten days away: the catch-up examines only the 10080 minutes that end with the
# start-up minute, so a Daily alarm gives exactly seven missed lines and the
# borders of that week are exact to the minute.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"

start_tray
install_program
# Started Thursday 14 March 2024 09:00:20; last checked Monday 4 March 09:00.
# The week examined runs from 7 March 09:01 to 14 March 09:00.
write_alarms "$PROG_DIR/Alarms.dat" \
    'At nine|daily|09:00' \
    'One past|daily|09:01' \
    'Outside|once|09:00||2024-03-07' \
    'First minute|once|09:01||2024-03-07' \
    'Long ago|once|12:00||2024-03-05'
write_settings "Last%20Check=$(minute_of '2024-03-04 09:00')"

start_movable_clock "$(utc_epoch '2024-03-14 09:00:20')"
wait_for_clock
wait_for_trace missed 15 10 || fail "fewer than 15 missed lines: $(trace_texts missed)"
sleep 1

expected=$(
    echo "One past - 09:01,  7 March"
    echo "First minute - 09:01,  7 March"
    for day in 8 9 10 11 12 13; do
        echo "At nine - 09:00,  $day March"
        echo "One past - 09:01,  $day March"
    done
    echo "At nine - 09:00,  14 March"
)
expect_traces missed "missed lines were" "$expected"
[ "$(trace_texts missed | grep -c '^At nine')" -eq 7 ] || fail "At nine was not listed seven times"
[ -z "$(traces ring)" ] || fail "an alarm rang at start-up: $(traces ring)"
log "seven lines per Daily alarm, from 7 March 09:01 to 14 March 09:00"
