#!/usr/bin/env bash
# The single-copy lock where another local user could plant one. Without
# XDG_RUNTIME_DIR, Qt's runtime folder lies in the shared temporary folder;
# when another user has taken its name, the old fallback was the shared
# temporary folder itself, where a lock naming that user's live process kept
# this user's clock from ever starting.
# 1. XDG_RUNTIME_DIR unset, the runtime folder name and a live lock taken by
#    user nobody in the shared temporary folder: the clock starts; its lock and
#    socket are in $XDG_CACHE_HOME/tockwise (mode 0700); the planted lock is
#    left alone; a second start still ends at once.
# 2. That folder left with mode 0755: set back to 0700 and used.
# 3. XDG_RUNTIME_DIR open to everyone, with a planted lock: not used.
# 4. That folder owned by another user: a "Tockwise" box says why, and the
#    program ends without a clock and without writing there.
source "$(dirname "$0")/lib.sh" "$@"

command -v setpriv >/dev/null || fail "setpriv (util-linux) is needed to run a process as another user"
[ "$(id -u)" -eq 0 ] || skip "planting another user's files needs root"

SHARED=$E2E_WORK/shared-tmp
mkdir -m 1777 "$SHARED"
export TMPDIR=$SHARED
export XDG_CACHE_HOME=$E2E_WORK/cache
OWN=$XDG_CACHE_HOME/tockwise
unset XDG_RUNTIME_DIR

# A live process of user nobody, and a lock of its own naming it, as another
# user running a copy of some program would leave it.
setpriv --reuid=65534 --regid=65534 --clear-groups sleep 600 &
SLEEPER=$!
E2E_PIDS+=($SLEEPER)
# plant_lock FOLDER: a lock file of nobody's in FOLDER naming the sleeper.
plant_lock() {
    printf '%s\nsleep\n%s\n' "$SLEEPER" "$(hostname)" >"$1/tockwise.lock"
    chown 65534:65534 "$1/tockwise.lock"
}
mkdir -m 700 "$SHARED/runtime-$(id -un)"
chown 65534:65534 "$SHARED/runtime-$(id -un)"
plant_lock "$SHARED"
cp -p "$SHARED/tockwise.lock" "$E2E_WORK/planted.lock"

start_tray
install_program

# 1.
start_clock
wait_for 10 clock_window "$CLOCK_PID" >/dev/null ||
    fail "no clock: a lock planted by another user in the shared temporary folder stopped the start"
[ "$(stat -c '%U %a' "$OWN")" = "$(id -un) 700" ] || fail "$OWN is $(stat -c '%U %a' "$OWN"), not ours with mode 700"
[ "$(head -n1 "$OWN/tockwise.lock")" = "$CLOCK_PID" ] || fail "no lock naming $CLOCK_PID in $OWN"
[ -S "$OWN/tockwise.socket" ] || fail "no socket in $OWN"
cmp "$E2E_WORK/planted.lock" "$SHARED/tockwise.lock" || fail "the planted lock was changed"
[ "$(stat -c %U "$SHARED/tockwise.lock")" = nobody ] || fail "the planted lock was replaced"
FIRST=$CLOCK_PID
start_clock
wait_for_exit "$CLOCK_PID" 10 || fail "a second start did not end"
kill -0 "$FIRST" 2>/dev/null || fail "the first copy ended"
kill "$FIRST"
wait_for_exit "$FIRST" 5 || fail "the clock did not end on SIGTERM"
log "with XDG_RUNTIME_DIR unset and a foreign lock in $SHARED the clock started, its lock in $OWN"

# 2.
chmod 755 "$OWN"
start_clock
wait_for 10 clock_window "$CLOCK_PID" >/dev/null || fail "no clock with $OWN at mode 755"
[ "$(stat -c %a "$OWN")" = 700 ] || fail "$OWN is left at mode $(stat -c %a "$OWN")"
kill "$CLOCK_PID"
wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end on SIGTERM"
log "$OWN at mode 755 was set back to 700"

# 3.
OPEN_RUN=$E2E_WORK/open-run
mkdir -m 777 "$OPEN_RUN"
chmod 777 "$OPEN_RUN"
plant_lock "$OPEN_RUN"
launch XDG_RUNTIME_DIR="$OPEN_RUN" --
wait_for 10 clock_window "$CLOCK_PID" >/dev/null || fail "a lock in an XDG_RUNTIME_DIR open to everyone stopped the start"
[ "$(head -n1 "$OWN/tockwise.lock")" = "$CLOCK_PID" ] || fail "the lock is not in $OWN"
kill "$CLOCK_PID"
wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end on SIGTERM"
log "an XDG_RUNTIME_DIR of mode 777 was passed over"

# 4.
rm -rf "$OWN"
mkdir -m 700 "$OWN"
chown 65534:65534 "$OWN"
start_clock
box=$(wait_for_message_box 10) || fail "no \"Tockwise\" box when $OWN belongs to another user"
sleep 0.3
screenshot foreign-folder
answer_box "$box" || fail "the box did not close on Return"
wait_for_exit "$CLOCK_PID" 10 || fail "the program did not end after the box"
clock_shown && fail "a clock is shown although no lock could be taken"
grep -q "$OWN" "$E2E_WORK/clock.log" || fail "the reason was not written to standard error"
[ -z "$(ls -A "$OWN")" ] || fail "the program wrote into another user's folder: $(ls -A "$OWN")"
log "$OWN owned by nobody: refused with a box, nothing written there"
