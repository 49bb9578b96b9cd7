#!/usr/bin/env bash
# The wall clock jumps an hour forward while the program runs (as after sleep):
# the skipped minutes are checked live, ten a second, so the alarms of that hour
# ring one after another within seconds, in order, and none becomes a missed line.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"
prepare_moving_clock
# Thursday 7 March 2024; last checked 08:59, started at 08:59:58.
write_alarms "$PROG_DIR/Alarms.dat" \
    'Before|daily|09:00' \
    'Quarter|daily|09:15' \
    'Half|weekdays|09:30' \
    'Thursday|weekly|09:59|3' \
    'Friday|weekly|09:45|4' \
    'Off|daily|09:40|||1' \
    'Ten|daily|10:00' \
    'Later|daily|10:01'
write_settings "Last%20Check=$(minute_of '2024-03-07 08:59')" "Visible=True"

start_movable_clock "$(utc_epoch '2024-03-07 08:59:58')"
wait_for_clock
wait_for_trace ring 1 10 || fail "the 09:00 alarm did not ring"
[ "$(trace_texts ring)" = "$(minute_of '2024-03-07 09:00') Before" ] || fail "rang: $(trace_texts ring)"

# Asleep from 09:00:05 to 10:00:05.
sleep_until_clock "$(utc_epoch '2024-03-07 09:00:05')"
woke=$(utc_epoch '2024-03-07 10:00:05')
set_clock "$woke"
wait_for_trace ring 5 20 || fail "after the jump only these rang: $(trace_texts ring)"
sleep 1

expected="$(minute_of '2024-03-07 09:00') Before
$(minute_of '2024-03-07 09:15') Quarter
$(minute_of '2024-03-07 09:30') Half
$(minute_of '2024-03-07 09:59') Thursday
$(minute_of '2024-03-07 10:00') Ten"
expect_traces ring "rang" "$expected"
[ "$(traces notification-shown | wc -l)" -eq 5 ] || fail "$(traces notification-shown | wc -l) notification windows for five rings"
[ -z "$(traces missed)" ] || fail "the skipped hour gave missed lines: $(trace_texts missed)"

# Sixty minutes at ten a second: the last of them rings about six seconds after
# waking, and the rings are spread over that time rather than all at once.
read -r first_ms < <(traces ring | sed -n 2p | cut -d' ' -f1)
read -r last_ms < <(traces ring | sed -n 5p | cut -d' ' -f1)
delay=$((last_ms - woke * 1000))
spread=$((last_ms - first_ms))
[ "$delay" -ge 0 ] && [ "$delay" -le 10000 ] || fail "the 10:00 alarm rang $delay ms after waking"
[ "$spread" -ge 3000 ] || fail "09:15 to 10:00 rang within $spread ms; minutes are checked at most ten a second"
log "the skipped hour's four alarms rang in order, the last $delay ms after waking"
