#!/usr/bin/env bash
# A Daily alarm added through the real windows: main menu, "Open Alarms",
# "Add New", the editor, "Confirm"; Alarms.dat must then hold exactly the bytes
# of the placeholder and that alarm, and the list must show its row.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"

export TZ=UTC

ALARM_NAME="Morning Run 7"
ALARM_HOUR=7
ALARM_MINUTE=45

start_tray
install_program
start_clock '@2024-03-07 10:15:00'
wait_for_clock
sleep 0.5
[ ! -e "$PROG_DIR/Alarms.dat" ] || [ "$(wc -c <"$PROG_DIR/Alarms.dat")" -eq 128 ] ||
    fail "an empty start left Alarms.dat $(wc -c <"$PROG_DIR/Alarms.dat") bytes long"

# Main menu on the clock, "Open Alarms".
LIST_WIN=$(open_alarm_list)
sleep 0.3
screenshot list-empty
read -r lx ly < <(window_position "$LIST_WIN")
# AlarmList at 120, 1320, 5655, 2370 twips; its first row is near its top.
list_rect="360x40+$((lx + 10))+$((ly + 90))"
empty_dark=$(dark_pixels "$E2E_ARTIFACTS/$E2E_NAME-list-empty.png" "$list_rect")
log "alarm list window at $lx,$ly"

# "Add New", the editor.
EDIT_WIN=$(open_editor "$LIST_WIN")
sleep 0.3
screenshot editor-new

# The name first: the other fields appear once it has one.
type_alarm_name "$EDIT_WIN" "$ALARM_NAME"
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

confirm_alarm "$EDIT_WIN"
wait_editor_closed || fail "the editor stayed open after \"Confirm\""
# The comparison below tells what is wrong if it never gets there.
wait_for_size "$PROG_DIR/Alarms.dat" 256 || true

# The file as it must be, built here from the layout: slot 1 the zero
# placeholder, slot 2 the new alarm with today's (faked) date, the week day
# Monday as prepared, nothing deleted or disabled.
write_alarms "$E2E_WORK/expected.dat" \
    "$ALARM_NAME|daily|$ALARM_HOUR:$ALARM_MINUTE|0|2024-03-07"
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
open_editor "$LIST_WIN" "the list window did not take input again after \"Confirm\"" >/dev/null
log "the list window is enabled again"
