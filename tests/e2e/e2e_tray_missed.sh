#!/usr/bin/env bash
# The missed alarms panel through the menus. An alarm missed while the program
# was closed shows the panel at start-up, under the clock and centred, with its
# line and "Show Missed Alarms" checked; that item toggles panel and mark;
# "Hide" hides both windows and a later "Show" brings back only the clock; the
# panel's own menu "Close" hides it and clears the mark but keeps the line.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"

export TZ=UTC
export TOCKWISE_TRACE=1

# --- helpers -----------------------------------------------------------------

# The main menu is opened on the right part of the face (170 of its 200 pixels).
MENU_X=170

# Whether "Show Missed Alarms" (item 1 of 5) shows its check mark: the box at
# the item's left end is empty when unchecked and holds a dark tick when checked.
missed_item_checked() {
    local id x y w h shot=$E2E_WORK/menu.png dark
    open_main_menu "$MENU_X"
    read -r id x y w h < <(open_menu) || fail "the main menu did not open"
    sleep 0.2
    import -window root "$shot"
    xdotool key Escape
    wait_until gone menu_shown || fail "the main menu did not close"
    dark=$(dark_pixels "$shot" "11x11+$((x + 10))+$((y + h * 3 / 10 - 5))")
    [ "$dark" -gt 8 ]
}

# Panel rows: row i at (16, 24 + 16 i), 353 x 17; the text is light on dark grey.
row_has_text() {
    local shot=$E2E_WORK/panel.png px py
    read -r px py < <(window_position "$(panel_window)")
    import -window root "$shot"
    [ "$(light_pixels "$shot" "353x17+$((px + 16))+$((py + 24 + 16 * $1))")" -gt 20 ]
}

# contrast FILE RECT: the brightest pixel of a rectangle against the panel's
# grey (#4D4D4D), as the contrast ratio of the accessibility guidelines.
contrast() {
    local max
    max=$(convert "$1" -crop "$2" +repage -format '%[fx:maxima.r]' info:)
    python3 -c '
import sys
def lum(c):
    return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
print("%.2f" % ((lum(float(sys.argv[1])) + 0.05) / (lum(77 / 255) + 0.05)))' "$max"
}
at_least() { python3 -c 'import sys; sys.exit(float(sys.argv[1]) < float(sys.argv[2]))' "$1" "$2"; }

panel_at_home() {
    local cx cy
    read -r cx cy < <(window_position "$CLOCK_WIN")
    [ "$(window_position "$(panel_window)")" = "$((cx - 100)) $((cy + 69))" ]
}

# --- journey -----------------------------------------------------------------

start_tray
install_program

# A Daily 07:00 alarm, last checked at 06:50; the program starts at 07:10 and
# finds 07:00 missed.
write_alarms "$PROG_DIR/Alarms.dat" 'Morning run|daily|07:00|0|2024-03-07'
write_settings "Last%20Check=$(minute_of '2024-03-07 06:50')"

start_clock "@2024-03-07 07:10:00"
wait_for_clock
wait_until panel_shown || fail "the missed panel did not show at start-up"
wait_for_tray_icon

missed_lines=$(traces missed)
missed=$(grep -c 'Morning run' <<<"$missed_lines" || true)
[ "$missed" -eq 1 ] || fail "$missed missed lines for the 07:00 alarm, expected 1"
grep -q '07:00' <<<"$missed_lines" || fail "the missed line does not name 07:00"
wait_until panel_at_home || fail "the panel is at $(window_position "$(panel_window)"), not centred under the clock at $(window_position "$CLOCK_WIN")"
wait_until row_has_text 0 || fail "the first row of the panel shows no line"
row_has_text 1 && fail "the second row of the panel shows text, but only one alarm was missed"
missed_item_checked || fail "\"Show Missed Alarms\" is not checked while the panel shows the missed alarm"
screenshot started
log "the missed alarm showed the panel under the clock, checked"

# "Show Missed Alarms" toggles the panel and its mark.
main_menu_choose 1 "$MENU_X"
wait_until gone panel_shown || fail "\"Show Missed Alarms\" did not hide the panel"
clock_shown || fail "\"Show Missed Alarms\" hid the clock"
missed_item_checked && fail "\"Show Missed Alarms\" is still checked after it hid the panel"
main_menu_choose 1 "$MENU_X"
wait_until panel_shown || fail "\"Show Missed Alarms\" did not show the panel again"
panel_at_home || fail "the panel came back at $(window_position "$(panel_window)")"
missed_item_checked || fail "\"Show Missed Alarms\" is not checked after it showed the panel"
wait_until row_has_text 0 || fail "the panel came back without its line"
log "\"Show Missed Alarms\" toggled the panel off and on"

# "Hide": both go; the tray's "Show" brings back the clock alone.
main_menu_choose 3 "$MENU_X"
wait_until gone clock_shown || fail "\"Hide\" left the clock on screen"
wait_until gone panel_shown || fail "\"Hide\" left the missed panel on screen"
click_icon 3
tray_menu_choose Show || fail "the tray menu did not open"
wait_until clock_shown || fail "\"Show\" in the tray menu did not show the clock"
CLOCK_WIN=$(clock_window)
stays_false 1 panel_shown || fail "\"Show\" in the tray menu also showed the missed panel"
missed_item_checked && fail "\"Show Missed Alarms\" is still checked after \"Hide\""
log "\"Hide\" hid clock and panel; \"Show\" brought back only the clock"

# The panel's menu: "Close" hides it and clears the mark; the line stays.
main_menu_choose 1 "$MENU_X"
wait_until panel_shown || fail "\"Show Missed Alarms\" did not show the panel after \"Hide\""
wait_until row_has_text 0 || fail "the line was lost by \"Hide\""
read -r px py < <(window_position "$(panel_window)")
xdotool mousemove $((px + 200)) $((py + 16)) click 3
sleep 0.3
screenshot missed-menu
menu_choose 2 3
wait_until gone panel_shown || fail "\"Close\" in the panel's menu did not hide the panel"
wait_until gone menu_shown || fail "the panel's menu stayed open"
clock_shown || fail "\"Close\" in the panel's menu hid the clock"
screenshot closed
missed_item_checked && fail "\"Show Missed Alarms\" is still checked after \"Close\""
main_menu_choose 1 "$MENU_X"
wait_until panel_shown || fail "\"Show Missed Alarms\" did not show the panel after \"Close\""
panel_at_home || fail "the panel came back at $(window_position "$(panel_window)")"
wait_until row_has_text 0 || fail "\"Close\" lost the missed line"
row_has_text 1 && fail "the panel shows a second line after \"Close\""
log "\"Close\" hid the panel and kept its line"

# Contrast as drawn: the line (row 0) and the arrows, both inactive here.
read -r px py < <(window_position "$(panel_window)")
import -window root "$E2E_WORK/contrast.png"
for part in "line|353x17+$((px + 16))+$((py + 24))" "up arrow|17x17+$((px + 368))+$((py + 24))" \
    "down arrow|17x17+$((px + 368))+$((py + 104))"; do
    ratio=$(contrast "$E2E_WORK/contrast.png" "${part#*|}")
    at_least "$ratio" 4.5 || fail "the panel's ${part%%|*} stands out only $ratio:1 from its grey"
    log "the panel's ${part%%|*}: $ratio:1"
done

# The keyboard, once the panel is active.
framed() {
    import -window root "$E2E_WORK/framed.png"
    [ "$(light_pixels "$E2E_WORK/framed.png" "1x15+$((px + 12))+$((py + 25))")" -gt 10 ]
}
xdotool mousemove $((px + 40)) $((py + 10)) click 1
sleep 0.3
framed && fail "a line is framed before any was chosen"
xdotool key Down
wait_until framed || fail "Down framed no line of the active panel"
screenshot line-selected
xdotool key shift+F10
read -r id mx my mw mh < <(open_menu) || fail "Shift+F10 opened no menu in the panel"
[ "$mx" -ge "$px" ] && [ "$mx" -le $((px + 60)) ] && [ "$my" -ge $((py + 30)) ] && [ "$my" -le $((py + 60)) ] ||
    fail "Shift+F10 opened the menu at $mx,$my, not at the line (the panel is at $px,$py)"
screenshot menu-by-keyboard
xdotool key Escape
wait_until gone menu_shown || fail "Escape left the panel's menu open"
xdotool key Escape
wait_until gone panel_shown || fail "Escape did not hide the active panel"
missed_item_checked && fail "\"Show Missed Alarms\" is still checked after Escape hid the panel"
log "Down framed the line, Shift+F10 opened the menu at it, Escape hid the panel"

main_menu_choose 1 "$MENU_X"
wait_until panel_shown || fail "\"Show Missed Alarms\" did not show the panel after Escape"
read -r px py < <(window_position "$(panel_window)")
xdotool mousemove $((px + 40)) $((py + 10)) click 1
sleep 0.3
xdotool key Down Delete
wait_until gone panel_shown || fail "the panel stayed after Delete took its last line"
wait_until test ! -s "$XDG_DATA_HOME/tockwise/missed-alarms.txt" ||
    fail "Delete left the line in the missed file: $(cat "$XDG_DATA_HOME/tockwise/missed-alarms.txt")"
missed_item_checked && fail "\"Show Missed Alarms\" is still checked after the panel emptied"
log "Delete took the last line; the emptied panel went, unchecked"
