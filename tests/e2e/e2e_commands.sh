#!/usr/bin/env bash
# Alarms changed from outside the windows while the clock runs with its alarm
# list open: the command line adds, lists, disables and removes through the
# running copy, D-Bus (gdbus, on a session bus of the test's own) does the
# same, and the open list follows every change. With the editor open a change
# is refused and Alarms.dat stays as it was.
if [ -z "${TOCKWISE_E2E_BUS:-}" ]; then
    command -v dbus-run-session >/dev/null && command -v gdbus >/dev/null || {
        echo "SKIPPED: dbus-run-session or gdbus missing"
        exit 77
    }
    TOCKWISE_E2E_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"

export TZ=UTC
BUS=(--session --dest example.varnod.Tockwise --object-path /example/varnod/Tockwise)
ALARMS=example.varnod.Tockwise.Alarms

start_tray
install_program

# No clock yet: the command changes Alarms.dat itself. A save that fails (a
# file size limit of 1 KiB, as a full disk would) leaves it as it was.
out=$("$PROG_DIR/tockwise" --add "Alone" --at 06:00 --on 2030-01-01 2>"$E2E_WORK/err.txt") ||
    fail "--add without a clock failed: $(cat "$E2E_WORK/err.txt")"
[ "$out" = 1 ] || fail "--add without a clock printed '$out'"
# Twenty calendars in one file, one event each.
for i in $(seq 20); do
    printf 'BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:Event %s\r\nDTSTART:20300101T07%02d00\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n' "$i" "$i"
done >"$E2E_WORK/twenty.ics"
cp "$PROG_DIR/Alarms.dat" "$E2E_WORK/before.dat"
status=0
(ulimit -f 1 && exec "$PROG_DIR/tockwise" --import "$E2E_WORK/twenty.ics") >/dev/null 2>"$E2E_WORK/err.txt" || status=$?
[ "$status" -eq 1 ] || fail "--import over the size limit ended with $status: $(cat "$E2E_WORK/err.txt")"
grep -q "nothing imported" "$E2E_WORK/err.txt" || fail "--import over the size limit said: $(cat "$E2E_WORK/err.txt")"
cmp -s "$E2E_WORK/before.dat" "$PROG_DIR/Alarms.dat" || fail "a failed --import changed Alarms.dat"
"$PROG_DIR/tockwise" --remove 1 >/dev/null 2>&1 || fail "--remove 1 without a clock failed"
log "without a clock: --add, a failed --import (status 1, Alarms.dat unchanged), --remove"

start_clock
wait_for_clock
wait_until gdbus introspect "${BUS[@]}" >/dev/null || fail "the clock took no name on the session bus"
gdbus monitor "${BUS[@]}" >"$E2E_WORK/signals.txt" 2>&1 &
E2E_PIDS+=($!)

LIST_WIN=$(open_alarm_list)
sleep 0.5
read -r lx ly < <(window_position "$LIST_WIN")
list_rect="360x40+$((lx + 10))+$((ly + 90))"
list_dark() {
    screenshot "list-$1"
    dark_pixels "$E2E_ARTIFACTS/$E2E_NAME-list-$1.png" "$list_rect"
}
empty_dark=$(list_dark empty)

# The command line, through the running copy.
out=$("$PROG_DIR/tockwise" --add "Morning Run" --at 07:45 --daily 2>"$E2E_WORK/err.txt") ||
    fail "--add failed: $(cat "$E2E_WORK/err.txt")"
[ "$out" = 1 ] || fail "--add printed '$out', not the number 1"
wait_for_size "$PROG_DIR/Alarms.dat" 256 || fail "Alarms.dat does not hold the new alarm"
sleep 0.5
row_dark=$(list_dark added)
[ "$row_dark" -gt $((empty_dark + 100)) ] ||
    fail "the open list shows no new row ($row_dark dark pixels, $empty_dark before)"
log "--add went through the clock; the open list shows the row"

"$PROG_DIR/tockwise" --disable 1 >/dev/null 2>&1 || fail "--disable 1 failed"
listed=$("$PROG_DIR/tockwise" --list)
[ "$listed" = "$(printf '1\tdaily\t07:45\t-\tdisabled\tMorning Run\t')" ] || fail "--list printed: $listed"
log "--disable and --list: $listed"

# D-Bus: the same table.
added=$(gdbus call "${BUS[@]}" --method $ALARMS.Add "Tea" "weekly" 16 30 "Friday") || fail "Add failed"
[ "$added" = "(2,)" ] || fail "Add answered $added"
gdbus call "${BUS[@]}" --method $ALARMS.SetEnabled 1 true >/dev/null || fail "SetEnabled failed"
listed=$(gdbus call "${BUS[@]}" --method $ALARMS.List)
expected="([(1, 'Morning Run', 'daily', byte 0x07, byte 0x2d, '-', true), (2, 'Tea', 'weekly', 0x10, 0x1e, 'Friday', true)],)"
[ "$listed" = "$expected" ] || fail "List answered $listed"
if gdbus call "${BUS[@]}" --method $ALARMS.Remove 7 >/dev/null 2>"$E2E_WORK/err.txt"; then
    fail "Remove 7 of two alarms succeeded"
fi
grep -q InvalidArgs "$E2E_WORK/err.txt" || fail "Remove 7 failed otherwise: $(cat "$E2E_WORK/err.txt")"
# A name is text: a line break would forge a line of --list.
if gdbus call "${BUS[@]}" --method $ALARMS.Add $'Tea\n3\tdaily' "daily" 7 0 "" >/dev/null 2>"$E2E_WORK/err.txt"; then
    fail "Add took a name with a line break"
fi
grep -q 'control character (U+000A)' "$E2E_WORK/err.txt" || fail "Add refused otherwise: $(cat "$E2E_WORK/err.txt")"
gdbus call "${BUS[@]}" --method $ALARMS.Remove 1 >/dev/null || fail "Remove 1 failed"
listed=$("$PROG_DIR/tockwise" --list)
[ "$listed" = "$(printf '2\tweekly\t16:30\tFriday\tenabled\tTea\t' | sed 's/^2/1/')" ] || fail "after Remove: $listed"
log "D-Bus Add, SetEnabled, List, Remove: $listed"

"$PROG_DIR/tockwise" --remove 1 >/dev/null 2>&1 || fail "--remove 1 failed"
wait_for_size "$PROG_DIR/Alarms.dat" 128 || fail "Alarms.dat still holds an alarm"
sleep 0.5
gone_dark=$(list_dark removed)
[ "$gone_dark" -lt $((empty_dark + 100)) ] || fail "the open list still shows a row ($gone_dark dark pixels)"
signals=$(grep -c "$ALARMS.AlarmsChanged" "$E2E_WORK/signals.txt" || true)
[ "$signals" -ge 6 ] || fail "AlarmsChanged came $signals times for 6 changes"
log "--remove emptied the list; AlarmsChanged came $signals times"

# An export read back through a pipe: the same alarm, skipped.
"$PROG_DIR/tockwise" --add "Walk" --at 12:00 --weekdays >/dev/null 2>&1 || fail "--add failed"
again=$("$PROG_DIR/tockwise" --export - 2>/dev/null | "$PROG_DIR/tockwise" --import - 2>"$E2E_WORK/err.txt") ||
    fail "--export - | --import - failed: $(cat "$E2E_WORK/err.txt")"
[ "$again" = "imported 0 alarms, skipped 1" ] || fail "the export read back gave: $again"
grep -q 'skipped "Walk" (20000103T120000): the same alarm is already there' "$E2E_WORK/err.txt" ||
    fail "the skipped event's line: $(cat "$E2E_WORK/err.txt")"
log "--export - | --import -: $again"

# While the editor is open, a change is refused and the file is left alone.
cp "$PROG_DIR/Alarms.dat" "$E2E_WORK/before.dat"
open_editor "$LIST_WIN" >/dev/null
status=0
"$PROG_DIR/tockwise" --remove 1 >/dev/null 2>"$E2E_WORK/err.txt" || status=$?
[ "$status" -eq 1 ] || fail "--remove with the editor open ended with $status"
grep -q "editor is open" "$E2E_WORK/err.txt" || fail "--remove said: $(cat "$E2E_WORK/err.txt")"
cmp -s "$E2E_WORK/before.dat" "$PROG_DIR/Alarms.dat" || fail "Alarms.dat changed by a refused command"
log "with the editor open: status 1, Alarms.dat unchanged"

# A clock started without a runtime folder keeps its lock and socket in the
# private cache folder; a command from another environment still finds it.
end_program_copies
wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end"
launch -u XDG_RUNTIME_DIR XDG_CACHE_HOME="$E2E_WORK/cache" --
wait_for_clock
wait_until test -S "$E2E_WORK/cache/tockwise/tockwise.socket" || fail "no socket in the cache folder"
out=$(XDG_CACHE_HOME="$E2E_WORK/cache" "$PROG_DIR/tockwise" --snooze-all 2>"$E2E_WORK/err.txt") ||
    fail "--snooze-all did not find the clock: $(cat "$E2E_WORK/err.txt")"
[ "$out" = "snoozed 0 notifications for 10 minutes" ] || fail "--snooze-all said: $out"
log "a command with another runtime folder found the clock in the cache folder"

# The autostart entry of a copy in a folder whose path holds a space, a % and
# what a shell reserves: a valid entry whose Exec line starts that very copy
# the way a desktop does (gio launch reads it as GLib desktops do). A link
# where the entry belongs is replaced, never written through, and "off"
# removes a link, not what it names.
end_program_copies
wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end"
odd_dir="$E2E_WORK/my clocks/50% \$HOME's \"best\" \\ (1)"
mkdir -p "$odd_dir" "$XDG_CONFIG_HOME/autostart"
cp "$E2E_PROGRAM" "$odd_dir/"
cp "$(dirname "$E2E_PROGRAM")/Chime1.wav" "$odd_dir/" 2>/dev/null || true
entry=$XDG_CONFIG_HOME/autostart/example.varnod.Tockwise.desktop
printf 'export KEEP=1\n' >"$E2E_WORK/profile"
ln -s "$E2E_WORK/profile" "$entry"
"$odd_dir/tockwise" --autostart on >/dev/null 2>"$E2E_WORK/err.txt" ||
    fail "--autostart on failed: $(cat "$E2E_WORK/err.txt")"
[ ! -L "$entry" ] && [ -f "$entry" ] || fail "the autostart entry is still a link"
[ "$(cat "$E2E_WORK/profile")" = "export KEEP=1" ] || fail "--autostart on wrote into the file the link named"
desktop-file-validate "$entry" >"$E2E_WORK/validate.txt" 2>&1 ||
    fail "the autostart entry is not valid: $(cat "$E2E_WORK/validate.txt"); $(grep '^Exec=' "$entry")"
gio launch "$entry" >>"$E2E_WORK/clock.log" 2>&1 || fail "gio launch could not start the entry: $(grep '^Exec=' "$entry")"
# The copy it started: the one whose program is in the odd folder.
odd_clock() {
    local pid
    for pid in $(pgrep -x tockwise || true); do
        if [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$odd_dir/tockwise" ]; then
            echo "$pid"
            return 0
        fi
    done
    return 1
}
odd_pid=$(wait_for 10 odd_clock) || fail "the autostart entry started no copy of $odd_dir/tockwise"
E2E_PIDS+=("$odd_pid")
wait_for 10 clock_window "$odd_pid" >/dev/null || fail "the copy the autostart entry started shows no clock"
log "autostart from a path with a space and a %: $(grep '^Exec=' "$entry") is valid and starts the clock"
kill "$odd_pid"
wait_for_exit "$odd_pid" 10 || fail "the autostarted clock did not end"
rm "$entry"
ln -s "$E2E_WORK/profile" "$entry"
"$odd_dir/tockwise" --autostart off >/dev/null 2>"$E2E_WORK/err.txt" ||
    fail "--autostart off failed: $(cat "$E2E_WORK/err.txt")"
[ ! -e "$entry" ] && [ ! -L "$entry" ] || fail "--autostart off left the link"
[ "$(cat "$E2E_WORK/profile" 2>/dev/null)" = "export KEEP=1" ] || fail "--autostart off removed or changed what the link named"
log "a link where the entry belongs: replaced by \"on\", removed by \"off\"; the file it named untouched"
