#!/usr/bin/env bash
# A full disk while alarms are saved. The program folder is a small tmpfs,
# filled up once the clock runs. Adding an alarm and removing one through the
# windows each give a "Tockwise" box with the reason, and Alarms.dat stays
# byte for byte as it was. Once space is freed the next save writes every
# alarm, the one whose save failed included: nothing is lost. The settings,
# kept on the same disk, name the system's reason when they cannot be saved.
source "$(dirname "$0")/../faults/e2e_helpers.sh"
private_mounts_or_continue "$@"
source "$(dirname "$0")/lib.sh" "$@"

[ -n "${TOCKWISE_FAULT_NS:-}" ] || skip "no private mount namespace here (unshare -m refused), so no tmpfs to fill"
# Room for the program and its chime and little else.
size_kb=$(( ($(stat -c %s "$E2E_PROGRAM") + $(stat -c %s "$(dirname "$E2E_PROGRAM")/Chime1.wav" 2>/dev/null || echo 0)) / 1024 + 256 ))
mkdir -p "$PROG_DIR"
mount -t tmpfs -o "size=${size_kb}k,mode=755" tockwise-full "$PROG_DIR" 2>/dev/null ||
    skip "mount -t tmpfs is not allowed here"
leave_mount_at_exit "$PROG_DIR"
log "program folder: tmpfs of $size_kb KiB"

start_tray
install_program
write_alarms_dat "$PROG_DIR/Alarms.dat" "Alpha Kept" "Bravo Kept"
cp "$PROG_DIR/Alarms.dat" "$E2E_WORK/before.dat"
start_clock
wait_for_clock
sleep 0.5
cmp -s "$E2E_WORK/before.dat" "$PROG_DIR/Alarms.dat" || fail "starting changed Alarms.dat"

# Fill the disk.
dd if=/dev/zero of="$PROG_DIR/filler" bs=4k 2>/dev/null || true
avail=$(df --output=avail -k "$PROG_DIR" | tail -n1 | tr -d ' ')
[ "$avail" -eq 0 ] || fail "the tmpfs still has $avail KiB free after filling it"
if printf 'x' >"$PROG_DIR/probe" 2>/dev/null && [ -s "$PROG_DIR/probe" ]; then
    fail "a write to the full tmpfs succeeded"
fi
rm -f "$PROG_DIR/probe"
log "the program folder is full"

LIST_WIN=$(open_alarm_list_aside)
sleep 0.3

# 1. Add an alarm: the save fails, and the editor stays with the alarm.
EDITOR_WIN=$(open_editor "$LIST_WIN") || exit 1
type_alarm_name "$EDITOR_WIN" "Zulu Disk Full"
confirm_alarm "$EDITOR_WIN"
expect_box add-error "adding an alarm on a full disk showed no \"Tockwise\" box"
log "adding: box $BOX (screenshot $E2E_NAME-add-error.png)"
cmp "$E2E_WORK/before.dat" "$PROG_DIR/Alarms.dat" >&2 || fail "Alarms.dat changed after the failed save"
kill -0 "$CLOCK_PID" 2>/dev/null || fail "the program ended after the failed save"
answer_box "$BOX" || fail "the box did not close"
visible_window 'Alarm Details' 305 321 >/dev/null || fail "the editor closed: the alarm typed into it is lost"
log "adding failed with a box; Alarms.dat unchanged, the editor still holds the alarm"

# 2. The editor given up on; remove "Alpha Kept" (the first row: the list is
# sorted by its text): refused too.
xdotool windowfocus --sync "$EDITOR_WIN" 2>/dev/null || true
xdotool key Escape
wait_editor_closed || fail "Escape did not close the editor"
click_at "$LIST_WIN" 60 97
sleep 0.2
click_at "$LIST_WIN" 324 268
expect_box remove-question "\"Remove\" asked nothing"
answer_box "$BOX" || fail "the removal question did not close"
expect_box remove-error "removing an alarm on a full disk showed no \"Tockwise\" box"
log "removing: box $BOX (screenshot $E2E_NAME-remove-error.png)"
cmp "$E2E_WORK/before.dat" "$PROG_DIR/Alarms.dat" >&2 || fail "Alarms.dat changed after the failed removal"
answer_box "$BOX" || fail "the box did not close"
[ -z "$(find "$PROG_DIR" -name 'Alarms.dat?*')" ] || fail "temporary files left: $(find "$PROG_DIR" -name 'Alarms.dat?*')"
log "removing failed with a box; Alarms.dat unchanged, no temporary file left"

# 3. Space again: the next save holds the new alarm and nothing that failed.
rm -f "$PROG_DIR/filler"
add_alarm "$LIST_WIN" "Zz After Space Freed"
wait_editor_closed || fail "the editor stayed open once there was space"
wait_for_size "$PROG_DIR/Alarms.dat" $((4 * 128)) ||
    fail "Alarms.dat is $(stat -c %s "$PROG_DIR/Alarms.dat") bytes, expected 512 (placeholder and three alarms)"
message_box >/dev/null && { screenshot unexpected-box; fail "a box appeared although the save could succeed"; }
names=$(alarm_names "$PROG_DIR/Alarms.dat" | paste -sd '|')
[ "$names" = "Alpha Kept|Bravo Kept|Zz After Space Freed" ] || fail "Alarms.dat holds: $names"
head -c 384 "$PROG_DIR/Alarms.dat" | cmp - "$E2E_WORK/before.dat" >&2 || fail "the kept alarms' bytes changed"
log "after freeing space Alarms.dat holds: $names"

# 4. The settings on the same disk, full again when the clock ends: they
# cannot be saved, and standard error says why in the system's words.
kill "$CLOCK_PID"
wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end on SIGTERM"
cp -r "$XDG_CONFIG_HOME" "$PROG_DIR/config"
launch XDG_CONFIG_HOME="$PROG_DIR/config" --
wait_for_clock
sleep 1.5
dd if=/dev/zero of="$PROG_DIR/filler" bs=4k 2>/dev/null || true
kill "$CLOCK_PID"
wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end on SIGTERM with the disk full"
grep -q "hqz.conf: No space left on device" "$E2E_WORK/clock.log" ||
    fail "a failed settings save on a full disk did not give the system's reason"
log "the settings on a full disk: \"No space left on device\""
