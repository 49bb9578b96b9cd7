#!/usr/bin/env bash
# Figures of the running program under Xvfb with a tray host:
#   CPU, wake-ups and resident memory of the idle clock over 120 s, side by
#   side with xclock updating every second and every minute,
#   start-up to the first painted frame with 0 alarms, 1000 mixed alarms and
#   10,000 Daily alarms, the two with a seven-day catch-up, and the delay from
#   the start of a minute to the new digits and to the notification window.
# Usage: bench/figures.sh [build-folder] [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-120}
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

# ---- Idle cost next to both xclocks ---------------------------------------------
# All three run at once, so the others' load on a shared machine falls on each
# alike. Wake-ups are the main thread's voluntary context switches.
wakeups() { awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$1/status"; }
dir=$(fresh idle)
XDG_CONFIG_HOME=$dir/config XDG_RUNTIME_DIR=$dir/run XDG_DATA_HOME=$dir/data "$dir/prog/tockwise" 2>/dev/null &
clock=$!
xclock -digital -update 1 -geometry +900+100 &
xclock_seconds=$!
xclock -digital -geometry +900+200 &
xclock_minutes=$!
pids+=($clock $xclock_seconds $xclock_minutes)
sleep 3
declare -A cpu0 wake0
for p in $clock $xclock_seconds $xclock_minutes; do cpu0[$p]=$(cpu_us $p); wake0[$p]=$(wakeups $p); done
sleep "$seconds"
echo "idle over ${seconds} s, side by side (CPU ms, wake-ups, wake-ups a minute, RSS MB):"
row() { # name pid
    local cpu=$(( ($(cpu_us $2) - ${cpu0[$2]}) / 1000 )) wake=$(( $(wakeups $2) - ${wake0[$2]} ))
    printf '  %-28s %6d ms %6d %6.1f/min %4d MB\n' "$1" "$cpu" "$wake" "$(awk -v w=$wake -v s=$seconds 'BEGIN {print w * 60 / s}')" \
        $(( $(rss_kb $2) / 1024 ))
}
row tockwise $clock
row "xclock -digital -update 1" $xclock_seconds
row "xclock -digital" $xclock_minutes
kill $clock $xclock_seconds $xclock_minutes
wait $clock $xclock_seconds $xclock_minutes 2>/dev/null || true

# ---- Start-up to the first painted frame --------------------------------------
first_frame() { # alarms catch-up-minutes [mixed|daily] -> milliseconds
    local dir
    dir=$(fresh "start-$1")
    python3 bench/make_alarms.py "$dir/prog/Alarms.dat" "$1" "${3:-mixed}"
    local now_minute=$(( ($(date +%s) + $(date +%z | awk '{s = substr($0,1,1) == "-" ? -1 : 1; print s * (substr($0,2,2) * 3600 + substr($0,4,2) * 60)}') - 946684800) / 60 ))
    printf '[Digital%%20Clock]\nLast%%20Check=%s\n' $((now_minute - $2)) >"$dir/config/hqz.conf"
    local start end
    start=$(date +%s%3N)
    XDG_CONFIG_HOME=$dir/config XDG_RUNTIME_DIR=$dir/run XDG_DATA_HOME=$dir/data TOCKWISE_TRACE=1 \
        "$dir/prog/tockwise" 2>"$dir/trace" &
    local pid=$!
    for _ in $(seq 6000); do grep -q first-frame "$dir/trace" && break; sleep 0.05; done
    end=$(awk '/first-frame/ {print $3}' "$dir/trace")
    kill $pid; wait $pid 2>/dev/null || true
    echo $((end - start))
}

median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

# TOCKWISE_BIG=100000 adds a run with that many Daily alarms (minutes long on the old code).
for spec in "0 0 mixed 5" "1000 10080 mixed 5" "10000 10080 daily 3" ${TOCKWISE_BIG:+"$TOCKWISE_BIG 10080 daily 1"}; do
    set -- $spec
    times=()
    for _ in $(seq "$4"); do times+=("$(first_frame "$1" "$2" "$3")"); done
    echo "first frame with $1 $3 alarms, $2 minutes caught up: median $(printf '%s\n' "${times[@]}" | median) ms (runs: ${times[*]})"
done

# ---- From the start of a minute to the notification on screen ------------------
delays=()
digits=()
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
    digit=$(awk '/minute-shown/ && $4 == "08:00" {print $3}' "$dir/trace")
    boundary=$(( $(date -d "2024-03-07 08:00:00" +%s) * 1000 ))
    delays+=($((shown - boundary)))
    digits+=($((digit - boundary)))
    kill $pid; wait $pid 2>/dev/null || true
done
echo "minute start to the new digits starting: median $(printf '%s\n' "${digits[@]}" | median) ms (runs: ${digits[*]})"
echo "minute start to notification shown: median $(printf '%s\n' "${delays[@]}" | median) ms (runs: ${delays[*]})"
