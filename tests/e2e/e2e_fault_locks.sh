#!/usr/bin/env bash
# The single-copy lock after faults:
# 1. A copy killed with SIGKILL leaves its lock file behind; the next start
#    takes it over and shows the clock.
# 2. A copy started with "restart" while the old copy still runs waits a few
#    seconds, then shows the running clock and ends.
# 3. A plain second start shows the running clock and ends.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/../faults/e2e_helpers.sh"

LOCK=$XDG_RUNTIME_DIR/tockwise.lock

# The visible 200 x 70 clock of process $1, waiting up to $2 seconds.
clock_of() { wait_for "$2" clock_window "$1"; }

start_tray
install_program

# 1. A crash's lock.
start_clock
clock_of "$CLOCK_PID" 10 >/dev/null || fail "the first copy showed no clock"
[ -s "$LOCK" ] || fail "no lock file at $LOCK while the clock runs"
[ "$(head -n1 "$LOCK")" = "$CLOCK_PID" ] || fail "the lock names $(head -n1 "$LOCK"), not $CLOCK_PID"
kill -9 "$CLOCK_PID"
wait "$CLOCK_PID" 2>/dev/null || true
[ -s "$LOCK" ] || fail "SIGKILL left no lock behind, so this proves nothing"
log "killed $CLOCK_PID; its lock is still there"

start=$(date +%s%N)
start_clock
clock_of "$CLOCK_PID" 10 >/dev/null || fail "after a crash the next start showed no clock (the old lock blocked it?)"
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
sleep 1
kill -0 "$CLOCK_PID" 2>/dev/null || fail "the copy started after the crash ended"
[ "$(head -n1 "$LOCK")" = "$CLOCK_PID" ] || fail "the new copy did not take the lock over (it names $(head -n1 "$LOCK"))"
log "the next start took the crash's lock over and showed the clock after $elapsed ms"
OLD_PID=$CLOCK_PID

# 2. "restart" typed by hand while the copy runs: after waiting for the lock
#    the new copy asks the running one to show its clock and ends, so there are
#    never two clocks ringing every alarm twice.
CLOCK_WIN=$(clock_of "$OLD_PID" 5) || fail "the running copy shows no clock"
main_menu_choose 3
wait_until gone clock_shown || fail "Hide left the clock on screen"
start=$(date +%s%N)
"$PROG_DIR/tockwise" restart >>"$E2E_WORK/clock.log" 2>&1 || fail "the \"restart\" copy failed"
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$elapsed" -lt 10000 ] || fail "the \"restart\" copy took $elapsed ms to end"
kill -0 "$OLD_PID" 2>/dev/null || fail "the running copy ended"
wait_for_clock
[ "$(program_pids | wc -l)" -eq 1 ] || fail "two copies run: $(program_pids | tr '\n' ' ')"
log "\"restart\" beside a running copy ended after $elapsed ms and showed the hidden clock"

# 3. A plain second start with a tray on the desktop shows the hidden clock too.
main_menu_choose 3
wait_until gone clock_shown || fail "Hide left the clock on screen"
"$PROG_DIR/tockwise" >>"$E2E_WORK/clock.log" 2>&1 || fail "the second copy failed"
wait_for_clock
[ "$(program_pids | wc -l)" -eq 1 ] || fail "two copies run: $(program_pids | tr '\n' ' ')"
log "a second start showed the hidden clock and ended"
