# Helpers for the end-to-end tests that prepare or read an alarm table and
# saved settings, and run the program on a clock that can be moved while it
# runs. Only defines functions, so it may be sourced before lib.sh, but they
# are called after it.

# write_alarms FILE SPEC...: writes an alarm table in the program's 128-byte slot
# layout, slot 1 the zero placeholder, then one slot per SPEC, in order:
#   "NAME|TYPE|HH:MM|WEEKDAY|YYYY-MM-DD|DISABLED"
# TYPE once, daily, weekly or weekdays; WEEKDAY 0 = Monday; the date only
# matters to once; DISABLED 1 for a switched-off alarm. Empty fields are 0.
write_alarms() {
    python3 - "$@" <<'PY'
import struct, sys
path, specs = sys.argv[1], sys.argv[2:]
types = {"once": 0, "daily": 1, "weekly": 2, "weekdays": 3}
slots = [bytes(128)]
for index, spec in enumerate(specs, start=1):
    name, kind, hhmm, weekday, date, disabled = (spec.split("|") + [""] * 6)[:6]
    hour, minute = (int(v) for v in hhmm.split(":"))
    year, month, day = (int(v) for v in date.split("-")) if date else (0, 0, 0)
    raw = name.encode("cp1252").ljust(100, b" ")[:100]
    record = struct.pack("<i100s6BhhH", index, raw, types[kind], hour, minute,
                         int(weekday or 0), day, month, year, 0,
                         0xFFFF if disabled == "1" else 0)
    slots.append(record + bytes(12))
assert all(len(s) == 128 for s in slots)
with open(path, "wb") as f:
    f.write(b"".join(slots))
PY
}

# alarm_names FILE: the trimmed name of every alarm in the file, one a line.
alarm_names() {
    python3 - "$1" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
for k in range(1, len(data) // 128):
    print(data[k * 128 + 4:k * 128 + 104].decode("cp1252").strip(" "))
PY
}

# wait_for_size FILE BYTES [SECONDS]: waits up to SECONDS (default 5) for FILE
# to become BYTES long.
wait_for_size() { wait_for "${3:-5}" has_size "$1" "$2"; }
has_size() { [ "$(stat -c %s "$1" 2>/dev/null || echo -1)" -eq "$2" ]; }

# minute_of "YYYY-MM-DD HH:MM": whole minutes since 2000-01-01 00:00 on the wall clock.
minute_of() {
    python3 -c '
import datetime, sys
t = datetime.datetime.strptime(sys.argv[1], "%Y-%m-%d %H:%M")
d = t - datetime.datetime(2000, 1, 1)
print(d.days * 1440 + d.seconds // 60)' "$1"
}

# minute_ago N: the minute of N minutes ago (0: the present one), as minute_of.
minute_ago() {
    minute_of "$(date -d "${1:-0} minutes ago" '+%Y-%m-%d %H:%M')"
}

# write_settings KEY=VALUE...: the settings file as the program keeps it. Keys
# are given as stored, e.g. "Last%20Check=12345".
write_settings() {
    mkdir -p "$(dirname "$SETTINGS")"
    { echo '[Digital%20Clock]'; printf '%s\n' "$@"; } >"$SETTINGS"
}

# utc_epoch "YYYY-MM-DD HH:MM:SS" [ZONE]: seconds since 1970 of a wall time in
# ZONE (default UTC). An hour that a zone skips or repeats is best given in UTC.
utc_epoch() {
    TZ=${2:-UTC} date -d "$1" +%s
}

# A clock that can be moved under a running program: libfaketime reads an
# offset from a file on every call. The monotonic clock stays real, as it does
# when a computer sleeps or the user sets the time, so the program's timers keep
# running at the real pace. The offset file: $E2E_WORK/faketime.rc.

# set_clock EPOCH: from now on the program reads EPOCH (seconds since 1970, may be
# fractional) as the present, and the time runs on from there.
set_clock() {
    local offset
    offset=$(python3 -c 'import sys, time; print("%+.3f" % (float(sys.argv[1]) - time.time()))' "$1")
    echo "$offset" >"$E2E_WORK/faketime.rc.new"
    mv -f "$E2E_WORK/faketime.rc.new" "$E2E_WORK/faketime.rc"
}

# start_movable_clock EPOCH [args...]: starts the program with its clock at
# EPOCH; set_clock moves it later. Traces go to clock.log.
start_movable_clock() {
    local lib
    lib=$(faketime_lib) || exit 1
    set_clock "$1"
    shift
    launch LD_PRELOAD="$lib" FAKETIME_TIMESTAMP_FILE="$E2E_WORK/faketime.rc" FAKETIME_NO_CACHE=1 \
        FAKETIME_DONT_FAKE_MONOTONIC=1 TOCKWISE_TRACE=1 -- "$@"
}

# Trace lines of one kind, without the "tockwise-trace KIND " prefix.
traces() {
    sed -n "s/^tockwise-trace $1 //p" "$E2E_WORK/clock.log"
}

# Lines of a kind with the milliseconds dropped: "missed" gives the missed
# lines, "ring" gives "DUE-MINUTE NAME".
trace_texts() {
    traces "$1" | cut -d' ' -f2-
}

# wait_for_trace KIND COUNT SECONDS: until COUNT lines of KIND were traced.
wait_for_trace() { wait_for "$3" traced_at_least "$1" "$2"; }
traced_at_least() { [ "$(traces "$1" | wc -l)" -ge "$2" ]; }

# expect_traces KIND WHAT EXPECTED: the lines of KIND (as trace_texts gives
# them) are exactly EXPECTED; else fails with "WHAT:", them and the expected.
expect_traces() {
    local actual
    actual=$(trace_texts "$1")
    [ "$actual" = "$3" ] || fail "$2:
$actual
expected:
$3"
}

# Sleeps until the program's clock (EPOCH now, per the offset file) reaches TARGET.
sleep_until_clock() {
    python3 -c '
import sys, time
offset = float(open(sys.argv[1]).read())
delay = float(sys.argv[2]) - (time.time() + offset)
time.sleep(max(0.0, delay))' "$E2E_WORK/faketime.rc" "$1"
}

# The start of a test that moves the faked clock under a running program: the
# clock is looked at once a second (the kernel cancels no timer for a faked
# jump), with a tray, and the program in its folder.
prepare_moving_clock() {
    poll_the_clock
    start_tray
    install_program
}

# offset_to "YYYY-MM-DD HH:MM:SS" N: the faked clock's offset that makes that
# moment N real seconds from now.
offset_to() { printf '%+d' $(($(date -d "$1" +%s) - $(date +%s) - $2)); }

# The open notification window's id; fails when none is open.
notification() { named_window 'Alarm Notification'; }
