#!/usr/bin/env bash
# While an alarm rings the computer stays awake and the music pauses, on the
# real program with stand-ins for logind (a private system bus) and for the
# desktop's services and three media players (a private session bus).
# 1. The 08:00 alarm rings with a portal on the desktop: logind's inhibitor
#    (sleep:idle, Tockwise, the alarm's name, block) and the portal's (flags
#    4 | 8) are taken with the first chime; the two playing players are paused,
#    the paused one is left alone. The user stops one of the two meanwhile.
#    The notification's X: logind's descriptor is closed within a second (its
#    pipe sees end-of-file), the portal's request is closed, and only the
#    player still paused as the ring left it plays again.
# 2. No portal, the screen saver's and the power manager's interfaces instead:
#    both are held, and the program ended mid-ring releases everything and
#    plays its paused player again on its way out.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"
source "$(dirname "$0")/lib_wm.sh"

export TZ=UTC
export TOCKWISE_TRACE=1
now() { date +%s.%N; }
# within SECONDS FROM TO: TO came no later than SECONDS after FROM.
within() { python3 -c 'import sys; a, b, c = map(float, sys.argv[1:]); sys.exit(not (0 <= c - b <= a))' "$@"; }
# first_line FILE PATTERN: the first line matching.
first_line() { grep -m1 -E "$2" "$1"; }
has_line() { grep -qE "$2" "$1"; }

# The system's session manager on a bus of the test's own.
out=$(dbus-daemon --config-file=/usr/share/dbus-1/session.conf --fork --print-address=1 --print-pid=1) ||
    fail "no bus for the session manager"
DBUS_SYSTEM_BUS_ADDRESS=$(sed -n 1p <<<"$out")
export DBUS_SYSTEM_BUS_ADDRESS
E2E_PIDS+=("$(sed -n 2p <<<"$out")")
LOGIND=$E2E_WORK/logind.txt
/usr/bin/python3 "$(dirname "$0")/fake_logind.py" "$DBUS_SYSTEM_BUS_ADDRESS" >"$LOGIND" 2>&1 &
E2E_PIDS+=($!)
wait_for 10 grep -q ready "$LOGIND" || fail "the stand-in session manager did not start: $(cat "$LOGIND")"
start_session_bus

# start_desktop MODE PLAYERS...: the desktop's stand-in, fed what the user does
# on descriptor 3; its record is $DESKTOP.
start_desktop() {
    DESKTOP=$E2E_WORK/desktop-$1.txt
    rm -f "$E2E_WORK/user"
    mkfifo "$E2E_WORK/user"
    /usr/bin/python3 "$(dirname "$0")/fake_desktop.py" "$DBUS_SESSION_BUS_ADDRESS" "$@" <"$E2E_WORK/user" >"$DESKTOP" 2>&1 &
    DESKTOP_PID=$!
    E2E_PIDS+=($DESKTOP_PID)
    exec 3>"$E2E_WORK/user"
    wait_for 10 grep -q ready "$DESKTOP" || fail "the stand-in desktop did not start: $(cat "$DESKTOP")"
}

start_wm
start_tray
install_program

# 1.
start_desktop portal radio=Playing video=Playing podcast=Paused
write_alarms "$PROG_DIR/Alarms.dat" 'Tea|daily|08:00'
offset=$(offset_to '2024-03-07 08:00:00' 4)
start_clock "$offset"
wait_for_clock
note=$(wait_for 15 notification) || fail "the 08:00 alarm did not ring"
wait_for 3 has_line "$LOGIND" '^inhibit ' || fail "no inhibitor taken from logind: $(cat "$LOGIND")"
read -r _ taken fields < <(first_line "$LOGIND" '^inhibit ')
[ "$fields" = 'sleep:idle|Tockwise|The alarm "Tea" is ringing|block' ] || fail "logind was asked for: $fields"
# The first chime sounds as the window opens: its trace, in the faked clock's
# milliseconds, put back on the real clock.
rang=$(python3 -c "print($(traces notification-shown | head -n1 | cut -d' ' -f1) / 1000 - $offset)")
# (the inhibitor is asked for as the window is shown, a little before that
# trace is written)
within 1 "$(python3 -c "print($rang - 0.1)")" "$taken" || fail "the inhibitor was taken at $taken, the first chime at $rang"
wait_for 3 has_line "$DESKTOP" ' portal-inhibit 12 ' || fail "the portal's inhibitor was not taken: $(cat "$DESKTOP")"
request=$(first_line "$DESKTOP" ' portal-inhibit ' | awk '{print $NF}')
wait_for 3 eval '[ "$(grep -c " pause " "$DESKTOP")" = 2 ]' || fail "the two playing players were not paused: $(cat "$DESKTOP")"
has_line "$DESKTOP" ' pause radio$' && has_line "$DESKTOP" ' pause video$' || fail "not the playing ones paused: $(cat "$DESKTOP")"
log "ringing: logind (taken $(python3 -c "print(round(abs($taken - $rang), 3))") s from the first chime) and portal inhibitors held, radio and video paused"

echo "video Stopped" >&3
wait_for 3 has_line "$DESKTOP" ' user video Stopped' || fail "the stand-in did not hear the user"
read -r nx ny < <(window_position "$note")
closed=$(now)
xdotool mousemove $((nx + 384)) $((ny + 16)) click 1
wait_until gone notification >/dev/null || fail "X left the notification open"
wait_for 3 has_line "$LOGIND" '^released ' || fail "logind's descriptor was not closed: $(cat "$LOGIND")"
released=$(first_line "$LOGIND" '^released ' | awk '{print $2}')
within 1 "$closed" "$released" || fail "released $(python3 -c "print(round($released - $closed, 3))") s after the X"
wait_for 3 has_line "$DESKTOP" " portal-close $request\$" || fail "the portal's request was not closed: $(cat "$DESKTOP")"
wait_for 3 has_line "$DESKTOP" ' play radio$' || fail "radio did not play again: $(cat "$DESKTOP")"
stays_false 1 has_line "$DESKTOP" ' play video$' || fail "the video the user stopped was played again"
has_line "$DESKTOP" ' (play|pause) podcast$' && fail "the podcast nobody played was touched: $(cat "$DESKTOP")"
log "closed: released $(python3 -c "print(round($released - $closed, 3))") s after the X, radio plays again, the stopped video stays stopped"

kill "$CLOCK_PID"
wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end on SIGTERM"
exec 3>&-
kill "$DESKTOP_PID"
wait_for_exit "$DESKTOP_PID" 5 || fail "the stand-in desktop did not end"

# 2.
start_desktop screensaver radio=Playing
write_alarms "$PROG_DIR/Alarms.dat" 'Walk|daily|08:05'
start_clock "$(offset_to '2024-03-07 08:05:00' 4)"
wait_for_clock
wait_for 15 notification >/dev/null || fail "the 08:05 alarm did not ring"
wait_for 3 eval '[ "$(grep -c "^inhibit " "$LOGIND")" = 2 ]' || fail "no second inhibitor from logind: $(cat "$LOGIND")"
for path in /org/freedesktop/ScreenSaver /org/freedesktop/PowerManagement/Inhibit; do
    wait_for 3 has_line "$DESKTOP" " inhibit $path [0-9]+ Tockwise The alarm \"Walk\" is ringing\$" ||
        fail "$path was not held: $(cat "$DESKTOP")"
done
wait_for 3 has_line "$DESKTOP" ' pause radio$' || fail "radio was not paused: $(cat "$DESKTOP")"
kill "$CLOCK_PID"
wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end on SIGTERM"
wait_for 3 eval '[ "$(grep -c "^released " "$LOGIND")" = 2 ]' || fail "the ended clock's inhibitor stayed"
wait_for 3 has_line "$DESKTOP" ' play radio$' || fail "radio did not play again when the clock ended mid-ring: $(cat "$DESKTOP")"
log "screen saver and power manager held; ended mid-ring: released, radio plays again"
grep -v '^tockwise-trace' "$E2E_WORK/clock.log" | grep -q . && fail "the clock printed: $(grep -v '^tockwise-trace' "$E2E_WORK/clock.log")"
exit 0
