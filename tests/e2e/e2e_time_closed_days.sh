#!/usr/bin/env bash
# Closed from Monday 18:00 to Thursday 09:00: the catch-up at start-up lists
# one line per day the Daily alarm fell due while the program was closed, in
# order, and brings up the missed-alarms panel under the clock.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"

start_tray
install_program
# 4 March 2024 is a Monday. Besides the Daily alarm: a disabled one at the same
# time, a Once Only alarm that fell due just before the program closed, and a
# Weekly one for Friday.
write_alarms "$PROG_DIR/Alarms.dat" \
    'Wake|daily|07:00' \
    'Silenced|daily|07:00|||1' \
    'Tea|once|17:59||2024-03-04' \
    'Friday only|weekly|07:00|4'
write_settings "Last%20Check=$(minute_of '2024-03-04 18:00')"

start_movable_clock "$(utc_epoch '2024-03-07 09:00:10')"
wait_for_clock
wait_for_trace missed 3 10 || fail "fewer than three missed lines"
sleep 1

expected="Wake - 07:00,  5 March
Wake - 07:00,  6 March
Wake - 07:00,  7 March"
expect_traces missed "missed lines were" "$expected"
[ -z "$(traces ring)" ] || fail "an alarm rang at start-up: $(traces ring)"
log "three missed lines, Tuesday to Thursday, in order"

# The panel is on screen, centred under the clock and joined to its bottom row.
panel=$(missed_window)
[ -n "$panel" ] || fail "the missed-alarms panel is not on screen"
read -r cx cy < <(window_position "$CLOCK_WIN")
read -r px py < <(window_position "$panel")
[ "$py" -eq $((cy + 69)) ] || fail "the panel top is $py, the clock bottom row $((cy + 69))"
pw=$(xwininfo -id "$panel" | awk '/Width/ {print $2}')
[ $((px + pw / 2)) -eq $((cx + 100)) ] || fail "the panel (x $px, width $pw) is not centred under the clock at $cx"
screenshot missed-panel
log "missed panel on screen at $px,$py under the clock at $cx,$cy"
