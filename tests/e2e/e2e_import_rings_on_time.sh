#!/usr/bin/env bash
# What a user imports can never hold the clock up: the file is read and mapped
# by the command itself, and the running clock gets only the alarms. With the
# clock faked to 07:59:5x on Thursday 7 March 2024 and a daily 08:00 alarm:
# 1. an import of an event with a 30 MB name, one of a time zone of 20,000
#    entries and one of a 200 MB file run across 08:00: the alarm rings within
#    2 s of its minute, and each import ends with its reason, never "does not
#    answer";
# 2. a named pipe, /dev/zero and endless standard input are refused, never
#    waited on for ever;
# 3. the clock still takes an ordinary import.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"

export TZ=UTC
export TOCKWISE_TRACE=1

python3 - "$E2E_WORK" <<'PY'
import sys
work = sys.argv[1]
head = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n"
event = "BEGIN:VEVENT\r\nUID:{0}\r\nSUMMARY:{1}\r\nDTSTART:20240101T{2}00\r\nRRULE:FREQ=DAILY\r\nEND:VEVENT\r\n"
with open(work + "/long-name.ics", "w") as f:
    f.write(head + event.format("long", "x" * (30 * 1024 * 1024), "0600") + "END:VCALENDAR\r\n")
with open(work + "/zone.ics", "w") as f:
    f.write(head + "BEGIN:VTIMEZONE\r\nTZID:Many\r\n")
    for year in range(20000):
        f.write("BEGIN:STANDARD\r\nDTSTART:%04d0101T000000\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0100\r\n"
                "END:STANDARD\r\n" % (1601 + year % 8000))
    f.write("END:VTIMEZONE\r\n" + "BEGIN:VEVENT\r\nUID:z\r\nSUMMARY:Zoned\r\n"
            "DTSTART;TZID=Many:20240101T060000\r\nRRULE:FREQ=DAILY\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
with open(work + "/huge.ics", "w") as f:
    # Past 200 MB without filling the disk: the rest is a hole.
    f.write(head + event.format("first", "First", "0600"))
    f.truncate(210 * 1024 * 1024)
with open(work + "/good.ics", "w") as f:
    f.write(head + event.format("good", "Run", "0645") + "END:VCALENDAR\r\n")
PY
[ "$(stat -c %s "$E2E_WORK/huge.ics")" -gt $((200 * 1024 * 1024)) ] || fail "the large file is not over 200 MB"

install_program
write_alarms "$PROG_DIR/Alarms.dat" 'Tea|daily|08:00'
start_clock "$(offset_to '2024-03-07 08:00:00' 6)"
wait_until "$PROG_DIR/tockwise" --list >/dev/null || fail "the clock does not answer commands"

# 1.
for file in long-name zone huge; do
    (
        start=$(date +%s%N) rc=0
        "$PROG_DIR/tockwise" --import "$E2E_WORK/$file.ics" >"$E2E_WORK/$file.out" 2>"$E2E_WORK/$file.err" || rc=$?
        echo "$rc $((($(date +%s%N) - start) / 1000000))" >"$E2E_WORK/$file.status"
    ) &
done
wait_for_trace ring 1 20 || fail "the 08:00 alarm did not ring"
ring_ms=$(traces ring | head -n 1 | cut -d' ' -f1)
late=$((ring_ms - $(date -d '2024-03-07 08:00:00' +%s) * 1000))
[ "$late" -ge 0 ] && [ "$late" -le 2000 ] || fail "the alarm rang $late ms after its minute"
log "the 08:00 alarm rang $late ms after its minute while three imports ran"
for file in long-name zone huge; do
    wait_for 60 test -s "$E2E_WORK/$file.status" || fail "the import of $file.ics never ended"
    read -r status ms <"$E2E_WORK/$file.status"
    ! grep -q "does not answer" "$E2E_WORK/$file.err" || fail "$file.ics: $(cat "$E2E_WORK/$file.err")"
    case $file in
    long-name) grep -q "longer than 1 MiB" "$E2E_WORK/$file.err" ||
        fail "$file.ics: status $status, no word of the long line: $(head -c 300 "$E2E_WORK/$file.err")" ;;
    zone) grep -q "1000 entries" "$E2E_WORK/$file.err" ||
        fail "$file.ics: status $status, no word of the zone's size: $(head -c 300 "$E2E_WORK/$file.err")" ;;
    huge) [ "$status" = 1 ] && grep -q "larger than the limit of 64 MiB" "$E2E_WORK/$file.err" ||
        fail "$file.ics: status $status: $(head -c 300 "$E2E_WORK/$file.err")" ;;
    esac
    log "$file.ics: status $status after $ms ms: $(head -n 1 "$E2E_WORK/$file.err" | cut -c 1-120)"
done
[ "$("$PROG_DIR/tockwise" --list | cut -f6)" = Tea ] || fail "an import added alarms: $("$PROG_DIR/tockwise" --list)"

# 2.
mkfifo "$E2E_WORK/pipe.ics"
for source in "$E2E_WORK/pipe.ics" /dev/zero; do
    if timeout 10 "$PROG_DIR/tockwise" --import "$source" 2>"$E2E_WORK/err.txt"; then
        fail "--import $source succeeded"
    fi
    grep -q "no plain file" "$E2E_WORK/err.txt" || fail "--import $source: $(cat "$E2E_WORK/err.txt")"
done
status=0
timeout 20 "$PROG_DIR/tockwise" --import - </dev/zero 2>"$E2E_WORK/err.txt" || status=$?
[ "$status" = 1 ] && grep -q "more than 64 MiB" "$E2E_WORK/err.txt" ||
    fail "endless standard input: status $status: $(cat "$E2E_WORK/err.txt")"
log "a named pipe, /dev/zero and endless standard input refused"

# 3.
out=$("$PROG_DIR/tockwise" --import "$E2E_WORK/good.ics" 2>&1) || fail "--import good.ics failed: $out"
[ "$("$PROG_DIR/tockwise" --list | cut -f3,6 | tr '\t' ' ' | tr '\n' ,)" = "08:00 Tea,06:45 Run," ] ||
    fail "the ordinary import did not reach the clock: $("$PROG_DIR/tockwise" --list)"
log "an ordinary import reaches the running clock: $out"
