#!/usr/bin/env bash
# Windows that behave, under a window manager with a tray at the bottom: a clock
# stored under the tray comes back inside the free area; the missed panel
# scrolls with the wheel, shows a cut-off line whole as a tooltip, and after the
# window manager's close (Alt+F4) "Show Missed Alarms" is unchecked and brings it
# back by the clock; the alarm list comes back from minimised, opens a row with
# Enter or a double click, asks before Delete removes, closes with Escape; the
# editor stays above the list it disabled, confirms with Enter, cancels with
# Escape.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_wm.sh"
source "$(dirname "$0")/lib_alarms.sh"

export TZ=UTC
MENU_X=170
LONG_NAME="Take the blue folder with the signed papers to the office on the third floor"

# Whether "Show Missed Alarms" (item 1 of 5) shows its check mark.
missed_item_checked() {
    local x y h shot=$E2E_WORK/menu.png
    open_main_menu "$MENU_X"
    read -r _ x y _ h < <(open_menu) || fail "the main menu did not open"
    sleep 0.2
    import -window root "$shot"
    xdotool key Escape
    wait_until gone menu_shown || fail "the main menu did not close"
    [ "$(dark_pixels "$shot" "11x11+$((x + 10))+$((y + h * 3 / 10 - 5))")" -gt 8 ]
}

# A checksum of the panel's six rows as they are on screen.
rows_picture() {
    local px py
    read -r px py < <(window_position "$(panel_window)")
    import -window root "$E2E_WORK/rows.png"
    convert "$E2E_WORK/rows.png" -crop "353x97+$((px + 16))+$((py + 24))" +repage rgb:- | md5sum
}

rows_are() { [ "$(rows_picture)" = "$1" ]; }
work_area_bottom() { xprop -root _NET_WORKAREA | sed 's/.*= //' | awk -F', *' '{print $2 + $4}'; }
tray_reserved_room() { [ "$(work_area_bottom)" -lt 1024 ]; }
list_viewable() { xwininfo -id "$LIST_WIN" 2>/dev/null | grep -q 'IsViewable'; }
file_size() { stat -c %s "$PROG_DIR/Alarms.dat"; }
# click_row ROW [REPEAT]: row ROW of the alarm list (17 pixels a row from 88 down).
click_row() {
    local lx ly
    read -r lx ly < <(window_position "$LIST_WIN")
    xdotool mousemove $((lx + 100)) $((ly + 97 + 17 * $1)) click --repeat "${2:-1}" --delay 80 1
}

start_wm
# A tray that keeps windows off its strip, as a desktop panel does.
start_tray --SetPartialStrut true --SetDockType true
wait_until tray_reserved_room || fail "setup: the tray reserved no room at the bottom"
install_program
# Nine alarms missed since 06:50, the first with a name too long for a row; the
# clock stored mostly under the tray at the bottom of the screen.
specs=("$LONG_NAME|daily|07:00")
for m in 1 2 3 4 5 6 7 8; do specs+=("Line $m|daily|07:0$m"); done
write_alarms "$PROG_DIR/Alarms.dat" "${specs[@]}"
write_settings "Last%20Check=$(minute_of '2024-03-07 06:50')" "X=$((500 * 15))" "Y=$((1000 * 15))"
start_clock "@2024-03-07 07:10:00"
wait_for_clock

# --- the clock inside the free area ------------------------------------------
read -r cx cy < <(window_position "$CLOCK_WIN")
bottom=$(work_area_bottom)
[ $((cy + 70)) -le "$bottom" ] || fail "the clock came back at y $cy, under the tray (the free area ends at $bottom)"
log "the clock stored at y 1000 came back at $cx,$cy, above the tray"

# --- the missed panel --------------------------------------------------------
wait_until panel_shown || fail "the missed panel did not show at start-up"
HOME_POS=$(window_position "$(panel_window)")
read -r px py <<<"$HOME_POS"
sleep 0.5
first=$(rows_picture)
xdotool mousemove $((px + 150)) $((py + 60)) click 5
wait_until gone rows_are "$first" || fail "the wheel turned down did not scroll the missed panel"
xdotool click 4
wait_until rows_are "$first" || fail "the wheel turned back up did not scroll the panel back"
log "the wheel scrolled the missed panel down and back"

xdotool mousemove $((px + 100)) $((py + 30))
sleep 0.2
xdotool mousemove $((px + 104)) $((py + 32))
wait_for 5 tooltip_window >/dev/null || fail "the cut-off first line shows no tooltip"
screenshot missed-tooltip
log "the cut-off line showed a tooltip"

missed_item_checked || fail "setup: \"Show Missed Alarms\" is not checked while the panel shows"
click_at "$(panel_window)" 200 10
sleep 0.3
xdotool key alt+F4
wait_until gone panel_shown || fail "Alt+F4 on the missed panel did not close it"
missed_item_checked && fail "\"Show Missed Alarms\" stayed checked after Alt+F4 closed the panel"
main_menu_choose 1 "$MENU_X"
wait_until panel_shown || fail "\"Show Missed Alarms\" did not bring the panel back after Alt+F4"
[ "$(window_position "$(panel_window)")" = "$HOME_POS" ] ||
    fail "the panel came back at $(window_position "$(panel_window)"), not by the clock at $HOME_POS"
missed_item_checked || fail "\"Show Missed Alarms\" is not checked with the panel back"
log "after Alt+F4 the mark went, and the panel came back by the clock"
main_menu_choose 1 "$MENU_X"
wait_until gone panel_shown || fail "\"Show Missed Alarms\" did not hide the panel"

# --- the alarm list and the editor -------------------------------------------
LIST_WIN=$(open_alarm_list)
xdotool windowminimize --sync "$LIST_WIN" 2>/dev/null || true
wait_until gone list_viewable || fail "setup: the alarm list could not be minimised"
main_menu_choose 0 "$MENU_X"
wait_until list_viewable || fail "\"Open Alarms\" left the minimised alarm list minimised"
log "\"Open Alarms\" brought back the minimised list"
# Past the window manager's restore animation, then the list in front.
sleep 0.5
xdotool windowactivate --sync "$LIST_WIN" 2>/dev/null || true

size=$(file_size)
click_row 0
xdotool key Return
EDITOR=$(wait_for_window 'Alarm Details' 305 321) || fail "Enter on a row opened no editor"
xdotool key Escape
wait_editor_closed || fail "Escape did not close the editor"
[ "$(file_size)" -eq "$size" ] || fail "Escape in the editor changed Alarms.dat"
click_row 1 2
EDITOR=$(wait_for_window 'Alarm Details' 305 321) || fail "a double click on a row opened no editor"
# A click on the greyed list: the editor stays above it.
click_at "$LIST_WIN" 30 30
sleep 0.5
wait_until above "$EDITOR" "$LIST_WIN" || fail "a click on the disabled list raised it over the editor"
screenshot editor-above-list
xdotool key Escape
wait_editor_closed || fail "Escape did not close the editor opened by a double click"
log "Enter and a double click open a row; Escape cancels; the editor stays above the list"

EDITOR=$(open_editor "$LIST_WIN")
sleep 0.3
type_alarm_name "$EDITOR" "Keyed"
xdotool key Return
wait_editor_closed || fail "Enter did not confirm the editor"
wait_for_size "$PROG_DIR/Alarms.dat" $((size + 128)) || fail "Enter in the editor stored no alarm"
log "Enter confirmed a new alarm"

click_row 0
xdotool key Delete
BOX=$(wait_for_message_box) || fail "Delete on a row asked nothing"
xdotool key Escape
wait_for 3 box_gone "$BOX" || fail "the removal question stayed open"
[ "$(file_size)" -eq $((size + 128)) ] || fail "No to the removal question changed Alarms.dat"
# The row stays selected.
xdotool key Delete
BOX=$(wait_for_message_box) || fail "Delete asked nothing the second time"
answer_box "$BOX" || fail "the removal question did not take Yes"
wait_for_size "$PROG_DIR/Alarms.dat" "$size" || fail "Yes to Delete's question removed no alarm"
log "Delete asked the removal question; No kept the alarm, Yes removed it"

xdotool windowactivate --sync "$LIST_WIN" 2>/dev/null || true
xdotool key Escape
wait_until gone list_viewable || fail "Escape did not close the alarm list"
log "Escape closed the alarm list"
