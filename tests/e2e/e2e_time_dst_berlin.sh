#!/usr/bin/env bash
# Daylight saving time in Europe/Berlin. When it starts (31 March 2024, 02:00 CET
# becomes 03:00 CEST) the skipped hour is checked live, so a Daily 02:30 alarm
# rings a few seconds after 03:00. When it ends (27 October 2024, 03:00 CEST
# becomes 02:00 CET) the repeated hour is not checked again, so it rings once;
# 03:00 CET is new again and rings.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"
poll_the_clock # the faked clock jumps while the program runs

export TZ=Europe/Berlin
[ -f /usr/share/zoneinfo/Europe/Berlin ] || fail "no tzdata for Europe/Berlin"

start_tray
install_program

# Spring: started at 01:59:57 CET, last checked 01:59.
write_alarms "$PROG_DIR/Alarms.dat" 'Half past two|daily|02:30'
write_settings "Last%20Check=$(minute_of '2024-03-31 01:59')" "Visible=True"
switch=$(utc_epoch '2024-03-31 01:00:00')
start_movable_clock $((switch - 3))
wait_for_clock
wait_for_trace ring 1 15 || fail "the 02:30 alarm did not ring after the clocks went forward"
sleep 1
[ "$(trace_texts ring)" = "$(minute_of '2024-03-31 02:30') Half past two" ] || fail "rang: $(trace_texts ring)"
[ -z "$(traces missed)" ] || fail "the skipped hour gave missed lines: $(trace_texts missed)"
ring_ms=$(traces ring | cut -d' ' -f1)
delay=$((ring_ms - switch * 1000))
[ "$delay" -ge 0 ] && [ "$delay" -le 8000 ] || fail "the 02:30 alarm rang $delay ms after 03:00 CEST"
log "spring: 02:30 rang live $delay ms after 03:00 CEST"

kill "$CLOCK_PID"
wait_for_exit "$CLOCK_PID" 10 || fail "the program did not end on SIGTERM"
: >"$E2E_WORK/clock.log"

# Autumn: started at 02:29:57 CEST, last checked 02:29.
write_alarms "$PROG_DIR/Alarms.dat" \
    'Half past two|daily|02:30' \
    'Three|daily|03:00'
write_settings "Last%20Check=$(minute_of '2024-10-27 02:29')" "Visible=True"
switch=$(utc_epoch '2024-10-27 01:00:00')
start_movable_clock $((switch - 1800 - 3))
wait_for_clock
wait_for_trace ring 1 10 || fail "the 02:30 CEST alarm did not ring"
# Through the change at 03:00 CEST, then the repeated 02:30 CET, then 03:00 CET.
set_clock $((switch - 3))
sleep_until_clock $((switch + 3))
set_clock $((switch + 1800 - 3))
sleep_until_clock $((switch + 1800 + 3))
set_clock $((switch + 3600 - 3))
wait_for_trace ring 2 10 || fail "03:00 CET did not ring after the repeated hour: $(trace_texts ring)"
sleep 1
expected="$(minute_of '2024-10-27 02:30') Half past two
$(minute_of '2024-10-27 03:00') Three"
expect_traces ring "rang" "$expected"
[ -z "$(traces missed)" ] || fail "the repeated hour gave missed lines: $(trace_texts missed)"
log "autumn: 02:30 rang once, 03:00 CET rang after the repeated hour"
