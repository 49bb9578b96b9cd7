#!/usr/bin/env bash
# The single-copy lock after faults:
# 1. A copy killed with SIGKILL leaves its lock file behind; the next start
#    takes it over and shows the clock.
# 2. A copy started with "restart" while the old copy still runs does not
#    wait for it for ever: it starts and shows its own clock.
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

# 2. "restart" with the old copy still running.
start=$(date +%s%N)
start_clock "" restart
NEW_PID=$CLOCK_PID
clock_of "$NEW_PID" 15 >/dev/null || fail "the copy started with \"restart\" showed no clock"
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
screenshot restart
[ "$elapsed" -lt 10000 ] || fail "the restarted copy took $elapsed ms to show its clock"
kill -0 "$NEW_PID" 2>/dev/null || fail "the restarted copy ended"
kill -0 "$OLD_PID" 2>/dev/null || log "(the old copy has ended meanwhile)"
log "\"restart\" beside a running copy showed its clock after $elapsed ms"
