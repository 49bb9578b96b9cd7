#!/usr/bin/env bash
# Alarms.dat that is no alarm table: a folder, a named pipe, a link to
# /dev/zero, a file over 64 MiB. Each start shows a "Tockwise" box naming the
# file at once (a pipe must not hold the start, and the single-copy lock, for
# ever), the program ends with status 1 when it is closed (no crash, no
# clock), and the entry and everything in the program folder are left as they
# were.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/../faults/e2e_helpers.sh"

# Names, kinds, sizes, modes, times and link targets of the program folder and
# all in it, and the contents of its regular files.
snapshot() {
    (cd "$PROG_DIR" && find . -printf '%p %y %s %m %T@ %l\n' | sort && find . -type f -exec md5sum {} + | sort)
}

# refused CASE: starts the program on the Alarms.dat prepared for CASE and
# checks that it is refused and left alone.
refused() {
    local box status start elapsed
    touch -h -d '2020-01-02 03:04:05' "$PROG_DIR/Alarms.dat"
    snapshot >"$E2E_WORK/before-$1.txt"
    start=$(date +%s%N)
    start_clock
    box=$(wait_for_message_box 10) || fail "$1: no \"Tockwise\" message box appeared"
    elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
    sleep 0.5
    screenshot "message-$1"
    kill -0 "$CLOCK_PID" 2>/dev/null || fail "$1: the program ended before the box was closed"
    clock_window >/dev/null && fail "$1: the clock is shown although the alarms could not be read"
    log "$1: message box $box after $elapsed ms (screenshot $E2E_NAME-message-$1.png)"

    answer_box "$box" || fail "$1: the box did not close on Return"
    wait_for_exit "$CLOCK_PID" 10 || fail "$1: the program did not end after the box was closed"
    status=0
    wait "$CLOCK_PID" || status=$?
    [ "$status" -eq 1 ] || fail "$1: exit status $status, expected 1 (above 128 is a signal: a crash)"
    grep -Eiq 'segmentation|abort|core dumped|terminate called|bad_alloc' "$E2E_WORK/clock.log" && fail "$1: the program crashed"

    snapshot >"$E2E_WORK/after-$1.txt"
    diff -u "$E2E_WORK/before-$1.txt" "$E2E_WORK/after-$1.txt" >&2 || fail "$1: the entry or the program folder changed"
    [ ! -e "$XDG_DATA_HOME/tockwise/Alarms.dat" ] || fail "$1: an Alarms.dat was made in the data folder instead"
    log "$1: refused with status 1; Alarms.dat and the program folder are untouched"
}

start_tray
install_program

# A folder, with things in it.
mkdir "$PROG_DIR/Alarms.dat"
printf 'kept as it is\n' >"$PROG_DIR/Alarms.dat/note.txt"
mkdir "$PROG_DIR/Alarms.dat/inner"
write_alarms_dat "$PROG_DIR/Alarms.dat/inner/Alarms.dat" "Inside"
touch -d '2020-01-02 03:04:05' "$PROG_DIR/Alarms.dat/note.txt" "$PROG_DIR/Alarms.dat/inner"
refused folder
rm -r "$PROG_DIR/Alarms.dat"

# A named pipe nobody writes to: opening it would wait for ever.
mkfifo "$PROG_DIR/Alarms.dat"
refused pipe
rm "$PROG_DIR/Alarms.dat"
# Nothing was left waiting on the lock: the next start runs.
start_clock
wait_for_clock
kill "$CLOCK_PID"
wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end on SIGTERM"
wait "$CLOCK_PID" 2>/dev/null || true
rm "$PROG_DIR/Alarms.dat"

# A link to /dev/zero: reading it would never end.
ln -s /dev/zero "$PROG_DIR/Alarms.dat"
refused zero
rm "$PROG_DIR/Alarms.dat"

# One byte over 64 MiB (sparse, so it takes no disk): no alarm table is near it.
truncate -s $((64 * 1024 * 1024 + 1)) "$PROG_DIR/Alarms.dat"
refused oversize
