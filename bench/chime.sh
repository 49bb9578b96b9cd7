#!/usr/bin/env bash
# When the chime is heard, and whether it is heard whole, recorded from a null
# sink of a private sound server:
#   the delay from the start of the minute to the first chime's sound, for
#   RINGS alarms due one a minute (median and range), and
#   each of the twelve chimes of every ring set against Chime1.wav itself, as
#   the server renders it played whole by paplay: the length of its sound and
#   its energy, which must both come within 10%, and
#   then two alarms due together, whose chimes must cut into each other.
# Usage: bench/chime.sh [program] [pulseaudio|pipewire] [rings]
#   program: the tockwise executable (default build/bin/tockwise), with
#   Chime1.wav beside it. Takes a minute per ring, and one more.
set -euo pipefail
cd "$(dirname "$0")/.."
program=$(realpath "${1:-build/bin/tockwise}")
server=${2:-pulseaudio}
rings=${3:-5}
[ -x "$program" ] || { echo "build the program first ($program)"; exit 1; }
lib=$(find /usr/lib -name libfaketime.so.1 -path '*faketime*' 2>/dev/null | head -n 1)
[ -n "$lib" ] || { echo "libfaketime is not installed"; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    if [ -n "${KEEP:-}" ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

mkdir -p "$work/prog" "$work/config" "$work/data" "$work/run"
chmod 700 "$work/run"
cp "$program" "$(dirname "$program")/Chime1.wav" "$work/prog/"
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run TZ=UTC
unset PULSE_SERVER

display=$((600 + $$ % 300))
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=:$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

case $server in
pulseaudio)
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --load="module-null-sink sink_name=nullsink" \
        --load=module-native-protocol-unix >"$work/server.log" 2>&1 &
    pids+=($!)
    ;;
pipewire)
    # PipeWire links streams to sinks through its session manager, which wants a
    # session bus of its own.
    dbus-daemon --session --fork --nopidfile --address="unix:path=$work/run/bus" >/dev/null
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/run/bus
    pipewire >"$work/server.log" 2>&1 &
    pids+=($!)
    sleep 0.5
    wireplumber >>"$work/server.log" 2>&1 &
    pids+=($!)
    pipewire-pulse >>"$work/server.log" 2>&1 &
    pids+=($!)
    ;;
*) echo "unknown sound server: $server"; exit 1 ;;
esac
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
[ "$server" = pulseaudio ] || pactl load-module module-null-sink sink_name=nullsink >/dev/null
pactl set-default-sink nullsink
echo "sound server: $(pactl info | sed -n 's/^Server Name: //p')"

# One Daily alarm a minute from 08:00 on, then two due together.
python3 - "$work/prog/Alarms.dat" "$rings" <<'PY'
import struct, sys
path, rings = sys.argv[1], int(sys.argv[2])
slots = [bytes(128)]
for k, name in enumerate(["Ring %d" % (k + 1) for k in range(rings)] + ["Together A", "Together B"]):
    slots.append(struct.pack("<i100s6BhhH", k + 1, name.encode("cp1252").ljust(100, b" "), 1, 8, min(k, rings),
                             0, 0, 0, 0, 0, 0) + bytes(12))
open(path, "wb").write(b"".join(slots))
PY

# The sink mixes in small steps while a low-latency stream of silence plays.
pacat --playback --latency-msec=20 --raw --format=s16le --rate=44100 --channels=2 /dev/zero 2>/dev/null &
pids+=($!)

# A whole chime as this server renders it (its mixing may change the level):
# Chime1.wav played to its end by paplay, a plain stream.
parec -d nullsink.monitor --latency-msec=20 --raw --format=s16le --rate=44100 --channels=1 >"$work/reference.raw" &
reference=$!
sleep 0.5
paplay "$work/prog/Chime1.wav"
sleep 0.5
kill "$reference"
wait "$reference" 2>/dev/null || true

# 08:00:00 of the program's clock falls on a whole real second.
due_real=$(($(date +%s) + 8))
offset=$(printf '%+d' $(($(date -d '2024-03-07 08:00:00' +%s) - due_real)))
LD_PRELOAD=$lib FAKETIME=$offset FAKETIME_DONT_RESET=1 FAKETIME_DONT_FAKE_MONOTONIC=1 \
    "$work/prog/tockwise" >"$work/clock.log" 2>&1 &
pids+=($!)

# The recorder reads the sink's monitor in small steps and notes the wall clock
# as each piece arrives: a sound is placed by when it reached the recorder, not
# by counting samples from one end of a recording the sink may have stretched
# or squeezed. What the recorder itself adds (up to its 20 ms) counts as delay.
python3 - "$work/reference.raw" "$((due_real * 1000))" "$rings" ${VERBOSE:+-v} <<'PY'
import array, bisect, os, statistics, subprocess, sys, time

RATE = 44100
THRESHOLD = 300  # of 32767: above the silence, far below the chime

def read_raw(path):  # 16-bit mono at RATE (little-endian machines)
    values = array.array("h")
    data = open(path, "rb").read()
    values.frombytes(data[: len(data) // 2 * 2])
    return values

def sounds(values, rate):
    """Loud stretches separated by at least a second of quiet: (first, last) frames."""
    out, start, last = [], None, None
    for i, v in enumerate(values):
        if abs(v) > THRESHOLD:
            if last is None or i - last > rate:
                if start is not None:
                    out.append((start, last))
                start = i
            last = i
    if start is not None:
        out.append((start, last))
    return out

def measure(values, rate, first, last):
    length = (last - first + 1) / rate
    energy = sum(v * v for v in values[first:last + 1]) / rate
    return length, energy

due_ms, rings = int(sys.argv[2]), int(sys.argv[3])
chime = read_raw(sys.argv[1])
(c0, c1), = sounds(chime, RATE)[:1]
ref_length, ref_energy = measure(chime, RATE, c0, c1)

recorder = subprocess.Popen(["parec", "-d", "nullsink.monitor", "--latency-msec=20", "--raw", "--format=s16le",
                             "--rate=%d" % RATE, "--channels=1"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
raw, arrivals, frames = bytearray(), [], []  # arrivals[i]: wall ms when frames[i] frames had come
end_ms = due_ms + 60000 * rings + 58000
while time.time() * 1000 < end_ms:
    piece = os.read(recorder.stdout.fileno(), 4096)
    if not piece:
        break
    raw += piece
    arrivals.append(time.time() * 1000)
    frames.append(len(raw) // 2)
recorder.terminate()
heard = array.array("h")
heard.frombytes(bytes(raw[: len(raw) // 2 * 2]))

def wall(frame):
    i = bisect.bisect_right(frames, frame)
    i = min(i, len(frames) - 1)
    return arrivals[i] - (frames[i] - frame) * 1000 / RATE

found = sounds(heard, RATE)
if "-v" in sys.argv[4:]:
    print("recorded %.1f s; sounds at %s ms" % (len(heard) / RATE, ", ".join("%+.0f" % (wall(f) - due_ms) for f, _ in found)))
onsets, whole, total, worst = [], 0, 0, []
for k in range(rings):
    minute = due_ms + 60000 * k
    mine = [s for s in found if minute - 1000 <= wall(s[0]) < minute + 59000]
    if not mine:
        print("ring %d: no sound at all" % (k + 1))
        continue
    onsets.append(wall(mine[0][0]) - minute)
    for first, last in mine:
        length, energy = measure(heard, RATE, first, last)
        dl, de = length / ref_length - 1, energy / ref_energy - 1
        total += 1
        ok = abs(dl) <= 0.10 and abs(de) <= 0.10
        whole += ok
        worst.append((abs(dl) + abs(de), dl, de))
        if not ok:
            print("ring %d: the chime at %+.0f ms is not whole: length %+.1f%%, energy %+.1f%%"
                  % (k + 1, wall(first) - minute, 100 * dl, 100 * de))
    print("ring %d: first chime %+.0f ms after the minute, %d chimes heard" % (k + 1, onsets[-1], len(mine)))
# Two notifications opened together: each chime cuts the other's, so every
# sound is one chime's, never two overlapping (twice the energy or more).
minute = due_ms + 60000 * rings
together = [measure(heard, RATE, f, l) for f, l in found if minute - 1000 <= wall(f) < minute + 59000]
single = sum(abs(e / ref_energy - 1) <= 0.10 for _, e in together)
print("two notifications together: %d sounds, %d of them one whole chime (energies %s x the file's)"
      % (len(together), single, ", ".join("%.2f" % (e / ref_energy) for _, e in together[:4])))
if onsets:
    print("first chime after the minute: median %.0f ms (%.0f to %.0f ms) over %d rings"
          % (statistics.median(onsets), min(onsets), max(onsets), len(onsets)))
print("chimes heard whole (length and energy within 10%% of Chime1.wav played whole): %d of %d (%d expected)"
      % (whole, total, 12 * rings))
if worst:
    _, dl, de = max(worst)
    print("furthest from the file: length %+.1f%%, energy %+.1f%%" % (100 * dl, 100 * de))
PY
