#!/usr/bin/env bash
# A save refused by the file size limit (RLIMIT_FSIZE, "ulimit -f"): the
# kernel answers the write with SIGXFSZ, whose default action ends the
# process. The program must treat it as any failed save: a "Tockwise" box
# with the reason, Alarms.dat unchanged, the clock running on.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/../faults/e2e_helpers.sh"

start_tray
install_program
# Nine alarms: 1280 bytes, more than the 1024-byte limit below, so any save
# of the table goes past it while the settings file stays well under it.
write_alarms_dat "$PROG_DIR/Alarms.dat" A1 A2 A3 A4 A5 A6 A7 A8 A9
cp "$PROG_DIR/Alarms.dat" "$E2E_WORK/before.dat"
(ulimit -f 1 && exec "$PROG_DIR/tockwise") >>"$E2E_WORK/clock.log" 2>&1 &
CLOCK_PID=$!
E2E_PIDS+=("$CLOCK_PID")
wait_for_clock
sleep 0.5

LIST_WIN=$(open_alarm_list_aside)
sleep 0.3
add_alarm "$LIST_WIN" "Over The Limit"
box=""
for _ in $(seq 50); do
    kill -0 "$CLOCK_PID" 2>/dev/null || break
    box=$(message_box) && break
    sleep 0.1
done
if ! kill -0 "$CLOCK_PID" 2>/dev/null; then
    status=0
    wait "$CLOCK_PID" || status=$?
    cmp -s "$E2E_WORK/before.dat" "$PROG_DIR/Alarms.dat" && kept="Alarms.dat is unchanged" || kept="Alarms.dat CHANGED"
    fail "the save past the file size limit ended the program (status $status; 153 is SIGXFSZ) instead of showing a box; $kept"
fi
[ -n "$box" ] || fail "no \"Tockwise\" box after a save past the file size limit"
sleep 0.3
screenshot add-error
cmp "$E2E_WORK/before.dat" "$PROG_DIR/Alarms.dat" >&2 || fail "Alarms.dat changed after the failed save"
answer_box "$box" || fail "the box did not close"
sleep 0.5
kill -0 "$CLOCK_PID" 2>/dev/null || fail "the program ended after the box"
log "the save past the limit gave box $box; Alarms.dat unchanged; the program runs on"
