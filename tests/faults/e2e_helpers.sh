# shellcheck shell=bash
# Helpers for the end-to-end fault tests (tests/e2e/e2e_fault_*.sh), sourced
# after tests/e2e/lib.sh.

# Runs the calling test again in a private mount namespace, so a tmpfs or a
# read-only bind mount it makes vanishes with it, however it ends. Call before
# sourcing lib.sh. Does nothing where namespaces are not allowed.
private_mounts_or_continue() {
    if [ -z "${TOCKWISE_FAULT_NS:-}" ] && unshare -m --propagation private true 2>/dev/null; then
        TOCKWISE_FAULT_NS=1 exec unshare -m --propagation private bash "$0" "$@"
    fi
}

# Exit 0 with a message CTest shows: the machine offers no way to make the fault.
skip() {
    echo "[$E2E_NAME] SKIPPED: $*"
    exit 0
}

# wait_for_window TITLE WIDTH HEIGHT: the visible window of that title and size.
wait_for_window() {
    local title=$1 width=$2 height=$3 id info
    for _ in $(seq 100); do
        for id in $(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null || true); do
            info=$(xwininfo -id "$id" 2>/dev/null) || continue
            if grep -q "Width: $width\$" <<<"$info" && grep -q "Height: $height\$" <<<"$info"; then
                echo "$id"
                return 0
            fi
        done
        sleep 0.1
    done
    return 1
}

# click_at WINDOW X Y: a left click at pixel (X, Y) of the window's client area.
click_at() {
    local wx wy
    read -r wx wy < <(window_position "$1")
    xdotool mousemove $((wx + $2)) $((wy + $3)) click 1
}

# A visible message box: titled "Tockwise" but neither the 200 x 70 clock
# nor the 393 x 345 alarm list.
message_box() {
    local id info
    for id in $(xdotool search --onlyvisible --name '^Tockwise$' 2>/dev/null || true); do
        info=$(xwininfo -id "$id" 2>/dev/null) || continue
        grep -q 'Map State: IsViewable' <<<"$info" || continue
        if grep -q 'Width: 200$' <<<"$info" && grep -q 'Height: 70$' <<<"$info"; then continue; fi
        if grep -q 'Width: 393$' <<<"$info" && grep -q 'Height: 345$' <<<"$info"; then continue; fi
        # The tray icon is a 22 x 22 window titled Tockwise too.
        if grep -q 'Width: 22$' <<<"$info"; then continue; fi
        echo "$id"
        return 0
    done
    return 1
}

# wait_for_message_box [SECONDS]
wait_for_message_box() {
    for _ in $(seq $((${1:-5} * 10))); do
        message_box && return 0
        sleep 0.1
    done
    return 1
}

# The box's default button (OK, or Yes for a question) by the keyboard.
answer_box() {
    xdotool windowfocus --sync "$1" 2>/dev/null || true
    xdotool key --clearmodifiers Return
    for _ in $(seq 30); do
        xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable' || return 0
        sleep 0.1
    done
    return 1
}

# write_alarms_dat FILE NAME...: the placeholder and one Daily alarm per name,
# laid out as the program writes them (128-byte slots, little-endian).
write_alarms_dat() {
    python3 - "$@" <<'PY'
import sys
path, names = sys.argv[1], sys.argv[2:]
data = bytearray(128)
for i, name in enumerate(names, start=1):
    slot = bytearray(128)
    slot[0:4] = i.to_bytes(4, "little")
    slot[4:104] = name.encode("cp1252").ljust(100, b" ")
    slot[104] = 1                      # Daily
    slot[105] = 6 + i                  # hour
    slot[106] = 5 * i                  # minute
    slot[108], slot[109] = 1, 1
    slot[110:112] = (2024).to_bytes(2, "little")
    data += slot
open(path, "wb").write(bytes(data))
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

# The alarm list through the main menu of the clock: its window id. The list
# opens centred on the screen, over the clock; it is moved aside so the clock
# can still be right-clicked.
open_alarm_list() {
    local cx cy list
    read -r cx cy < <(window_position "$CLOCK_WIN")
    xdotool mousemove $((cx + 100)) $((cy + 35)) click 3
    open_menu >/dev/null || fail "no menu after a right click on the clock"
    menu_choose 0 5
    list=$(wait_for_window Tockwise 393 345) || fail "\"Open Alarms\" showed no alarm list"
    xdotool windowmove --sync "$list" 760 40 2>/dev/null || xdotool windowmove "$list" 760 40
    sleep 0.2
    echo "$list"
}

# add_alarm LIST_WINDOW NAME: "Add New", the name, "Confirm" (a Once Only
# alarm at the editor's defaults).
add_alarm() {
    local list=$1 name=$2 editor
    click_at "$list" 68 268
    editor=$(wait_for_window 'Alarm Details' 305 321) || fail "\"Add New\" showed no editor"
    sleep 0.3
    click_at "$editor" 188 17
    sleep 0.2
    xdotool type --delay 20 "$name"
    sleep 0.3
    click_at "$editor" 156 300
}

# The editor has gone.
wait_editor_closed() {
    for _ in $(seq 50); do
        [ -z "$(xdotool search --onlyvisible --name '^Alarm Details$' 2>/dev/null || true)" ] && return 0
        sleep 0.1
    done
    return 1
}

# Waits up to $2 seconds for FILE ($1) to become $3 bytes long.
wait_for_size() {
    for _ in $(seq $(($2 * 10))); do
        [ "$(stat -c %s "$1" 2>/dev/null || echo -1)" -eq "$3" ] && return 0
        sleep 0.1
    done
    return 1
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
