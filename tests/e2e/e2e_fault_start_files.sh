#!/usr/bin/env bash
# Files beside the program's lock and settings that a crash, a power cut or an
# unlucky user leaves behind. A start shows a clock, shows a message, or hands
# over to a copy that answered; a save never stops the clock; a clock that
# never loaded writes nothing.
# 1. tockwise.lock empty, garbled or unreadable: taken over, the clock starts.
# 2. tockwise.lock held by a live process: waited for, never taken over; the
#    clock starts once it is let go, or a box says why it does not.
# 3. tockwise.lock a folder: a "Tockwise" box, a line on standard error,
#    status 1.
# 4. hqz.conf.lock a folder: the first save fails with one box, the clock runs
#    on and ends on SIGTERM.
# 5. hqz.conf a named pipe: a box, the clock runs with defaults, the pipe is
#    left alone.
# 6. Alarms.dat a folder, SIGTERM while the start-up error box is up: the
#    program ends and hqz.conf is left as it was.
# 7. A socket path too long for the system, and a relative XDG_RUNTIME_DIR:
#    a second start still brings up the one hidden clock.
# 8. No display: status 1 and a plain message.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/../faults/e2e_helpers.sh"

command -v flock >/dev/null || fail "flock (util-linux) is needed to hold a lock as another program would"
start_tray
install_program
LOCK=$XDG_RUNTIME_DIR/tockwise.lock

# end_clock: SIGTERM ends the clock within five seconds.
end_clock() {
    kill "$CLOCK_PID" 2>/dev/null || fail "the clock is gone before SIGTERM"
    wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end on SIGTERM ($1)"
}

# 1.
for kind in empty garbled unreadable; do
    case $kind in
    empty) : >"$LOCK" ;;
    garbled) head -c 300 /dev/urandom >"$LOCK" ;;
    unreadable) printf '999999\nx\n' >"$LOCK" && chmod 000 "$LOCK" ;;
    esac
    start_clock
    wait_for 10 clock_window "$CLOCK_PID" >/dev/null || fail "no clock with an $kind lock file"
    end_clock "$kind lock"
    rm -f "$LOCK"
done
log "empty, garbled and unreadable lock files were taken over"

# 2. A lock some other process holds for two seconds (a copy still starting).
: >"$LOCK"
flock "$LOCK" sleep 2 &
HOLDER=$!
sleep 0.3
start_clock
stays_false 1 clock_window "$CLOCK_PID" || fail "the clock started while another process held the lock"
kill -0 "$CLOCK_PID" 2>/dev/null || fail "the start ended while the lock was held, without waiting for it"
wait_for 10 clock_window "$CLOCK_PID" >/dev/null || fail "no clock once the lock was let go"
wait "$HOLDER" || true
end_clock "after a held lock"
# Held for good, and nobody answers: a box, status 1.
flock "$LOCK" sleep 60 &
HOLDER=$!
E2E_PIDS+=($HOLDER)
sleep 0.3
start_clock
# The start asks for five seconds before it gives up.
BOX=$(wait_for_message_box 15) || fail "no box while a process that does not answer holds the lock"
sleep 0.3
screenshot held-lock
answer_box "$BOX" || fail "the box did not close on Return"
wait "$CLOCK_PID" && fail "the start ended with status 0 although nothing answered it"
clock_shown && fail "a second clock runs beside the lock's holder"
pkill -P "$HOLDER" || true
kill "$HOLDER" 2>/dev/null || true
log "a held lock was waited for, never taken over; one that stayed held was reported"

# 3.
rm -f "$LOCK"
mkdir "$LOCK"
start_clock
expect_box lock-folder "no box when the lock is a folder"
answer_box "$BOX" || fail "the box did not close on Return"
status=0
wait "$CLOCK_PID" || status=$?
[ "$status" -eq 1 ] || fail "a lock that is a folder ended the start with status $status, not 1"
grep -q "tockwise.lock" "$E2E_WORK/clock.log" || fail "standard error does not name the lock"
rmdir "$LOCK"
log "a lock that is a folder: a box, standard error and status 1"

# 4.
mkdir "$SETTINGS.lock"
start_clock
wait_for 10 clock_window "$CLOCK_PID" >/dev/null || fail "no clock with hqz.conf.lock a folder"
expect_box settings-lock "no box when the settings could not be saved"
grep -q "hqz.conf.lock" "$E2E_WORK/clock.log" || fail "standard error does not name the settings lock"
answer_box "$BOX" || fail "the box did not close on Return"
end_clock "hqz.conf.lock a folder"
rmdir "$SETTINGS.lock"
log "hqz.conf.lock a folder: the save failed with a box, the clock ran on"

# 5.
rm -f "$SETTINGS"
mkfifo "$SETTINGS"
start_clock
wait_for 10 clock_window "$CLOCK_PID" >/dev/null || fail "a settings file that is a named pipe stopped the start"
expect_box settings-fifo "no box when hqz.conf is a named pipe"
answer_box "$BOX" || fail "the box did not close on Return"
end_clock "hqz.conf a named pipe"
[ -p "$SETTINGS" ] || fail "the named pipe hqz.conf was replaced"
rm -f "$SETTINGS"
log "hqz.conf a named pipe: a box, defaults, the pipe left alone"

# 6.
write_settings "Last%20Check=12345678" X=1500 Y=1500 Visible=True
cp "$SETTINGS" "$E2E_WORK/settings.before"
rm -f "$PROG_DIR/Alarms.dat"
mkdir "$PROG_DIR/Alarms.dat"
start_clock
expect_box dat-folder "no start-up error box when Alarms.dat is a folder"
kill -TERM "$CLOCK_PID"
wait_for_exit "$CLOCK_PID" 10 || fail "SIGTERM did not end the program while its start-up error box was up"
cmp -s "$E2E_WORK/settings.before" "$SETTINGS" || fail "a clock that never loaded wrote hqz.conf: $(cat "$SETTINGS")"
rmdir "$PROG_DIR/Alarms.dat"
log "SIGTERM during the start-up error box ended the program and left hqz.conf alone"

# 7. Hidden clocks that a second start must bring up.
write_settings Visible=False
DEEP=$E2E_WORK/$(printf 'd%.0s' $(seq 60))/$(printf 'e%.0s' $(seq 60))
mkdir -p "$DEEP"
chmod 700 "$DEEP"
launch XDG_RUNTIME_DIR="$DEEP" XDG_CACHE_HOME="$E2E_WORK/cache" --
FIRST=$CLOCK_PID
wait_for 10 sh -c "[ -f '$DEEP/tockwise.lock' ] && grep -q . '$DEEP/tockwise.lock'" || fail "the first copy took no lock"
sleep 0.5
clock_shown && fail "the clock is shown although it was stored hidden"
launch XDG_RUNTIME_DIR="$DEEP" XDG_CACHE_HOME="$E2E_WORK/cache" --
wait_for_exit "$CLOCK_PID" 10 || fail "a second start did not end (socket path too long)"
wait_for 5 clock_window "$FIRST" >/dev/null || fail "a socket path too long for the system: the second start did not bring up the clock"
CLOCK_PID=$FIRST
end_clock "a deep runtime folder"

write_settings Visible=False
mkdir -m 700 "$E2E_WORK/here" "$E2E_WORK/there"
(cd "$E2E_WORK/here" && launch XDG_RUNTIME_DIR=. XDG_CACHE_HOME="$E2E_WORK/cache" -- && echo "$CLOCK_PID" >"$E2E_WORK/first.pid")
FIRST=$(cat "$E2E_WORK/first.pid")
E2E_PIDS+=($FIRST)
sleep 1
(cd "$E2E_WORK/there" && launch XDG_RUNTIME_DIR=. XDG_CACHE_HOME="$E2E_WORK/cache" -- && echo "$CLOCK_PID" >"$E2E_WORK/second.pid")
SECOND=$(cat "$E2E_WORK/second.pid")
wait_for_exit "$SECOND" 10 || fail "a relative XDG_RUNTIME_DIR let a second copy run from another folder"
wait_for 5 clock_window "$FIRST" >/dev/null || fail "a relative XDG_RUNTIME_DIR: the second start did not bring up the clock"
[ -e "$E2E_WORK/here/tockwise.lock" ] && fail "the lock was put in the working folder"
CLOCK_PID=$FIRST
end_clock "a relative XDG_RUNTIME_DIR"
log "a socket path too long and a relative XDG_RUNTIME_DIR: one clock, brought up by a second start"

# 8.
status=0
env -u DISPLAY "$PROG_DIR/tockwise" >"$E2E_WORK/nodisplay.log" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "no display ended with status $status, not 1"
grep -q "no usable display" "$E2E_WORK/nodisplay.log" || fail "no display: no plain message ($(cat "$E2E_WORK/nodisplay.log"))"
status=0
"$PROG_DIR/tockwise" -platform nosuchplatform >"$E2E_WORK/nodisplay.log" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "-platform with a wrong name ended with status $status, not 1"
log "no usable display: status 1 and a plain message"
