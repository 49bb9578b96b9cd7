#!/usr/bin/env bash
# A Daily alarm added through the real windows: main menu, "Open Alarms",
# "Add New", the editor, "Confirm"; Alarms.dat must then hold exactly the bytes
# of the placeholder and that alarm, and the list must show its row.
source "$(dirname "$0")/lib.sh" "$@"

export TZ=UTC
# Qt's timers run on the monotonic clock; only the date is meant to be faked.
export FAKETIME_DONT_FAKE_MONOTONIC=1

# The faketime wrapper does not pass signals on, so the program itself is ended here.
program_pids() { pgrep -f "^$PROG_DIR/tockwise( |$)" || true; }
end_program_copies() {
    local pid
    for pid in $(program_pids); do kill "$pid" 2>/dev/null || true; done
}
trap 'status=$?; set +e; end_program_copies; (exit $status); e2e_cleanup' EXIT
# Another server on this display (a leftover, or a second run of this test at
# the same time) would otherwise be used silently: the lock names its owner.
[ "$(tr -d ' \n' <"/tmp/.X$E2E_DISPLAY_NUM-lock" 2>/dev/null)" = "${E2E_PIDS[0]}" ] ||
    fail "another X server already holds $DISPLAY"

ALARM_NAME="Morning Run 7"
ALARM_HOUR=7
ALARM_MINUTE=45

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

# Dark pixels inside a rectangle ("WxH+X+Y", screen coordinates) of a screenshot.
dark_pixels() {
    convert "$1" -crop "$2" +repage -colorspace gray -threshold 50% \
        -format '%[fx:int((1-mean)*w*h)]' info: 2>/dev/null || echo 0
}

start_tray
install_program
start_clock '@2024-03-07 10:15:00'
wait_for_clock
sleep 0.5
[ ! -e "$PROG_DIR/Alarms.dat" ] || [ "$(wc -c <"$PROG_DIR/Alarms.dat")" -eq 128 ] ||
    fail "an empty start left Alarms.dat $(wc -c <"$PROG_DIR/Alarms.dat") bytes long"

# Main menu on the clock, "Open Alarms".
read -r cx cy < <(window_position "$CLOCK_WIN")
xdotool mousemove $((cx + 100)) $((cy + 35)) click 3
open_menu >/dev/null || fail "no menu after a right click on the clock"
menu_choose 0 5
# The list window: 5895 x 5175 twips.
LIST_WIN=$(wait_for_window Tockwise 393 345) || fail "\"Open Alarms\" showed no 393 x 345 \"Tockwise\" window"
sleep 0.3
screenshot list-empty
read -r lx ly < <(window_position "$LIST_WIN")
# AlarmList at 120, 1320, 5655, 2370 twips; its first row is near its top.
list_rect="360x40+$((lx + 10))+$((ly + 90))"
empty_dark=$(dark_pixels "$E2E_ARTIFACTS/$E2E_NAME-list-empty.png" "$list_rect")
log "alarm list window at $lx,$ly"

# "Add New" (120, 3840, 1815, 375 twips).
click_at "$LIST_WIN" 68 268
# The editor: 4575 x 4815 twips.
EDIT_WIN=$(wait_for_window 'Alarm Details' 305 321) || fail "\"Add New\" showed no 305 x 321 \"Alarm Details\" window"
sleep 0.3
screenshot editor-new

# NameText (1200, 120, 3255, 285 twips): the other fields appear once it has a name.
click_at "$EDIT_WIN" 188 17
sleep 0.2
xdotool type --delay 30 "$ALARM_NAME"
sleep 0.3
# Tab to TypeList; Down moves "Once Only" to "Daily" without opening the list.
xdotool key Tab
sleep 0.2
xdotool key Down
sleep 0.3
# Tab on to HourText (1200, 960, 375, 285 twips), which selects its text on
# getting the focus, so typing replaces it. (A mouse click would put the caret
# where it lands, as in a native edit box, and a full box then takes no digit.)
xdotool key Tab
sleep 0.2
xdotool type --delay 30 "$(printf '%02d' "$ALARM_HOUR")"
xdotool key Tab
sleep 0.2
# Tab has brought the focus to MinuteText, selected as well.
xdotool type --delay 30 "$(printf '%02d' "$ALARM_MINUTE")"
xdotool key Tab
sleep 0.3
screenshot editor-filled

# ConfirmButton (1680, 4320, 1335, 375 twips).
click_at "$EDIT_WIN" 156 300
for _ in $(seq 50); do
    [ -z "$(xdotool search --onlyvisible --name '^Alarm Details$' 2>/dev/null || true)" ] && break
    sleep 0.1
done
[ -z "$(xdotool search --onlyvisible --name '^Alarm Details$' 2>/dev/null || true)" ] ||
    fail "the editor stayed open after \"Confirm\""
for _ in $(seq 50); do
    [ "$(wc -c <"$PROG_DIR/Alarms.dat" 2>/dev/null || echo 0)" -eq 256 ] && break
    sleep 0.1
done

# The file as it must be, built here from the layout: slot 1 the zero
# placeholder, slot 2 the new alarm with today's (faked) date.
python3 - "$E2E_WORK/expected.dat" "$ALARM_NAME" "$ALARM_HOUR" "$ALARM_MINUTE" <<'EOF'
import sys
path, name, hour, minute = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
record = bytearray(128)
record[0:4] = (1).to_bytes(4, "little")                    # Index
record[4:104] = name.encode("cp1252").ljust(100, b" ")     # Name, blank-padded
record[104] = 1                                            # AlarmType: Daily
record[105] = hour
record[106] = minute
record[107] = 0                                            # WeekDay: Monday, as prepared
record[108] = 7                                            # Day
record[109] = 3                                            # Month
record[110:112] = (2024).to_bytes(2, "little")             # Year
# Deleted, Disabled and the padding stay zero.
open(path, "wb").write(bytes(128) + bytes(record))
EOF
if ! cmp -s "$E2E_WORK/expected.dat" "$PROG_DIR/Alarms.dat"; then
    echo "expected:" >&2
    od -A d -t x1 "$E2E_WORK/expected.dat" >&2
    echo "written:" >&2
    od -A d -t x1 "$PROG_DIR/Alarms.dat" >&2 || true
    fail "Alarms.dat differs from the expected 256 bytes ($(cmp "$E2E_WORK/expected.dat" "$PROG_DIR/Alarms.dat" 2>&1 | head -n1))"
fi
log "Alarms.dat holds exactly the placeholder and the new Daily alarm"

# The list shows the new row (the eye checks the text in the screenshot).
sleep 0.5
screenshot list-row
row_dark=$(dark_pixels "$E2E_ARTIFACTS/$E2E_NAME-list-row.png" "$list_rect")
[ "$row_dark" -gt $((empty_dark + 100)) ] ||
    fail "the alarm list shows no new row ($row_dark dark pixels, $empty_dark before)"
log "the list shows a row ($row_dark dark pixels, $empty_dark before)"

# The list window takes input again: "Add New" opens the editor once more.
click_at "$LIST_WIN" 68 268
wait_for_window 'Alarm Details' 305 321 >/dev/null || fail "the list window did not take input again after \"Confirm\""
log "the list window is enabled again"
