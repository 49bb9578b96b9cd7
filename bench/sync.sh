#!/usr/bin/env bash
# Figures of the calendar sync against a real Radicale on loopback: the first
# sync of 1,000 alarms to an empty calendar, a sync with nothing changed, the
# first sync of a second home that takes the 1,000 down; and the idle cost of
# a running clock (wake-ups and CPU time in 60 s) with sync off and on.
# Usage: bench/sync.sh [build-folder]   (needs radicale, Xvfb)
set -euo pipefail
cd "$(dirname "$0")/.."
program=$PWD/${1:-build}/bin/tockwise
[ -x "$program" ] || { echo "build the program first ($program)"; exit 1; }
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
radicale --storage-filesystem-folder "$work/store" --server-hosts "127.0.0.1:$port" --auth-type none \
    >"$work/radicale.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do curl -sf -o /dev/null -X PROPFIND "http://127.0.0.1:$port/" && break; sleep 0.1; done
url=http://127.0.0.1:$port/me/alarms/
printf 'pw\n' >"$work/password"
chmod 600 "$work/password"

# home NAME: a program folder and per-user folders of its own.
home() {
    mkdir -p "$work/$1/prog" "$work/$1/data" "$work/$1/config" && mkdir -p -m 700 "$work/$1/run"
    cp "$program" "$work/$1/prog/"
    export XDG_DATA_HOME=$work/$1/data XDG_CONFIG_HOME=$work/$1/config XDG_RUNTIME_DIR=$work/$1/run
    prog=$work/$1/prog/tockwise
}
timed() {
    local what=$1
    shift
    /usr/bin/time -f "$what: %e s, %M KiB peak" "$prog" "$@" >"$work/out" 2>"$work/err" || { cat "$work/err"; exit 1; }
    tail -n 1 "$work/err"
    tail -n 1 "$work/out"
}
python3 - "$work/in.ics" <<'PY'
import sys
days = ["MO", "TU", "WE", "TH", "FR", "SA", "SU"]
with open(sys.argv[1], "w", newline="") as f:
    f.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\n")
    for i in range(1000):
        rule = ["", "RRULE:FREQ=DAILY\r\n", "RRULE:FREQ=WEEKLY;BYDAY=%s\r\n" % days[i % 7],
                "RRULE:FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR\r\n"][i % 4]
        f.write("BEGIN:VEVENT\r\nSUMMARY:Alarm %d\r\nDTSTART:2030%02d%02dT%02d%02d00\r\n%sEND:VEVENT\r\n"
                % (i, 1 + i % 12, 1 + i % 28, i % 24, i % 60, rule))
    f.write("END:VCALENDAR\r\n")
PY
home a
"$prog" --import "$work/in.ics" >/dev/null 2>&1
timed "first sync of 1,000 alarms (set-up included)" --sync-setup "$url" --user me --password-file "$work/password"
timed "sync with nothing changed" --sync-now
"$prog" --disable 500 >/dev/null 2>&1
timed "sync of one changed alarm" --sync-now
home b
timed "a second home's first sync (1,000 down)" --sync-setup "$url" --user me --password-file "$work/password"

# Idle cost: the clock on its own display, 60 s, sync off then on.
Xvfb :77 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
sleep 1
idle() {
    DISPLAY=:77 QT_QPA_PLATFORM=xcb "$prog" >/dev/null 2>&1 &
    local pid=$!
    sleep 20 # past the start-up sync
    local w0 c0 w1 c1
    w0=$(awk '/voluntary_ctxt_switches/ && !/non/ {print $2}' "/proc/$pid/status")
    c0=$(cut -d' ' -f1 "/proc/$pid/schedstat")
    sleep 60
    w1=$(awk '/voluntary_ctxt_switches/ && !/non/ {print $2}' "/proc/$pid/status")
    c1=$(cut -d' ' -f1 "/proc/$pid/schedstat")
    echo "idle clock, $1: $((w1 - w0)) wake-ups and $(((c1 - c0) / 1000000)) ms CPU in 60 s," \
        "$(awk '/VmRSS/ {print $2, $3}' "/proc/$pid/status") resident"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}
home c
"$prog" --import "$work/in.ics" >/dev/null 2>&1
idle "sync off"
"$prog" --sync-setup "$url" --user me --password-file "$work/password" >/dev/null 2>&1
idle "sync on"
