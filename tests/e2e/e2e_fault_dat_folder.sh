#!/usr/bin/env bash
# Alarms.dat replaced by a folder: the start shows a "Tockwise" box naming
# the file, the program ends with status 1 when it is closed (no crash, no
# clock), and the folder and everything in it are left as they were.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/../faults/e2e_helpers.sh"

start_tray
install_program
mkdir "$PROG_DIR/Alarms.dat"
printf 'kept as it is\n' >"$PROG_DIR/Alarms.dat/note.txt"
mkdir "$PROG_DIR/Alarms.dat/inner"
write_alarms_dat "$PROG_DIR/Alarms.dat/inner/Alarms.dat" "Inside"
touch -d '2020-01-02 03:04:05' "$PROG_DIR/Alarms.dat" "$PROG_DIR/Alarms.dat/note.txt" "$PROG_DIR/Alarms.dat/inner"
# Names, kinds, sizes, modes, times and contents of the folder and all in it.
snapshot() {
    (cd "$PROG_DIR" && find . -printf '%p %y %s %m %T@\n' | sort && find Alarms.dat -type f -exec md5sum {} + | sort)
}
snapshot >"$E2E_WORK/before.txt"

start_clock
box=$(wait_for_message_box 10) || fail "no \"Tockwise\" message box appeared"
sleep 0.5
screenshot message
kill -0 "$CLOCK_PID" 2>/dev/null || fail "the program ended before the box was closed"
clock_window >/dev/null && fail "the clock is shown although the alarms could not be read"
log "message box $box is up (screenshot $E2E_NAME-message.png)"

answer_box "$box" || fail "the box did not close on Return"
wait_for_exit "$CLOCK_PID" 5 || fail "the program did not end after the box was closed"
status=0
wait "$CLOCK_PID" || status=$?
[ "$status" -eq 1 ] || fail "exit status $status, expected 1 (above 128 is a signal: a crash)"
grep -Eiq 'segmentation|abort|core dumped|terminate called' "$E2E_WORK/clock.log" && fail "the program crashed"
log "the program ended with status 1"

snapshot >"$E2E_WORK/after.txt"
diff -u "$E2E_WORK/before.txt" "$E2E_WORK/after.txt" >&2 || fail "the folder or the program folder changed"
[ ! -e "$XDG_DATA_HOME/tockwise/Alarms.dat" ] || fail "an Alarms.dat was made in the data folder instead"
log "Alarms.dat (a folder) and the program folder are untouched"
