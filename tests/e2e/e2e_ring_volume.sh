#!/usr/bin/env bash
# A ringing alarm is heard through an output left muted at 5 %, on the real
# program with a real sound server: PulseAudio, then PipeWire's PulseAudio
# server, each with a null sink as the default output.
# 1. The 08:00 alarm rings: with the first chime the sink is unmuted and at
#    70 % (the default alarm volume), what the sink plays is loud; closed, the
#    sink is muted at 5 % again and the restore file is gone.
# 2. Killed mid-ring (SIGKILL): the sink stays as the ring left it; the next
#    start puts back muted and 5 %, once.
# 3. (PulseAudio) "--alarm-volume 90" told to the running clock: the next ring
#    raises to 90 %; the user turns the sink to 40 % mid-ring, and after the
#    close the user's 40 % stays, unmuted. "--alarm-volume off": the sink stays
#    muted through a ring, and nothing is heard. Ended by SIGTERM mid-ring, the
#    clock puts the mute and 5 % back on its way out.
# 4. (PulseAudio) The server hung (SIGSTOP): the notification still comes with
#    the minute and closes, and the program ends at once.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"
source "$(dirname "$0")/lib_wm.sh"
source "$(dirname "$0")/lib_sound.sh"

export TZ=UTC
export TOCKWISE_TRACE=1
RESTORE=$XDG_DATA_HOME/tockwise/output-volume

# sink_is "MUTE PERCENT": the null sink is so (its first channel's percentage).
sink_state() {
    local mute percent
    mute=$(pactl get-sink-mute nullsink | awk '{print $2}')
    percent=$(pactl get-sink-volume nullsink | grep -o '[0-9]*%' | head -n1)
    echo "$mute ${percent%\%}"
}
sink_is() { [ "$(sink_state)" = "$1" ]; }
expect_sink() { wait_for "${2:-3}" sink_is "$1" || fail "${3:-the sink} is $(sink_state), not $1"; }
user_sets() { pactl set-sink-volume nullsink "$1%" && pactl set-sink-mute nullsink "$2"; }

# peak FILE: the loudest sample of a recording so far, as a fraction of full scale.
peak() {
    python3 - "$1" <<'EOF'
import array, sys
data = open(sys.argv[1], "rb").read()
values = array.array("h")
samples = data[data.index(b"data") + 8:]
values.frombytes(samples[: len(samples) // 2 * 2])
print("%.3f" % (max((abs(v) for v in values), default=0) / 32768))
EOF
}
heard() { python3 -c "import sys; sys.exit(not $(peak "$1") > 0.05)"; }

# ring ALARM-MINUTE: starts the clock 6 s before that minute; waits for the
# notification ($NOTE).
ring() {
    : >"$E2E_WORK/clock.log"
    start_clock "$(offset_to "2024-03-07 $1:00" 6)"
    wait_for_clock
    NOTE=$(wait_for 15 notification) || fail "the $1 alarm did not ring"
}

end_clock() {
    kill "$CLOCK_PID"
    wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end on SIGTERM"
}

close_note() {
    local nx ny
    read -r nx ny < <(window_position "$NOTE")
    xdotool mousemove $((nx + 384)) $((ny + 16)) click 1
    wait_until gone notification >/dev/null || fail "X left the notification open"
}

# raised_after_ms: from the alarm's minute to the sink raised, as the clock saw it.
raised_after_ms() {
    local raised
    raised=$(traces output-raised | head -n1 | cut -d' ' -f1)
    echo $((raised % 60000))
}

start_wm
start_session_bus
install_program

# run_server NAME HOUR: steps 1 and 2 on the running server, with alarms at
# HOUR:00 and HOUR:05.
run_server() {
    local name=$1 hour=$2 loud
    user_sets 5 1
    expect_sink 'yes 5' 3 "the muted sink set up"

    # 1.
    write_alarms "$PROG_DIR/Alarms.dat" "Tea|daily|$hour:00" "Walk|daily|$hour:05"
    start_recording "$E2E_WORK/$name.wav"
    ring "$hour:00"
    expect_sink 'no 70' 3 "the sink of a ringing alarm"
    [ -s "$RESTORE" ] || fail "nothing kept to put back while ringing"
    wait_for_trace output-raised 1 3 || fail "the raise was not traced"
    wait_for 6 heard "$E2E_WORK/$name.wav" || fail "the ring was not heard: peak $(peak "$E2E_WORK/$name.wav") of full scale"
    stop_recording
    loud=$(peak "$E2E_WORK/$name.wav")
    close_note
    expect_sink 'yes 5' 3 "the sink after the ring"
    wait_for 3 gone test -e "$RESTORE" || fail "the restore file stayed after the ring"
    end_clock
    log "$name: unmuted and at 70 % $(raised_after_ms) ms into the minute, peak $loud of full scale; muted at 5 % again after the X"

    # 2.
    ring "$hour:05"
    expect_sink 'no 70' 3 "the sink of a ringing alarm"
    kill -KILL "$CLOCK_PID"
    wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end on SIGKILL"
    sink_is 'no 70' || fail "the sink changed when the clock was killed: $(sink_state)"
    [ -s "$RESTORE" ] || fail "nothing was kept for the next start"
    : >"$E2E_WORK/clock.log"
    start_clock "$(offset_to "2024-03-07 $hour:30:00" 0)"
    wait_for_clock
    expect_sink 'yes 5' 5 "the sink after the next start"
    wait_for 3 gone test -e "$RESTORE" || fail "the restore file stayed after the next start"
    end_clock
    log "$name: killed mid-ring, the next start put back the mute and 5 %"
}

# PulseAudio.
start_sound_server || fail "no PulseAudio server could be started"
run_server pulseaudio 08

# 3.
write_alarms "$PROG_DIR/Alarms.dat" 'Tea|daily|09:00' 'Walk|daily|09:05' 'Run|daily|09:10' 'Nap|daily|09:15'
: >"$E2E_WORK/clock.log"
start_clock "$(offset_to '2024-03-07 08:40:00' 0)"
wait_for_clock
"$PROG_DIR/tockwise" --alarm-volume 90 >"$E2E_WORK/cmd.txt" 2>&1 || fail "--alarm-volume 90 failed: $(cat "$E2E_WORK/cmd.txt")"
[ "$("$PROG_DIR/tockwise" --alarm-volume)" = 90 ] || fail "--alarm-volume alone does not print 90"
end_clock
ring 09:00
expect_sink 'no 90' 3 "the sink at alarm volume 90"
user_sets 40 0
close_note
stays_false 2 sink_is 'yes 5' || fail "the user's own 40 % was undone after the ring"
sink_is 'no 40' || fail "the sink the user set to 40 % is $(sink_state) after the ring"
end_clock
user_sets 5 1
"$PROG_DIR/tockwise" --alarm-volume off >/dev/null || fail "--alarm-volume off failed"
start_recording "$E2E_WORK/off.wav"
ring 09:05
stays_false 2 eval '! sink_is "yes 5"' || fail "the output was changed with the alarm volume off: $(sink_state)"
stop_recording
# What the user had before this issue: the muted sink plays nothing.
[ "$(peak "$E2E_WORK/off.wav")" = 0.000 ] || fail "the muted sink was heard: peak $(peak "$E2E_WORK/off.wav")"
[ "$("$PROG_DIR/tockwise" --alarm-volume)" = off ] || fail "--alarm-volume alone does not print off"
end_clock
"$PROG_DIR/tockwise" --alarm-volume 70 >/dev/null
# Ended mid-ring by a signal: put back on the way out.
ring 09:10
expect_sink 'no 70' 3 "the sink of a ringing alarm"
end_clock
sink_is 'yes 5' || fail "the clock ended by SIGTERM left the sink $(sink_state)"
[ ! -e "$RESTORE" ] || fail "the clock ended by SIGTERM left the restore file"
log "pulseaudio: alarm volume 90 told to the running clock and used; the user's 40 % kept; off leaves the sink muted; SIGTERM mid-ring puts back at once"

# 4. A sound server that hangs (stopped before the clock starts) holds up
# neither the notification nor its closing nor the program's end.
kill -STOP "$SOUND_SERVER_PID"
ring 09:15
rang=$(traces ring | head -n1 | cut -d' ' -f1)
shown=$(traces notification-shown | head -n1 | cut -d' ' -f1)
[ $((shown - rang)) -lt 1000 ] || fail "with the sound server hung the notification came $((shown - rang)) ms after the ring"
timeout 10 "$PROG_DIR/tockwise" --dismiss-all >"$E2E_WORK/cmd.txt" 2>&1 ||
    fail "--dismiss-all with the sound server hung: $(cat "$E2E_WORK/cmd.txt")"
wait_until gone notification >/dev/null || fail "--dismiss-all left the notification open"
end_clock
kill -CONT "$SOUND_SERVER_PID"
sink_is 'yes 5' || fail "the sink is $(sink_state) after a ring with the server hung"
log "pulseaudio hung: the notification came $((shown - rang)) ms after the ring and closed; the program ended at once"
# Gone as a process, not only from its socket: PipeWire's server will not
# start beside it.
pactl exit >/dev/null 2>&1 || true
wait_for_exit "$SOUND_SERVER_PID" 5 || fail "PulseAudio did not end"

# PipeWire's PulseAudio server.
start_pipewire_server || fail "no PipeWire server could be started: $(tail -n3 "$E2E_WORK"/pipewire*.log)"
pactl info | grep -q 'on PipeWire' || fail "the server started is not PipeWire's: $(pactl info | grep 'Server Name')"
run_server pipewire 10
grep -v '^tockwise-trace' "$E2E_WORK/clock.log" | grep -q . && fail "the clock printed: $(grep -v '^tockwise-trace' "$E2E_WORK/clock.log")"
exit 0
