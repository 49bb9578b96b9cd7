#!/usr/bin/env bash
# A first run (no settings at all) examines nothing at start-up: neither the
# alarms of the past week nor one due in the very minute of start-up ring or
# become missed lines. Checking starts with the next minute, which rings live.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"

start_tray
install_program
# 7 March 2024 is a Thursday; the program starts at 07:00:57.
write_alarms "$PROG_DIR/Alarms.dat" \
    'Yesterday|once|09:00||2024-03-06' \
    'Early|daily|06:00' \
    'Now|daily|07:00' \
    'Weekdays now|weekdays|07:00' \
    'Next|daily|07:01'
[ ! -e "$SETTINGS" ] || fail "settings exist before the first run"

start_movable_clock "$(utc_epoch '2024-03-07 07:00:57')"
wait_for_clock
wait_for_trace ring 1 10 || fail "the alarm of the minute after start-up did not ring"
sleep 1.5

[ -z "$(traces missed)" ] || fail "a first run listed missed alarms: $(trace_texts missed)"
[ -z "$(missed_window)" ] || fail "the missed-alarms panel is on screen"
rings=$(trace_texts ring)
[ "$rings" = "$(minute_of '2024-03-07 07:01') Next" ] || fail "rang: $rings; expected only Next at 07:01"
log "nothing missed, nothing rung for the start-up minute, Next rang at 07:01"
