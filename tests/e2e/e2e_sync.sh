#!/usr/bin/env bash
# Alarms that follow their owner: two homes (two "computers", each with its
# own program folder and per-user folders) keep their alarms in step through a
# real Radicale on loopback, and a third writer (a phone, plain HTTP requests)
# adds events of its own. Home A runs the clock; home B only uses the command
# line. Added, changed, disabled and removed alarms travel both ways; a
# monthly event is left alone; another program's event is never changed on
# the server; an alarm changed on both sides keeps both; a refused password is
# reported once and changes nothing; the server stopped in the middle of a
# sync loses nothing and the next sync finishes it without duplicates. Against
# a server that misbehaves on purpose (fake_caldav.py), in a third home: an
# alarm rings on its minute while the clock's sync reads a 40 MB answer; a
# command syncing with no clock keeps neither a clock nor other commands
# away; a sync past its deadline is abandoned and the next one runs; a
# server refusing every upload makes the sync fail.
command -v radicale >/dev/null && command -v curl >/dev/null && command -v openssl >/dev/null ||
    { echo "SKIPPED: radicale, curl or openssl missing"; exit 77; }
source "$(dirname "$0")/lib.sh" "$@"

export TZ=UTC
PORT=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
URL=http://127.0.0.1:$PORT/me/alarms/
STORE=$E2E_WORK/radicale
echo 'me:secret' >"$E2E_WORK/users"

start_radicale() {
    radicale --storage-filesystem-folder "$STORE" --server-hosts "127.0.0.1:$PORT" \
        --auth-type htpasswd --auth-htpasswd-filename "$E2E_WORK/users" --auth-htpasswd-encryption plain \
        >>"$E2E_WORK/radicale.log" 2>&1 &
    RADICALE_PID=$!
    E2E_PIDS+=($RADICALE_PID)
    wait_for 10 curl -sf -o /dev/null -u me:secret -X PROPFIND -H 'Depth: 0' "http://127.0.0.1:$PORT/" >/dev/null ||
        fail "radicale did not start: $(tail -5 "$E2E_WORK/radicale.log")"
}
stop_radicale() {
    kill "$RADICALE_PID" 2>/dev/null || true
    wait_for_exit "$RADICALE_PID" 10 || fail "radicale did not stop"
}
# The phone: what another calendar program sends and reads.
phone_put() { curl -sf -o /dev/null -u me:secret -X PUT -H 'Content-Type: text/calendar' --data-binary @"$2" "$URL$1"; }
phone_get() { curl -sf -u me:secret "$URL$1"; }
events_on_server() { find "$STORE/collection-root/me/alarms" -maxdepth 1 -name '*.ics' | wc -l; }

A_ENV=(XDG_CONFIG_HOME="$XDG_CONFIG_HOME" XDG_DATA_HOME="$XDG_DATA_HOME" XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR")
B=$E2E_WORK/b
mkdir -p "$B/prog" "$B/config" "$B/data" "$B/run" "$B/cache"
chmod 700 "$B/run"
cp "$E2E_PROGRAM" "$B/prog/"
a() { env "${A_ENV[@]}" "$PROG_DIR/tockwise" "$@"; }
b() { env XDG_CONFIG_HOME="$B/config" XDG_DATA_HOME="$B/data" XDG_RUNTIME_DIR="$B/run" XDG_CACHE_HOME="$B/cache" \
    "$B/prog/tockwise" "$@"; }
list_has() { "$1" --list 2>/dev/null | grep -qP "$2"; }

printf 'secret\n' >"$E2E_WORK/password"
chmod 600 "$E2E_WORK/password"
start_radicale
install_program
start_tray

# --- set-up: a password file that others may read is refused; the calendar is made.
a --add "Wake up" --at 07:00 --daily >/dev/null 2>&1
a --add "Tea" --at 16:30 --weekly Friday >/dev/null 2>&1
cp "$E2E_WORK/password" "$E2E_WORK/open-password"
chmod 644 "$E2E_WORK/open-password"
a --sync-setup "$URL" --user me --password-file "$E2E_WORK/open-password" >/dev/null 2>"$E2E_WORK/err.txt" &&
    fail "a password file others can read was taken"
grep -q "chmod 600" "$E2E_WORK/err.txt" || fail "the refused password file said: $(cat "$E2E_WORK/err.txt")"
a --sync-setup "http://192.0.2.1/me/alarms/" --user me --password-file "$E2E_WORK/password" >/dev/null 2>&1 &&
    fail "plain HTTP to another computer was taken"
# HTTPS whose certificate the system does not trust (self-signed) is refused.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$E2E_WORK/key.pem" -out "$E2E_WORK/cert.pem" -days 2 \
    -subj /CN=127.0.0.1 >/dev/null 2>&1 || fail "openssl could not make a certificate"
TLS_PORT=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
radicale --storage-filesystem-folder "$E2E_WORK/tls" --server-hosts "127.0.0.1:$TLS_PORT" --auth-type none \
    --server-ssl True --server-certificate "$E2E_WORK/cert.pem" --server-key "$E2E_WORK/key.pem" \
    >"$E2E_WORK/tls.log" 2>&1 &
E2E_PIDS+=($!)
wait_for 10 curl -skf -o /dev/null -u me:secret -X PROPFIND "https://127.0.0.1:$TLS_PORT/" >/dev/null || fail "radicale over TLS did not start"
a --sync-setup "https://127.0.0.1:$TLS_PORT/me/alarms/" --user me --password-file "$E2E_WORK/password" \
    >/dev/null 2>"$E2E_WORK/err.txt" && fail "a self-signed certificate was trusted"
grep -q "self-signed" "$E2E_WORK/err.txt" || fail "the untrusted certificate said: $(cat "$E2E_WORK/err.txt")"
out=$(a --sync-setup "$URL" --user me --password-file "$E2E_WORK/password" 2>"$E2E_WORK/err.txt") ||
    fail "--sync-setup failed: $(cat "$E2E_WORK/err.txt")"
grep -q "the calendar was made" <<<"$out" || fail "--sync-setup did not make the calendar: $out"
grep -q "to the server: 2 added" <<<"$out" || fail "the first sync did not upload both alarms: $out"
grep -q secret "$SETTINGS" && fail "the password landed in the settings"
log "set-up: refused an open password file, plain HTTP elsewhere and an untrusted certificate; made the calendar, uploaded 2 alarms"

# --- the second home: what it had is kept, what the first had arrives.
b --add "Dentist" --at 09:15 --on 2030-01-05 >/dev/null 2>&1
b --add "Tea" --at 16:30 --weekly Friday >/dev/null 2>&1
out=$(b --sync-setup "$URL" --user me --password-file "$E2E_WORK/password" 2>&1) || fail "B's set-up failed: $out"
list_has b 'daily\t07:00.*Wake up' || fail "B did not get A's alarm: $(b --list)"
[ "$(b --list | grep -c Tea)" = 1 ] || fail "the alarm both homes had is there twice on B: $(b --list)"
[ "$(events_on_server)" = 3 ] || fail "the server holds $(events_on_server) events, not 3"
log "second home: got A's alarm, its own Tea linked to A's, its Dentist uploaded (3 events on the server)"

# --- the running clock syncs at start-up and a few seconds after a change.
# The system's session manager, on a bus of the test's own, tells it when the
# computer wakes.
out=$(dbus-daemon --config-file=/usr/share/dbus-1/session.conf --fork --print-address=1 --print-pid=1) ||
    fail "no bus for the session manager"
DBUS_SYSTEM_BUS_ADDRESS=$(sed -n 1p <<<"$out")
export DBUS_SYSTEM_BUS_ADDRESS
E2E_PIDS+=("$(sed -n 2p <<<"$out")")
/usr/bin/python3 "$(dirname "$0")/fake_logind.py" "$DBUS_SYSTEM_BUS_ADDRESS" >"$E2E_WORK/logind.txt" 2>&1 &
LOGIND_PID=$!
E2E_PIDS+=($LOGIND_PID)
wait_for 10 grep -q ready "$E2E_WORK/logind.txt" || fail "the stand-in session manager did not start: $(cat "$E2E_WORK/logind.txt")"
start_clock
wait_for_clock
wait_for 15 list_has a Dentist >/dev/null || fail "the running clock did not sync at start-up: $(a --list)"
a --add "Walk" --at 12:00 --weekdays >/dev/null 2>&1
wait_for 20 eval '[ "$(events_on_server)" = 4 ]' || fail "the clock's new alarm did not reach the server"
log "running clock: synced at start-up, uploaded a new alarm a few seconds after it was added"

# --- the phone adds a daily event and a monthly one.
printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Phone//EN\r\nBEGIN:VEVENT\r\nUID:phone-gym\r\nDTSTAMP:20261201T100000Z\r\nDTSTART:20261210T063000\r\nRRULE:FREQ=DAILY\r\nSUMMARY:Gym\r\nLOCATION:Town hall\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n' >"$E2E_WORK/gym.ics"
sed 's/phone-gym/phone-rent/; s/FREQ=DAILY/FREQ=MONTHLY/; s/Gym/Rent/' "$E2E_WORK/gym.ics" >"$E2E_WORK/rent.ics"
phone_put gym.ics "$E2E_WORK/gym.ics" || fail "the phone could not add its event"
phone_put rent.ics "$E2E_WORK/rent.ics" || fail "the phone could not add its monthly event"
# No sync is due now (the last change is past its few seconds)...
stays_false 7 list_has a Gym || fail "the clock synced with nothing to make it"
# ...until the computer sleeps and wakes: the clock syncs on its own.
kill -USR1 "$LOGIND_PID"
wait_for 15 list_has a 'daily\t06:30.*Gym' >/dev/null ||
    fail "the running clock did not take the phone's event after waking: $(a --list)"
out=$(a --sync-now 2>&1) || fail "--sync-now through the running clock failed: $out"
list_has a Rent && fail "the monthly event became an alarm"
grep -q "sync: skipped the event /me/alarms/rent.ics: ." "$E2E_WORK/clock.log" ||
    fail "the clock did not say why it left the monthly event out: $(grep sync "$E2E_WORK/clock.log")"
log "phone: its daily event became an alarm in the running clock when the computer woke; the monthly one did not"

# --- changed, disabled, removed on B arrive on A.
n=$(b --list | grep Dentist | cut -f1)
b --disable "$n" >/dev/null 2>&1
n=$(b --list | grep 'Wake up' | cut -f1)
b --remove "$n" >/dev/null 2>&1
out=$(b --sync-now 2>&1) || fail "B's sync failed: $out"
grep -q "^skipped the event /me/alarms/rent.ics: ." <<<"$out" || fail "B's sync did not name the event it left out: $out"
a --sync-now >/dev/null 2>&1 || fail "A's sync failed"
list_has a 'disabled\tDentist' || fail "the disabled alarm is not disabled on A: $(a --list)"
list_has a 'Wake up' && fail "the alarm removed on B is still on A"
log "B disabled one alarm and removed another: A followed"

# --- another program's event is never changed on the server.
gym_before=$(phone_get gym.ics)
n=$(a --list | grep Gym | cut -f1)
a --disable "$n" >/dev/null 2>&1
a --sync-now >/dev/null 2>&1
[ "$(phone_get gym.ics)" = "$gym_before" ] || fail "the phone's event was changed on the server"
b --sync-now >/dev/null 2>&1
list_has b 'enabled\tGym' || fail "A's local change of the phone's event reached B"
[ -n "$(phone_get rent.ics)" ] || fail "the monthly event is gone from the server"
a --remove "$n" >/dev/null 2>&1
a --sync-now >/dev/null 2>&1
a --sync-now >/dev/null 2>&1
list_has a Gym && fail "the phone's event removed here came back"
[ "$(phone_get gym.ics)" = "$gym_before" ] || fail "removing the phone's alarm here changed its event"
log "A disabled, then removed the phone's alarm: only there, not taken again; its event and the monthly one stay"

# --- both sides change Tea: the server's version wins, A's is kept disabled.
a --sync-now >/dev/null 2>&1
tea=$(grep -l 'SUMMARY:Tea' "$STORE"/collection-root/me/alarms/*.ics | head -1)
phone_get "$(basename "$tea")" | sed 's/T163000/T171500/' >"$E2E_WORK/tea.ics"
phone_put "$(basename "$tea")" "$E2E_WORK/tea.ics" || fail "the phone could not change Tea"
n=$(a --list | grep -P '\tTea\t$' | cut -f1)
a --disable "$n" >/dev/null 2>&1
out=$(a --sync-now 2>&1) || fail "the sync of a conflict failed: $out"
list_has a 'weekly\t17:15\tFriday\tenabled\tTea\t$' || fail "the server's Tea did not win: $(a --list)"
list_has a '16:30\tFriday\tdisabled\tTea \(conflict\)' || fail "A's Tea was not kept: $(a --list)"
log "conflict: the server's Tea (17:15) and A's, disabled, as \"Tea (conflict)\""

# --- a refused password: said once, nothing changed, tried again later.
# A change waits on the server that a refused password must not bring.
b --disable "$(b --list | grep 'Walk' | cut -f1)" >/dev/null 2>&1
b --sync-now >/dev/null 2>&1 || fail "B's sync failed"
cp "$PROG_DIR/Alarms.dat" "$E2E_WORK/a-before.dat"
printf 'wrong\n' >"$E2E_WORK/password"
a --sync-now >/dev/null 2>"$E2E_WORK/err.txt" && fail "a refused password synced"
grep -qi "password" "$E2E_WORK/err.txt" || fail "the refused password said: $(cat "$E2E_WORK/err.txt")"
cmp -s "$E2E_WORK/a-before.dat" "$PROG_DIR/Alarms.dat" || fail "a refused password changed Alarms.dat"
a --add "Bread" --at 08:00 --daily >/dev/null 2>&1
box=$(wait_for 20 message_box) || fail "the running clock did not say that the sync failed"
screenshot sync-refused
answer_box "$box" || fail "the box did not close"
a --add "Milk" --at 08:05 --daily >/dev/null 2>&1
stays_false 12 message_box || fail "the sync failure was reported a second time"
[ "$(grep -c 'were not synced' "$E2E_WORK/clock.log")" -ge 2 ] || fail "the second failure left no line"
printf 'secret\n' >"$E2E_WORK/password"
out=$(a --sync-now 2>&1) || fail "the sync after the password was mended failed: $out"
grep -q "to the server: added \"Bread\"" <<<"$out" || fail "the alarms added meanwhile did not go up: $out"
log "refused password: one box, a line each time, Alarms.dat unchanged; mended, the next sync caught up"

# --- the server stops in the middle of a sync: nothing lost, nothing twice.
a --sync-now >/dev/null 2>&1
b --sync-now >/dev/null 2>&1
for i in $(seq 200); do
    printf 'BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:Batch %s\r\nDTSTART:20300101T%02d%02d00\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n' "$i" $((i / 60 % 24)) $((i % 60))
done >"$E2E_WORK/batch.ics"
b --import "$E2E_WORK/batch.ics" >/dev/null 2>&1 || fail "B could not import the batch"
b_count=$(b --list | wc -l)
b --sync-now >"$E2E_WORK/cut.txt" 2>&1 &
sync_pid=$!
wait_for 20 eval '[ "$(events_on_server)" -ge 20 ]' || fail "the batch did not start going up"
stop_radicale
status=0
wait "$sync_pid" || status=$?
[ "$status" = 1 ] || fail "the cut-off sync ended with $status: $(tail -3 "$E2E_WORK/cut.txt")"
[ "$(b --list | wc -l)" = "$b_count" ] || fail "B's table changed when the server stopped"
half=$(events_on_server)
start_radicale
out=$(b --sync-now 2>&1) || fail "the sync after the restart failed: $out"
a --sync-now >/dev/null 2>&1 || fail "A's sync after the restart failed"
# Every alarm of B's is one event; the phone's monthly event is the one more.
[ "$(events_on_server)" = $((b_count + 1)) ] ||
    fail "after the restart the server holds $(events_on_server) events for B's $b_count alarms and the phone's monthly one"
[ "$(b --list | wc -l)" = "$b_count" ] || fail "B's table changed by the resumed sync"
[ "$(a --list | grep -c Batch)" = 200 ] || fail "A has $(a --list | grep -c Batch) of the 200 alarms"
log "server stopped after $half events: B unchanged, status 1; restarted: all $b_count up once, A has all 200"

grep -q secret "$E2E_WORK/clock.log" && fail "the password landed in the clock's output"

# --- turned off: forgotten here, nothing deleted anywhere.
out=$(a --sync-off 2>&1) || fail "--sync-off failed: $out"
grep -q 'Sync' "$SETTINGS" && fail "--sync-off left the server in the settings"
[ "$(events_on_server)" = $((b_count + 1)) ] || fail "--sync-off deleted events"
log "sync off: the settings forget the server; nothing deleted"

# --- a third home against a server that misbehaves on purpose.
C=$E2E_WORK/c
mkdir -p "$C/prog" "$C/config" "$C/data" "$C/run" "$C/cache"
chmod 700 "$C/run"
cp "$E2E_PROGRAM" "$C/prog/"
cp "$(dirname "$E2E_PROGRAM")/Chime1.wav" "$C/prog/" 2>/dev/null || true
C_ENV=(XDG_CONFIG_HOME="$C/config" XDG_DATA_HOME="$C/data" XDG_RUNTIME_DIR="$C/run" XDG_CACHE_HOME="$C/cache")
c() { env "${C_ENV[@]}" "$C/prog/tockwise" "$@"; }
c_clock() { # c_clock LOG [VAR=VALUE...]: C's clock in the background, as C_PID
    local log=$1
    shift
    env "${C_ENV[@]}" TOCKWISE_TRACE=1 "$@" "$C/prog/tockwise" >"$log" 2>&1 &
    C_PID=$!
    E2E_PIDS+=($C_PID)
}
c_stop() { kill "$C_PID" 2>/dev/null || true; wait_for_exit "$C_PID" 10 || fail "C's clock did not end"; }
# fake_server NAME [OPTIONS...]: a fresh fake server, as FAKE_PID; C syncs with it.
fake_server() {
    local name=$1
    shift
    [ -z "${FAKE_PID:-}" ] || kill "$FAKE_PID" 2>/dev/null || true
    rm -f "$C/port"
    /usr/bin/python3 "$(dirname "$0")/fake_caldav.py" "$C/port" "$C/$name.log" "$@" &
    FAKE_PID=$!
    E2E_PIDS+=($FAKE_PID)
    wait_for 10 test -s "$C/port" || fail "the fake calendar server did not start"
    printf '[Digital%%20Clock]\nLast%%20Check=%s\nVisible=True\n[Sync]\nURL=http://127.0.0.1:%s/cal/\nUser=me\nPassword%%20File=%s\n' \
        "$(minute_of '2024-03-07 06:59')" "$(cat "$C/port")" "$E2E_WORK/password" >"$C/config/hqz.conf"
}
source "$(dirname "$0")/lib_alarms.sh"

# An alarm rings on its minute while the sync reads one event with a 40 MB
# summary: the answer is sent 3 s before the minute, so the reading and
# mapping of it is under way when the minute begins. Before, the clock stood
# still for minutes over it. The clock starts 20 s before the minute, so that
# its sync (3 s after its start) asks in time on a loaded machine too.
write_alarms "$C/prog/Alarms.dat" 'Big day|daily|07:00'
start=$(/usr/bin/python3 -c 'import time; print("%.3f" % time.time())')
python3 -c 'import sys; print("%+.3f" % (float(sys.argv[1]) - float(sys.argv[2])))' \
    "$(utc_epoch '2024-03-07 06:59:40')" "$start" >"$C/faketime.rc"
fake_server big --big-summary 40 --hold-until "$(python3 -c "print($start + 20 - 3)")"
c_clock "$C/ring.log" LD_PRELOAD="$(faketime_lib)" FAKETIME_TIMESTAMP_FILE="$C/faketime.rc" FAKETIME_NO_CACHE=1 \
    FAKETIME_DONT_FAKE_MONOTONIC=1
wait_for 40 grep -q '^tockwise-trace ring ' "$C/ring.log" ||
    fail "the alarm did not ring while the sync read 40 MB: $(cat "$C/big.log")"
grep -q '^sent multiget' "$C/big.log" || fail "the 40 MB answer was not sent before the alarm rang"
rang=$(sed -n 's/^tockwise-trace ring \([0-9]*\) .*/\1/p' "$C/ring.log" | head -n 1)
late=$((rang - $(utc_epoch '2024-03-07 07:00:00') * 1000))
# Seconds, not the minutes it took before: a loaded machine may add a few.
[ "$late" -ge 0 ] && [ "$late" -lt 5000 ] || fail "the alarm rang $late ms after its minute while the sync read 40 MB"
wait_for 30 grep -q 'sync: skipped the event /cal/big.ics: .' "$C/ring.log" ||
    fail "the clock did not say why it left the 40 MB event out: $(grep -i sync "$C/ring.log")"
c_stop
log "a sync read a 40 MB event: the alarm rang $late ms after its minute; the event was skipped with its reason"

# A command syncing with no clock, against a server that trickles its
# listing: other commands work meanwhile, a second sync is told one is
# running, and a clock starting meanwhile starts (the single-copy lock is
# taken only to apply what came down).
rm -f "$C/prog/Alarms.dat"
fake_server trickle --trickle 25
c --sync-now >"$C/first.txt" 2>&1 &
first=$!
E2E_PIDS+=($first)
wait_for 10 grep -q '^listed' "$C/trickle.log" || fail "the command's sync did not reach the server"
out=$(c --sync-now 2>&1) && fail "a second sync ran beside the first: $out"
grep -q "a sync is already running" <<<"$out" || fail "the second sync said: $out"
out=$(timeout 4 env "${C_ENV[@]}" "$C/prog/tockwise" --add "Meanwhile" --at 08:00 --daily 2>&1) ||
    fail "--add during a command's sync failed: $out"
cp "$C/prog/Alarms.dat" "$C/meanwhile.dat"
c_clock "$C/clock.log" TOCKWISE_SYNC_DEADLINE_MS=4000
wait_for 10 clock_window "$C_PID" >/dev/null || fail "a clock started during a command's sync did not start: $(cat "$C/clock.log")"
status=0
wait_for_exit "$first" 30 || fail "the command's sync did not end after the clock started"
wait "$first" || status=$?
[ "$status" = 1 ] && grep -q "a clock started during the sync" "$C/first.txt" ||
    fail "the command's sync ended with $status: $(cat "$C/first.txt")"
cmp -s "$C/meanwhile.dat" "$C/prog/Alarms.dat" || fail "the command's sync changed the table under the running clock"
log "a command synced with no clock: --add and a clock start worked meanwhile, a second sync was told one runs"

# A sync past its deadline (4 s here) is abandoned, said so, and the next one
# runs: the trickling server would hold it for ever.
fake_server stuck --trickle 100 --trickle-bytes 50
for attempt in 1 2; do
    out=$(timeout 20 env "${C_ENV[@]}" "$C/prog/tockwise" --sync-now 2>&1) && fail "a stuck sync succeeded: $out"
    grep -q "took longer than 4 seconds and was abandoned" <<<"$out" || fail "sync $attempt past its deadline said: $out"
done
c_stop
log "a sync against a server that never finishes was abandoned at its deadline, twice in a row"

# Every upload refused: the sync fails, and says so.
fake_server refusing --put-status 412
out=$(c --sync-now 2>&1) && fail "a sync whose every upload was refused succeeded: $out"
grep -q "the server refused the one change sent to it" <<<"$out" || fail "the refused uploads said: $out"
log "a server refusing every upload: status 1"
