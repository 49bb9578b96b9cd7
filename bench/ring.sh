#!/usr/bin/env bash
# Figures of a ring with everything that goes with it on: a PulseAudio null
# sink muted at 5 % as the output, a session bus with a notification server
# and a media player (the stand-ins of the end-to-end tests), logind on a
# private system bus. Reports
#   idle wake-ups a minute and resident memory before the ring,
#   from the alarm's minute to the output unmuted and raised,
#   wake-ups and resident memory while ringing, and once it is over.
# Usage: bench/ring.sh [build-folder] [idle-seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-60}
program=$PWD/$build/bin/tockwise
[ -x "$program" ] || { echo "build the program first ($program)"; exit 1; }
e2e=$PWD/tests/servers

work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$work/prog" "$work/config" "$work/run" "$work/data"
chmod 700 "$work/run"
cp "$program" "$(dirname "$program")/Chime1.wav" "$work/prog/"
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run XDG_DATA_HOME=$work/data TZ=UTC
until_true() { for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done; return 1; }

export DISPLAY=:94
Xvfb $DISPLAY -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
until_true xdpyinfo >/dev/null 2>&1
pulseaudio -n --daemonize=no --exit-idle-time=-1 --load="module-null-sink sink_name=nullsink" \
    --load=module-native-protocol-unix >/dev/null 2>&1 &
pids+=($!)
until_true pactl info >/dev/null 2>&1
pactl set-default-sink nullsink && pactl set-sink-volume nullsink 5% && pactl set-sink-mute nullsink 1
out=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$out")
pids+=("$(sed -n 2p <<<"$out")")
out=$(dbus-daemon --config-file=/usr/share/dbus-1/session.conf --fork --print-address=1 --print-pid=1)
export DBUS_SYSTEM_BUS_ADDRESS=$(sed -n 1p <<<"$out")
pids+=("$(sed -n 2p <<<"$out")")
/usr/bin/python3 "$e2e/fake_logind.py" "$DBUS_SYSTEM_BUS_ADDRESS" >"$work/logind.txt" 2>&1 &
pids+=($!)
sleep infinity | /usr/bin/python3 "$e2e/fake_notifications.py" "$DBUS_SESSION_BUS_ADDRESS" actions body \
    >"$work/notifications.txt" 2>&1 &
pids+=($!)
sleep infinity | /usr/bin/python3 "$e2e/fake_desktop.py" "$DBUS_SESSION_BUS_ADDRESS" portal radio=Playing \
    >"$work/desktop.txt" 2>&1 &
pids+=($!)
until_true grep -q ready "$work/logind.txt" "$work/notifications.txt" "$work/desktop.txt" 2>/dev/null

rss_kb() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
# Wake-ups: voluntary context switches of every thread of the process.
wakeups() { cat /proc/"$1"/task/*/status | awk '/^voluntary_ctxt_switches/ {n += $2} END {print n}'; }
over() { # pid seconds -> "W wake-ups a minute, R MB"
    local w0 w1
    w0=$(wakeups "$1")
    sleep "$2"
    w1=$(wakeups "$1")
    awk -v w=$((w1 - w0)) -v s="$2" -v r="$(rss_kb "$1")" 'BEGIN {printf "%.1f wake-ups a minute, %.1f MB", w * 60 / s, r / 1024}'
}

# The alarm falls due a while after the idle measurement.
due=$(($(date +%s) + seconds + 10))
python3 - "$work/prog/Alarms.dat" <<'PY'
import struct, sys
name = b"Benchmark".ljust(100, b" ")
rec = struct.pack("<i100sBBBBBBhhh", 1, name, 1, 8, 0, 0, 1, 1, 2024, 0, 0) + bytes(12)
open(sys.argv[1], "wb").write(bytes(128) + rec)
PY
offset=$(($(date -d '2024-03-07 08:00:00' +%s) - due))
TOCKWISE_TRACE=1 LD_PRELOAD="$(find /usr/lib -name libfaketime.so.1 | head -n1)" FAKETIME="$(printf '%+d' $offset)" \
    FAKETIME_DONT_RESET=1 FAKETIME_DONT_FAKE_MONOTONIC=1 "$work/prog/tockwise" 2>"$work/trace" &
clock=$!
pids+=($clock)
sleep 5
echo "idle before the ring, ${seconds} s: $(over $clock "$seconds")"
until_true grep -q notification-shown "$work/trace" || until_true grep -q notification-shown "$work/trace"
sink="$(pactl get-sink-mute nullsink), $(pactl get-sink-volume nullsink | grep -o '[0-9]*%' | head -n1)"
if until_true grep -q output-raised "$work/trace"; then
    raised=$(awk '/output-raised/ {print $3; exit}' "$work/trace")
    echo "minute to the output unmuted and raised: $((raised % 60000)) ms ($sink)"
else
    echo "the output was not raised ($sink)"
fi
threads() { for t in /proc/$clock/task/*; do echo "${t##*/} $(cat $t/comm) $(awk '/^voluntary_ctxt_switches/ {print $2}' $t/status)"; done; }
# The first text on screen sets up the fonts, and under a faked date
# fontconfig finds its caches out of date and writes them again: seconds of
# work that a real start does not have. Measured from 5 s into the ring.
sleep 5
threads >"$work/threads-before"
echo "while ringing, 10 s from 5 s in: $(over $clock 10)"
# TOCKWISE_THREADS=1: which threads woke while ringing.
if [ -n "${TOCKWISE_THREADS:-}" ]; then
    threads | join - "$work/threads-before" | awk '{printf "  %s: %d\n", $2, $3 - $5}'
fi
"$work/prog/tockwise" --dismiss-all >/dev/null
until_true grep -q output-restored "$work/trace" || true
sleep 10
echo "after the ring, ${seconds} s: $(over $clock "$seconds")"
