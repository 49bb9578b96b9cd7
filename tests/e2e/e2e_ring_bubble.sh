#!/usr/bin/env bash
# A ringing alarm is also a bubble of the desktop's notification server, with
# Snooze and Dismiss, on the real program with a stand-in server on a private
# session bus.
# 1. Tea, Walk and Read ring at 08:00: one Notify each, with the program's
#    name and icon, the alarm's name, the window's time line, both actions,
#    urgency critical, the desktop entry, no sound of the server's and no
#    time-out.
# 2. The server takes Read's bubble away on its own: Read's window rings on.
#    Dismiss in Tea's bubble closes Tea's window; Snooze 10 Minutes in Walk's
#    snoozes Walk (kept on disk). Read's window closed by its X. Each window
#    that closes withdraws its bubble.
# 3. Started again at 08:09:57, the snoozed Walk rings at 08:10 with a new
#    bubble, which the program ended mid-ring withdraws.
# 4. With a real server (xfce4-notifyd) the bubble is on screen with the
#    alarm's name, the time line and both buttons; its Dismiss button closes
#    the alarm's window.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"
source "$(dirname "$0")/lib_wm.sh"

export TZ=UTC
export TOCKWISE_TRACE=1
SNOOZES=$XDG_DATA_HOME/tockwise/snoozes
windows() { xdotool search --onlyvisible --name '^Alarm Notification$' 2>/dev/null | wc -l; }
windows_are() { [ "$(windows)" = "$1" ]; }
has_line() { grep -qE "$2" "$1"; }
# bubble NAME: the id of the last bubble of that alarm.
bubble() { awk -v name="$1" '$2 == "notify" { split($0, f, "|"); if (f[4] == name) id = $3 } END { if (id) print id; else exit 1 }' "$SERVER"; }

start_session_bus
SERVER=$E2E_WORK/server.txt
mkfifo "$E2E_WORK/user"
/usr/bin/python3 "$(dirname "$0")/fake_notifications.py" "$DBUS_SESSION_BUS_ADDRESS" actions body <"$E2E_WORK/user" >"$SERVER" 2>&1 &
STANDIN_PID=$!
E2E_PIDS+=($STANDIN_PID)
exec 3>"$E2E_WORK/user"
wait_for 10 grep -q ready "$SERVER" || fail "the stand-in server did not start: $(cat "$SERVER")"

start_wm
start_tray
install_program

# 1.
write_alarms "$PROG_DIR/Alarms.dat" 'Tea|daily|08:00' 'Walk|daily|08:00' 'Read|daily|08:00'
start_clock "$(offset_to '2024-03-07 08:00:00' 4)"
wait_for_clock
wait_for 15 windows_are 3 || fail "the three 08:00 alarms did not ring: $(windows) windows"
wait_for 3 eval '[ "$(grep -c " notify " "$SERVER")" = 3 ]' || fail "not one bubble per alarm: $(cat "$SERVER")"
for name in Tea Walk Read; do
    line=$(grep -E " notify [0-9]+ [^|]*\|[^|]*\|[^|]*\|$name\|" "$SERVER") || fail "no bubble for $name: $(cat "$SERVER")"
    IFS='|' read -r app replaces icon summary body actions hints timeout <<<"${line#* notify * }"
    [ "$app|$replaces|$icon|$summary" = "Tockwise|0|example.varnod.Tockwise|$name" ] || fail "$name's bubble: $line"
    [[ $body == *08:00* ]] || fail "$name's bubble does not give the time line: $body"
    [ "$actions" = 'snooze,Snooze 10 Minutes,dismiss,Dismiss' ] || fail "$name's actions: $actions"
    [ "$hints" = 'desktop-entry=s:example.varnod.Tockwise,suppress-sound=b:True,urgency=y:2' ] || fail "$name's hints: $hints"
    [ "$timeout" = 0 ] || fail "$name's bubble expires: $timeout"
done
tea=$(bubble Tea) walk=$(bubble Walk) reading=$(bubble Read)
log "three bubbles ($body): $hints"

# 2.
echo "closed $reading 1" >&3
wait_for 3 has_line "$SERVER" " sent closed $reading " || fail "the stand-in did not close Read's bubble"
stays_false 2 eval '! windows_are 3' || fail "the server closing a bubble closed its window"
echo "action $tea dismiss" >&3
wait_for 5 windows_are 2 || fail "Dismiss in the bubble left Tea's window open"
wait_for 3 has_line "$SERVER" " close $tea\$" || fail "Tea's bubble was not withdrawn: $(cat "$SERVER")"
echo "action $walk snooze" >&3
wait_for 5 windows_are 1 || fail "Snooze in the bubble left Walk's window open"
wait_for 3 has_line "$SERVER" " close $walk\$" || fail "Walk's bubble was not withdrawn: $(cat "$SERVER")"
[ "$(wc -l <"$SNOOZES" 2>/dev/null)" = 1 ] && grep -q $'\tWalk$' "$SNOOZES" ||
    fail "the bubble's snooze is not Walk's alone: $(cat "$SNOOZES" 2>/dev/null)"
has_line "$SERVER" " close $reading\$" && fail "Read's bubble was withdrawn with its window still open"
note=$(named_window 'Alarm Notification') || fail "Read's window went"
read -r nx ny < <(window_position "$note")
xdotool mousemove $((nx + 384)) $((ny + 16)) click 1
wait_for 5 windows_are 0 || fail "X left Read's window open"
wait_for 3 has_line "$SERVER" " close $reading\$" || fail "Read's window closed by X left its bubble: $(cat "$SERVER")"
log "server's close: window stays; Dismiss and Snooze 10 Minutes from the bubble; X withdraws"
kill "$CLOCK_PID"
wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end on SIGTERM"

# 3.
start_clock "$(offset_to '2024-03-07 08:10:00' 3)"
wait_for_clock
wait_for 15 windows_are 1 || fail "the snoozed Walk did not ring again"
wait_for 3 eval '[ "$(grep -c "|Walk|" "$SERVER")" = 2 ]' || fail "the snoozed Walk rang without a new bubble: $(cat "$SERVER")"
again=$(bubble Walk)
[ "$again" != "$walk" ] || fail "the snooze's bubble is the old one"
kill "$CLOCK_PID"
wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end on SIGTERM"
has_line "$SERVER" " close $again\$" || fail "the program ended mid-ring left its bubble: $(cat "$SERVER")"
log "the snooze rang with a new bubble, withdrawn when the program ended"

# 4.
exec 3>&-
kill "$STANDIN_PID"
wait_for_exit "$STANDIN_PID" 5 || fail "the stand-in server did not end"
notifyd=$(ls /usr/lib/*/xfce4/notifyd/xfce4-notifyd 2>/dev/null | head -n1)
[ -n "$notifyd" ] || fail "xfce4-notifyd is not installed"
# The program's icon where an installed copy has it.
icon=$(dirname "$E2E_PROGRAM")/../resources/generated/icons/tockwise.svg
mkdir -p "$XDG_DATA_HOME/icons/hicolor/scalable/apps"
cp "$icon" "$XDG_DATA_HOME/icons/hicolor/scalable/apps/example.varnod.Tockwise.svg"
"$notifyd" >"$E2E_WORK/notifyd.log" 2>&1 &
E2E_PIDS+=($!)
notifyd_up() {
    gdbus call --session --dest org.freedesktop.Notifications --object-path /org/freedesktop/Notifications \
        --method org.freedesktop.Notifications.GetServerInformation 2>/dev/null | grep -q Xfce
}
wait_for 10 notifyd_up || fail "xfce4-notifyd did not start: $(cat "$E2E_WORK/notifyd.log")"
bubble_window() { xdotool search --onlyvisible --name '^xfce4-notifyd$' 2>/dev/null | head -n1 | grep .; }
write_alarms "$PROG_DIR/Alarms.dat" 'Nap|daily|08:20'
start_clock "$(offset_to '2024-03-07 08:20:00' 4)"
wait_for_clock
wait_for 15 windows_are 1 || fail "the 08:20 alarm did not ring"
shown=$(wait_for 5 bubble_window) || fail "no bubble of xfce4-notifyd on screen"
read -r bx by < <(window_position "$shown")
read -r bw bh < <(xdotool getwindowgeometry "$shown" | awk '/Geometry/ {split($2, g, "x"); print g[1], g[2]}')
[ "$bw" -ge 250 ] && [ "$bh" -ge 90 ] || fail "the bubble is ${bw}x$bh, too small for its buttons"
screenshot xfce4-notifyd
# Dismiss is the right-hand button along the bubble's foot.
xdotool mousemove $((bx + bw * 3 / 4)) $((by + bh - 30)) click 1
wait_for 5 windows_are 0 || fail "Dismiss in xfce4-notifyd's bubble left the alarm's window open"
wait_until gone bubble_window || fail "the bubble stayed after Dismiss"
kill "$CLOCK_PID"
wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end on SIGTERM"
log "xfce4-notifyd showed a ${bw}x$bh bubble; its Dismiss button closed the alarm's window"
grep -v '^tockwise-trace' "$E2E_WORK/clock.log" | grep -q . && fail "the clock printed: $(grep -v '^tockwise-trace' "$E2E_WORK/clock.log")"
exit 0
