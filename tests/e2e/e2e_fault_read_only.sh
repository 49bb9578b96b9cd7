#!/usr/bin/env bash
# A read-only program folder (a read-only bind mount: as root, permission bits
# would not stop a write).
# 1. Without Alarms.dat the program keeps its alarms in the per-user data
#    folder; an alarm added there survives a kill and a new start, and
#    nothing is written beside the program.
# 2. With an Alarms.dat of its own the program reads it from there; adding an
#    alarm gives a "Tockwise" box with the reason, and neither that file nor
#    the one in the data folder changes.
source "$(dirname "$0")/../faults/e2e_helpers.sh"
private_mounts_or_continue "$@"
source "$(dirname "$0")/lib.sh" "$@"

[ -n "${TOCKWISE_FAULT_NS:-}" ] || skip "no private mount namespace here (unshare -m refused), so no read-only mount"
start_tray
install_program
read_only() { mount --bind "$PROG_DIR" "$PROG_DIR" 2>/dev/null && mount -o remount,bind,ro "$PROG_DIR" 2>/dev/null; }
read_only || skip "a read-only bind mount is not allowed here"
leave_mount_at_exit "$PROG_DIR"
touch "$PROG_DIR/probe" 2>/dev/null && fail "the read-only program folder took a file"
USER_DAT=$XDG_DATA_HOME/tockwise/Alarms.dat

# Ends the running copy the hard way: whatever it holds must be on disk by then.
end_clock() {
    kill -9 "$CLOCK_PID"
    wait "$CLOCK_PID" 2>/dev/null || true
}

# 1. No Alarms.dat beside the program.
start_clock
wait_for_clock
wait_for_size "$USER_DAT" 128 || fail "no 128-byte Alarms.dat in the data folder ($USER_DAT)"
LIST_WIN=$(open_alarm_list_aside)
sleep 0.3
add_alarm "$LIST_WIN" "Read Only One"
wait_editor_closed || fail "the editor stayed open"
wait_for_size "$USER_DAT" 256 || fail "the new alarm did not reach $USER_DAT"
message_box >/dev/null && { screenshot unexpected-box; fail "a box appeared although the save could succeed"; }
end_clock
log "the alarm went to the data folder; the program was killed"

start_clock
wait_for_clock
LIST_WIN=$(open_alarm_list_aside)
sleep 0.3
add_alarm "$LIST_WIN" "Read Only Two"
wait_editor_closed || fail "the editor stayed open"
# The whole table is rewritten from memory: the first alarm is in it only if
# the new start read it back from the data folder.
wait_for_size "$USER_DAT" 384 || fail "$USER_DAT is $(stat -c %s "$USER_DAT") bytes, expected 384"
names=$(alarm_names "$USER_DAT" | paste -sd '|')
[ "$names" = "Read Only One|Read Only Two" ] || fail "$USER_DAT holds: $names"
sleep 0.3
screenshot user-folder-list
end_clock
extra=$(ls -A "$PROG_DIR" | grep -vxE 'tockwise|Chime1.wav' || true)
[ -z "$extra" ] || fail "the program wrote into its read-only folder: $extra"
log "after a new start both alarms are in $USER_DAT: $names"

# 2. A read-only program folder that holds Alarms.dat.
umount "$PROG_DIR"
write_alarms_dat "$PROG_DIR/Alarms.dat" "Alpha Kept" "Bravo Kept"
read_only || fail "the read-only bind mount could not be made again"
cp "$PROG_DIR/Alarms.dat" "$E2E_WORK/before.dat"
cp "$USER_DAT" "$E2E_WORK/user-before.dat"
start_clock
wait_for_clock
LIST_WIN=$(open_alarm_list_aside)
sleep 0.3
add_alarm "$LIST_WIN" "Zulu Read Only"
expect_box add-error "adding an alarm in a read-only folder showed no \"Tockwise\" box"
log "adding: box $BOX (screenshot $E2E_NAME-add-error.png)"
answer_box "$BOX" || fail "the box did not close"
wait_editor_closed || fail "the editor stayed open"
cmp "$E2E_WORK/before.dat" "$PROG_DIR/Alarms.dat" >&2 || fail "the read-only Alarms.dat changed"
cmp "$E2E_WORK/user-before.dat" "$USER_DAT" >&2 || fail "the data folder's Alarms.dat changed"
kill -0 "$CLOCK_PID" 2>/dev/null || fail "the program ended after the failed save"
sleep 0.3
screenshot read-only-list
log "the save failed with a box; both files unchanged; the program runs on"
