#!/usr/bin/env bash
# A read-only program folder (a read-only bind mount: as root, permission bits
# would not stop a write).
# 1. Without Alarms.dat the program keeps its alarms in the per-user data
#    folder; an alarm added there survives a kill and a new start, and
#    nothing is written beside the program.
# 2. The program folder writable again but without Alarms.dat (a build or a
#    new install beside the old one): the alarms in the data folder are still
#    the ones used, and no empty table is started beside the program.
# 3. A read-only program folder that holds Alarms.dat, and none in the data
#    folder: the file is copied once into the data folder, which then takes
#    every edit without a box; the original is left as it is.
source "$(dirname "$0")/../faults/e2e_helpers.sh"
private_mounts_or_continue "$@"
source "$(dirname "$0")/lib.sh" "$@"
poll_the_clock # the faked clock jumps while the program runs

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

# 2. A writable program folder without Alarms.dat, the alarms in the data folder.
umount "$PROG_DIR"
touch "$PROG_DIR/probe" && rm "$PROG_DIR/probe" || fail "the program folder is still read-only"
start_clock
wait_for_clock
LIST_WIN=$(open_alarm_list_aside)
sleep 0.3
add_alarm "$LIST_WIN" "Writable Three"
wait_editor_closed || fail "the editor stayed open"
wait_for_size "$USER_DAT" 512 ||
    fail "$USER_DAT is $(stat -c %s "$USER_DAT") bytes, expected 512 (beside the program: $(ls -A "$PROG_DIR" | paste -sd ' '))"
names=$(alarm_names "$USER_DAT" | paste -sd '|')
[ "$names" = "Read Only One|Read Only Two|Writable Three" ] || fail "$USER_DAT holds: $names"
[ ! -e "$PROG_DIR/Alarms.dat" ] || fail "an Alarms.dat was started beside the program"
message_box >/dev/null && { screenshot unexpected-box; fail "a box appeared although the save could succeed"; }
end_clock
log "with a writable program folder the alarms stay in $USER_DAT: $names"

# 3. A read-only program folder that holds Alarms.dat, none in the data folder.
write_alarms_dat "$PROG_DIR/Alarms.dat" "Alpha Kept" "Bravo Kept"
rm "$USER_DAT"
read_only || fail "the read-only bind mount could not be made again"
cp "$PROG_DIR/Alarms.dat" "$E2E_WORK/before.dat"
start_clock
wait_for_clock
cmp "$E2E_WORK/before.dat" "$USER_DAT" >&2 || fail "the program folder's Alarms.dat was not copied into $USER_DAT"
LIST_WIN=$(open_alarm_list_aside)
sleep 0.3
add_alarm "$LIST_WIN" "Zulu Copied"
wait_editor_closed || fail "the editor stayed open"
wait_for_size "$USER_DAT" 512 || fail "the new alarm did not reach $USER_DAT"
message_box >/dev/null && { screenshot unexpected-box; fail "a box appeared although the copy can be saved"; }
names=$(alarm_names "$USER_DAT" | paste -sd '|')
[ "$names" = "Alpha Kept|Bravo Kept|Zulu Copied" ] || fail "$USER_DAT holds: $names"
cmp "$E2E_WORK/before.dat" "$PROG_DIR/Alarms.dat" >&2 || fail "the read-only Alarms.dat changed"
kill -0 "$CLOCK_PID" 2>/dev/null || fail "the program ended"
sleep 0.3
screenshot copied-list
log "the read-only folder's alarms were copied to $USER_DAT and took the edit: $names"

# 4. A read-only settings folder: the first save that fails (here right after
#    an alarm rang) is reported once in a "Tockwise" box naming the file and
#    the reason; later failures are not, and the clock runs on.
kill "$CLOCK_PID"
wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end"
umount -l "$PROG_DIR"
write_alarms "$PROG_DIR/Alarms.dat" 'Eight|daily|08:00' 'Eight one|daily|08:01'
write_settings "Last%20Check=$(minute_of '2024-03-07 07:59')" "Visible=True"
mount --bind "$XDG_CONFIG_HOME" "$XDG_CONFIG_HOME" && mount -o remount,bind,ro "$XDG_CONFIG_HOME" ||
    fail "the settings folder could not be made read-only"
E2E_MOUNT2=$XDG_CONFIG_HOME
trap 'status=$?; set +e; umount -l "$E2E_MOUNT2" 2>/dev/null; leave_mount "$E2E_MOUNT" "$status"; (exit $status); e2e_cleanup' EXIT
start_movable_clock "$(utc_epoch '2024-03-07 07:59:57')"
wait_for_clock
wait_for_trace ring 1 10 || fail "the 08:00 alarm did not ring"
expect_box settings-error "a settings file that cannot be written gave no \"Tockwise\" box"
grep -q "settings were not saved: $SETTINGS: Read-only file system" "$E2E_WORK/clock.log" ||
    fail "the reason does not name the settings file and why"
answer_box "$BOX" || fail "the box did not close"
set_clock "$(utc_epoch '2024-03-07 08:00:58')"
wait_for_trace ring 2 10 || fail "the 08:01 alarm did not ring"
stays_false 2 message_box || fail "a second failed save gave a second box"
kill -0 "$CLOCK_PID" 2>/dev/null || fail "the program ended"
log "the settings that could not be saved were reported once; the clock runs on"
