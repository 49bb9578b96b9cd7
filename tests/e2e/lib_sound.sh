# shellcheck shell=bash
# A private sound server for the end-to-end tests that listen to the program.
# Source it after lib.sh:
#   source "$(dirname "$0")/lib_sound.sh"

# start_sound_server: PulseAudio with a null sink as the default output, in the
# test's own runtime folder; its process is SOUND_SERVER_PID. Fails where none
# can be started.
start_sound_server() {
    local tool
    for tool in pulseaudio pactl pacat parec sox; do command -v "$tool" >/dev/null || return 1; done
    pulseaudio -n --daemonize=no --exit-idle-time=-1 \
        --load="module-null-sink sink_name=nullsink" --load=module-native-protocol-unix \
        >"$E2E_WORK/pulseaudio.log" 2>&1 &
    SOUND_SERVER_PID=$!
    E2E_PIDS+=($SOUND_SERVER_PID)
    wait_for 5 pactl info >/dev/null 2>&1 || return 1
    pactl set-default-sink nullsink >/dev/null 2>&1 || return 1
}

# start_pipewire_server: PipeWire with its PulseAudio server and session
# manager, a null sink of the same name as the default output. Needs the
# session bus (start_session_bus); fails where none can be started.
start_pipewire_server() {
    local tool
    for tool in pipewire pipewire-pulse wireplumber pactl pacat parec; do command -v "$tool" >/dev/null || return 1; done
    mkdir -p "$E2E_WORK/pipewire-state"
    export XDG_STATE_HOME=$E2E_WORK/pipewire-state
    pipewire >"$E2E_WORK/pipewire.log" 2>&1 &
    E2E_PIDS+=($!)
    wait_for 5 test -S "$XDG_RUNTIME_DIR/pipewire-0" || return 1
    wireplumber >"$E2E_WORK/wireplumber.log" 2>&1 &
    E2E_PIDS+=($!)
    pipewire-pulse >"$E2E_WORK/pipewire-pulse.log" 2>&1 &
    E2E_PIDS+=($!)
    wait_for 5 pactl info >/dev/null 2>&1 || return 1
    pactl load-module module-null-sink sink_name=nullsink >/dev/null 2>&1 || return 1
    wait_for 5 eval 'pactl list short sinks | grep -q nullsink' || return 1
    pactl set-default-sink nullsink >/dev/null 2>&1 || return 1
}

# start_recording FILE: records the null sink into FILE (WAV) until
# stop_recording. A low-latency stream of silence keeps the sink mixing in
# small steps; left to itself it renders in blocks of up to two seconds.
start_recording() {
    pacat --playback --latency-msec=20 --raw --format=s16le --rate=44100 --channels=2 /dev/zero \
        2>>"$E2E_WORK/parec.log" &
    E2E_PIDS+=($!)
    parec -d nullsink.monitor --latency-msec=20 --file-format=wav "$1" 2>>"$E2E_WORK/parec.log" &
    RECORDER_PID=$!
    E2E_PIDS+=($RECORDER_PID)
}

stop_recording() {
    kill -INT "$RECORDER_PID" 2>/dev/null || true
    wait "$RECORDER_PID" 2>/dev/null || true
}

# loud_stretches FILE: the length in ms of each loud stretch of a recording,
# stretches being apart by at least a second of quiet; one a line.
loud_stretches() {
    python3 - "$1" <<'EOF'
import array, struct, sys
data = open(sys.argv[1], "rb").read()
channels, rate = struct.unpack_from("<HI", data, data.index(b"fmt ") + 10)
values = array.array("h")
samples = data[data.index(b"data") + 8:]
values.frombytes(samples[: len(samples) // (2 * channels) * 2 * channels])
values = values[::channels]
start = last = None
for i, v in enumerate(values):
    if abs(v) > 300:
        if last is not None and i - last > rate:
            print((last - start) * 1000 // rate)
            start = None
        if start is None:
            start = i
        last = i
if start is not None:
    print((last - start) * 1000 // rate)
EOF
}
