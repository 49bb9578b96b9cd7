#!/usr/bin/env bash
# The ways a session ends the program all save first:
# 1. An alarm that rang is on disk at once: a SIGKILL right after it does not
#    bring it back as missed at the next start.
# 2. SIGTERM, SIGHUP and SIGINT save the clock's new position and end it.
# 3. The X server going away (the end of a login) saves it too.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"

install_program

# drag_clock: moves the clock 40 pixels right and 20 down; prints its new
# position in twips as "X Y".
drag_clock() {
    local x y
    read -r x y < <(window_position "$CLOCK_WIN")
    xdotool mousemove $((x + 100)) $((y + 35)) mousedown 1
    sleep 0.2
    xdotool mousemove $((x + 120)) $((y + 45))
    sleep 0.2
    xdotool mousemove $((x + 140)) $((y + 55)) mouseup 1
    sleep 0.3
    read -r x y < <(window_position "$CLOCK_WIN")
    echo "$((x * 15)) $((y * 15))"
}

# 1. Rang, then killed.
write_alarms "$PROG_DIR/Alarms.dat" 'Eight|daily|08:00'
write_settings "Last%20Check=$(minute_of '2024-03-07 07:59')" "Visible=True"
start_movable_clock "$(utc_epoch '2024-03-07 07:59:57')"
wait_for_clock
wait_for_trace ring 1 10 || fail "the 08:00 alarm did not ring"
sleep 0.3
kill -9 "$CLOCK_PID"
wait "$CLOCK_PID" 2>/dev/null || true
[ "$(setting 'Last%20Check')" = "$(minute_of '2024-03-07 08:00')" ] ||
    fail "killed after the alarm rang, Last Check is $(setting 'Last%20Check'): it would come back as missed"
start_movable_clock "$(utc_epoch '2024-03-07 08:00:30')"
wait_for_clock
sleep 0.5
[ -z "$(traces missed)" ] || fail "the alarm that rang came back as missed: $(trace_texts missed)"
# Reaped before the next start, or that start could still find this copy
# running and hand over to it.
kill -9 "$CLOCK_PID"
wait "$CLOCK_PID" 2>/dev/null || true
log "an alarm that rang is saved at once: killed and started again, nothing missed"

# 2. Signals.
for signal in TERM HUP INT; do
    start_clock
    CLOCK_WIN=$(wait_for 10 clock_window "$CLOCK_PID") || fail "the clock did not appear"
    read -r want_x want_y < <(drag_clock)
    kill -s "$signal" "$CLOCK_PID"
    wait_for_exit "$CLOCK_PID" 10 || fail "SIG$signal did not end the program"
    status=0
    wait "$CLOCK_PID" || status=$?
    [ "$(setting X) $(setting Y)" = "$want_x $want_y" ] ||
        fail "after SIG$signal X Y are saved as $(setting X) $(setting Y), the clock was at $want_x $want_y"
    log "SIG$signal: the position $want_x $want_y was saved (status $status)"
done

# 3. The display goes away.
start_clock
wait_for_clock
read -r want_x want_y < <(drag_clock)
kill "$(tr -d ' ' <"/tmp/.X${DISPLAY#:}-lock")"
wait_for_exit "$CLOCK_PID" 10 || fail "the program outlived its display"
[ "$(setting X) $(setting Y)" = "$want_x $want_y" ] ||
    fail "after the X server went away X Y are saved as $(setting X) $(setting Y), the clock was at $want_x $want_y"
log "the X server went away: the position $want_x $want_y was saved"
