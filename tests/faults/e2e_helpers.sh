# shellcheck shell=bash
# Helpers for the end-to-end fault tests (tests/e2e/e2e_fault_*.sh), sourced
# after tests/e2e/lib.sh, or before it by a test that needs
# private_mounts_or_continue. The window, menu and Alarms.dat helpers they use
# are those of tests/e2e/lib.sh and lib_alarms.sh.
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib_alarms.sh"

# Runs the calling test again in a private mount namespace, so a tmpfs or a
# read-only bind mount it makes vanishes with it, however it ends. Call before
# sourcing lib.sh. Does nothing where namespaces are not allowed.
private_mounts_or_continue() {
    if [ -z "${TOCKWISE_FAULT_NS:-}" ] && unshare -m --propagation private true 2>/dev/null; then
        TOCKWISE_FAULT_NS=1 exec unshare -m --propagation private bash "$0" "$@"
    fi
}

# write_alarms_dat FILE NAME...: the placeholder and one Daily alarm per name,
# the i-th at (6 + i):(5 i) dated 1 January 2024.
write_alarms_dat() {
    local file=$1 i=0 name specs=()
    shift
    for name in "$@"; do
        i=$((i + 1))
        specs+=("$name|daily|$((6 + i)):$((5 * i))||2024-01-01")
    done
    write_alarms "$file" "${specs[@]}"
}

# The alarm list through the main menu of the clock: its window id. The list
# opens centred on the screen, over the clock; it is moved aside so the clock
# can still be right-clicked.
open_alarm_list_aside() {
    local list
    list=$(open_alarm_list) || exit 1
    xdotool windowmove --sync "$list" 760 40 2>/dev/null || xdotool windowmove "$list" 760 40
    sleep 0.2
    echo "$list"
}

# expect_box SHOT WHY: waits up to five seconds for a "Tockwise" box, else
# fails saying WHY; leaves its id in BOX and a screenshot named SHOT.
expect_box() {
    BOX=$(wait_for_message_box 5) || fail "$2"
    sleep 0.3
    screenshot "$1"
}

# leave_mount FOLDER STATUS: ends the program, keeps the alarm files of a
# failed run beside the log, and detaches the mount (lazily: the program's
# binary may still be open for a moment).
leave_mount() {
    [ -n "${CLOCK_PID:-}" ] && kill "$CLOCK_PID" 2>/dev/null && wait_for_exit "$CLOCK_PID" 5
    if [ "$2" -ne 0 ]; then
        mkdir -p "$E2E_WORK/kept"
        cp -a "$1"/Alarms.dat* "$E2E_WORK/kept/" 2>/dev/null
    fi
    umount -l "$1" 2>/dev/null
    return 0
}

# leave_mount_at_exit FOLDER: leave_mount before the usual cleanup, however
# the test ends.
leave_mount_at_exit() {
    E2E_MOUNT=$1
    trap 'status=$?; set +e; leave_mount "$E2E_MOUNT" "$status"; (exit $status); e2e_cleanup' EXIT
}
