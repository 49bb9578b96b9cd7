#!/usr/bin/env bash
# Waking the computer for an alarm, read from the running clock's
# /proc/PID/fdinfo (CLOCK_REALTIME_ALARM is clock id 8). Run as root, which
# holds CAP_WAKE_ALARM:
# 1. "--wake-from-suspend on" and a Daily 07:00 alarm: one wake timer, armed
#    for the next 07:00.
# 2. An alarm added through the running clock for three minutes ahead: the
#    timer is armed for that minute at once.
# 3. "--wake-from-suspend off": the timer is gone.
# 4. An ordinary user, who lacks the capability, with the option on: no wake
#    timer, one line on standard error, and the alarm rings as before.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"

[ "$(id -u)" -eq 0 ] || skip "arming a wake timer and running as another user need root"
command -v setpriv >/dev/null || fail "setpriv (util-linux) is needed to run the clock as another user"
export TZ=UTC

# wake_timer PID: the seconds the process's wake timer has left; nothing when
# it has none.
wake_timer() {
    local fd info
    for fd in /proc/"$1"/fd/*; do
        [ "$(readlink "$fd" 2>/dev/null)" = "anon_inode:[timerfd]" ] || continue
        info=/proc/$1/fdinfo/${fd##*/}
        grep -q '^clockid: 8$' "$info" 2>/dev/null && sed -n 's/^it_value: (\([0-9]*\), .*/\1/p' "$info"
    done
}
# seconds_to HH:MM: from now to the next time the wall clock shows that minute.
seconds_to() {
    python3 -c '
import datetime, sys
now = datetime.datetime.utcnow()
h, m = map(int, sys.argv[1].split(":"))
t = now.replace(hour=h, minute=m, second=0, microsecond=0)
if t <= now:
    t += datetime.timedelta(days=1)
print(int((t - now).total_seconds()))' "$1"
}
# near EXPECTED ACTUAL: within two seconds.
near() { [ -n "$2" ] && [ $(($1 - $2)) -le 2 ] && [ $(($2 - $1)) -le 2 ]; }
armed_near() { near "$1" "$(wake_timer "$CLOCK_PID")"; }
no_wake_timer() { [ -z "$(wake_timer "$CLOCK_PID")" ]; }

start_tray
install_program

# 1.
"$PROG_DIR/tockwise" --add Morning --at 07:00 --daily >/dev/null 2>&1 || fail "--add failed"
"$PROG_DIR/tockwise" --wake-from-suspend on >/dev/null || fail "--wake-from-suspend on failed"
[ "$("$PROG_DIR/tockwise" --wake-from-suspend)" = on ] || fail "--wake-from-suspend does not say on"
start_clock
wait_for_clock
wait_for 5 armed_near "$(seconds_to 07:00)" || fail "no wake timer for 07:00: '$(wake_timer "$CLOCK_PID")' s left, expected $(seconds_to 07:00)"
[ "$(wake_timer "$CLOCK_PID" | wc -l)" -eq 1 ] || fail "more than one wake timer"
log "armed for the next 07:00 ($(wake_timer "$CLOCK_PID") s)"

# 2.
soon=$(date -u -d '+3 minutes' +%H:%M)
"$PROG_DIR/tockwise" --add Soon --at "$soon" --daily >/dev/null 2>&1 || fail "--add through the running clock failed"
wait_for 5 armed_near "$(seconds_to "$soon")" || fail "not re-armed for $soon after the alarm was added: '$(wake_timer "$CLOCK_PID")' s left"
log "re-armed for $soon at once"

# 3.
"$PROG_DIR/tockwise" --wake-from-suspend off >/dev/null || fail "--wake-from-suspend off failed"
wait_for 5 no_wake_timer || fail "the wake timer stayed after --wake-from-suspend off"
kill "$CLOCK_PID"
wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end on SIGTERM"
grep -q "will not be woken" "$E2E_WORK/clock.log" && fail "root was refused the wake timer: $(cat "$E2E_WORK/clock.log")"
log "disarmed with --wake-from-suspend off"

# 4.
USER_HOME=$(mktemp -d /tmp/e2e_wake_user.XXXXXX)
E2E_CLEAN_USER_HOME=$USER_HOME
trap 'rm -rf "$E2E_CLEAN_USER_HOME"; e2e_cleanup' EXIT
chmod 755 "$USER_HOME"
mkdir -p "$USER_HOME/prog" "$USER_HOME/config" "$USER_HOME/data/tockwise" "$USER_HOME/run"
cp "$PROG_DIR/tockwise" "$USER_HOME/prog/"
write_alarms "$USER_HOME/data/tockwise/Alarms.dat" 'Tea|daily|08:00'
printf '[Digital%%20Clock]\nWake%%20From%%20Suspend=True\n' >"$USER_HOME/config/hqz.conf"
chown -R 65534:65534 "$USER_HOME/config" "$USER_HOME/data" "$USER_HOME/run"
chmod 700 "$USER_HOME/run"
offset=$(printf '%+d' $(($(date -d '2024-03-07 08:00:00' +%s) - $(date +%s) - 4)))
setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$USER_HOME" XDG_CONFIG_HOME="$USER_HOME/config" \
    XDG_DATA_HOME="$USER_HOME/data" XDG_RUNTIME_DIR="$USER_HOME/run" XDG_CACHE_HOME="$USER_HOME/data" \
    LD_PRELOAD="$(faketime_lib)" FAKETIME="$offset" FAKETIME_DONT_RESET=1 FAKETIME_DONT_FAKE_MONOTONIC=1 \
    TOCKWISE_TRACE=1 "$USER_HOME/prog/tockwise" >"$E2E_WORK/user.log" 2>&1 &
CLOCK_PID=$!
E2E_PIDS+=($CLOCK_PID)
wait_for 10 sh -c "grep -qs '^tockwise-trace ring ' '$E2E_WORK/user.log'" ||
    fail "the alarm did not ring for an ordinary user: $(cat "$E2E_WORK/user.log")"
no_wake_timer || fail "an ordinary user's clock holds a wake timer"
[ "$(grep -c "will not be woken" "$E2E_WORK/user.log")" -eq 1 ] ||
    fail "not one line on standard error about the refused wake timer: $(grep -v '^tockwise-trace' "$E2E_WORK/user.log")"
log "an ordinary user: $(grep "will not be woken" "$E2E_WORK/user.log")"
kill "$CLOCK_PID"
wait_for_exit "$CLOCK_PID" 10 || fail "the user's clock did not end on SIGTERM"
