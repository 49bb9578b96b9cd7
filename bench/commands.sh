#!/usr/bin/env bash
# Figures of the commands as a script runs them, with no clock running: the
# import of a file of 10,000 events (each with a reminder) into an empty
# table, the export of those 10,000 alarms to a file, the same import again
# (every event a duplicate) and the list. Wall time and peak memory of each.
# Usage: bench/commands.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
program=$PWD/${1:-build}/bin/tockwise
[ -x "$program" ] || { echo "build the program first ($program)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 700 "$work"
mkdir -m 700 "$work/run"
mkdir -p "$work/prog" "$work/data/tockwise"
cp "$program" "$work/prog/"
chmod 555 "$work/prog" # Alarms.dat then lives in the per-user folder
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/run
python3 - "$work/in.ics" <<'PY'
import sys
days = ["MO", "TU", "WE", "TH", "FR", "SA", "SU"]
with open(sys.argv[1], "w", newline="") as f:
    f.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\n")
    for i in range(10000):
        rule = ["", "RRULE:FREQ=DAILY\r\n", "RRULE:FREQ=WEEKLY;BYDAY=%s\r\n" % days[i % 7],
                "RRULE:FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR\r\n"][i % 4]
        f.write("BEGIN:VEVENT\r\nUID:%d@bench\r\nDTSTAMP:20240101T000000Z\r\nSUMMARY:Event %d\r\n"
                "DTSTART:2024%02d%02dT%02d%02d00\r\n%sBEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT10M\r\n"
                "END:VALARM\r\nEND:VEVENT\r\n" % (i, i, 1 + i % 12, 1 + i % 28, 10 + i % 12, i % 60, rule))
    f.write("END:VCALENDAR\r\n")
PY
run() {
    local what=$1
    shift
    /usr/bin/time -f "$what: %e s, %M KiB peak" "$work/prog/tockwise" "$@" >/dev/null 2>"$work/err" || true
    tail -n 1 "$work/err"
}
run "import of 10,000 events" --import "$work/in.ics"
run "export of 10,000 alarms" --export "$work/out.ics"
run "the same import again" --import "$work/in.ics"
run "list of 10,000 alarms" --list
