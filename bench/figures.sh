#!/usr/bin/env bash
# Figures of the running program under Xvfb, side by side with xclock:
#   CPU over 60 s and resident memory of the idle clock,
#   start-up to the first painted frame with 0 and with 1000 alarms and a
#   seven-day catch-up, and the delay from the start of a minute to the
#   notification window on screen.
# Usage: bench/figures.sh [build-folder] [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-60}
program=$PWD/$build/bin/tockwise
[ -x "$program" ] || { echo "build the program first ($program)"; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

export DISPLAY=:93
Xvfb $DISPLAY -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
pids+=($!)
sleep 1

fresh() { # a program folder and per-user folders of its own
    local dir=$work/$1
    rm -rf "$dir"
    mkdir -p "$dir/prog" "$dir/config" "$dir/run" "$dir/data"
    chmod 700 "$dir/run"
    cp "$program" "$(dirname "$program")/Chime1.wav" "$dir/prog/"
    echo "$dir"
}

# CPU time in microseconds, from the scheduler's nanosecond count.
cpu_us() { awk '{print int($1 / 1000)}' "/proc/$1/schedstat"; }
rss_kb() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }

# ---- Idle CPU and memory next to xclock --------------------------------------
dir=$(fresh idle)
XDG_CONFIG_HOME=$dir/config XDG_RUNTIME_DIR=$dir/run XDG_DATA_HOME=$dir/data "$dir/prog/tockwise" 2>/dev/null &
clock=$!
pids+=($clock)
xclock -digital -update 1 -geometry +900+100 &
xclock_pid=$!
pids+=($xclock_pid)
sleep 3
c0=$(cpu_us $clock); x0=$(cpu_us $xclock_pid)
sleep "$seconds"
c1=$(cpu_us $clock); x1=$(cpu_us $xclock_pid)
echo "idle over ${seconds}s: tockwise $(( (c1 - c0) / 1000 )) ms CPU, RSS $(( $(rss_kb $clock) / 1024 )) MB;" \
    "xclock $(( (x1 - x0) / 1000 )) ms CPU, RSS $(( $(rss_kb $xclock_pid) / 1024 )) MB;" \
    "ratio $(awk -v a=$((c1 - c0)) -v b=$((x1 - x0)) 'BEGIN {printf "%.2f", b ? a / b : 0}')"
kill $clock $xclock_pid
wait $clock $xclock_pid 2>/dev/null || true

# ---- Start-up to the first painted frame --------------------------------------
first_frame() { # alarms catch-up-minutes -> milliseconds
    local dir
    dir=$(fresh "start-$1")
    python3 bench/make_alarms.py "$dir/prog/Alarms.dat" "$1"
    local now_minute=$(( ($(date +%s) + $(date +%z | awk '{s = substr($0,1,1) == "-" ? -1 : 1; print s * (substr($0,2,2) * 3600 + substr($0,4,2) * 60)}') - 946684800) / 60 ))
    printf '[Digital%%20Clock]\nLast%%20Check=%s\n' $((now_minute - $2)) >"$dir/config/hqz.conf"
    local start end
    start=$(date +%s%3N)
    XDG_CONFIG_HOME=$dir/config XDG_RUNTIME_DIR=$dir/run XDG_DATA_HOME=$dir/data TOCKWISE_TRACE=1 \
        "$dir/prog/tockwise" 2>"$dir/trace" &
    local pid=$!
    for _ in $(seq 100); do grep -q first-frame "$dir/trace" && break; sleep 0.05; done
    end=$(awk '/first-frame/ {print $3}' "$dir/trace")
    kill $pid; wait $pid 2>/dev/null || true
    echo $((end - start))
}

median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

for spec in "0 0" "1000 10080"; do
    set -- $spec
    times=()
    for _ in 1 2 3 4 5; do times+=("$(first_frame "$1" "$2")"); done
    echo "first frame with $1 alarms, $2 minutes caught up: median $(printf '%s\n' "${times[@]}" | median) ms (runs: ${times[*]})"
done

# ---- From the start of a minute to the notification on screen ------------------
delays=()
for run in 1 2 3; do
    dir=$(fresh "notify-$run")
    python3 - "$dir/prog/Alarms.dat" <<'PY'
import struct, sys
name = b"Benchmark".ljust(100, b" ")
rec = struct.pack("<i100sBBBBBBhhh", 1, name, 1, 8, 0, 0, 1, 1, 2024, 0, 0) + bytes(12)
open(sys.argv[1], "wb").write(bytes(128) + rec)
PY
    XDG_CONFIG_HOME=$dir/config XDG_RUNTIME_DIR=$dir/run XDG_DATA_HOME=$dir/data TOCKWISE_TRACE=1 \
        faketime -f "@2024-03-07 07:59:57" "$dir/prog/tockwise" 2>"$dir/trace" &
    pid=$!
    for _ in $(seq 100); do grep -q notification-shown "$dir/trace" && break; sleep 0.1; done
    shown=$(awk '/notification-shown/ {print $3}' "$dir/trace")
    boundary=$(( $(date -d "2024-03-07 08:00:00" +%s) * 1000 ))
    delays+=($((shown - boundary)))
    kill $pid; wait $pid 2>/dev/null || true
done
echo "minute start to notification shown: median $(printf '%s\n' "${delays[@]}" | median) ms (runs: ${delays[*]})"
