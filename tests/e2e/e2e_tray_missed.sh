#!/usr/bin/env bash
# The missed alarms panel through the menus. An alarm missed while the program
# was closed shows the panel at start-up, under the clock and centred, with its
# line and "Show Missed Alarms" checked; that item toggles panel and mark;
# "Hide" hides both windows and a later "Show" brings back only the clock; the
# panel's own menu "Close" hides it and clears the mark but keeps the line.
source "$(dirname "$0")/lib.sh" "$@"

export TZ=UTC
export TOCKWISE_TRACE=1
# Qt's timers run on the monotonic clock; shifting it by years would turn it negative.
export FAKETIME_DONT_FAKE_MONOTONIC=1

# The faketime wrapper does not pass signals on, so the program is ended here.
end_program_copies() {
    local pid
    for pid in $(pgrep -f "^$PROG_DIR/tockwise( |$)" || true); do kill "$pid" 2>/dev/null || true; done
}
trap 'status=$?; set +e; end_program_copies; (exit $status); e2e_cleanup' EXIT

# --- helpers -----------------------------------------------------------------

# Tree listings can be long; a reader that stops early would break the pipe.
tray_icon() {
    local tree
    tree=$(xwininfo -root -tree 2>/dev/null) || return 1
    awk '/"Tockwise".*22x22/ && !found {print $1; found=1}' <<<"$tree" | grep .
}

# The panel: the window titled "Missed Alarms", 400 x 135, on screen.
panel_window() {
    local id info
    for id in $(xdotool search --onlyvisible --name '^Missed Alarms$' 2>/dev/null); do
        info=$(xwininfo -id "$id" 2>/dev/null) || continue
        grep -q 'Width: 400$' <<<"$info" && grep -q 'Height: 135$' <<<"$info" && { echo "$id"; return 0; }
    done
    return 1
}
panel_shown() { panel_window >/dev/null; }
clock_shown() { clock_window >/dev/null; }
gone() { ! "$@"; }

menu_shown() {
    local id info
    for id in $(xdotool search --onlyvisible --class tockwise 2>/dev/null); do
        info=$(xwininfo -id "$id" 2>/dev/null) || continue
        grep -q 'Override Redirect State: yes' <<<"$info" || continue
        [ "$(awk '/Height:/ {print $2}' <<<"$info")" -gt 40 ] && return 0
    done
    return 1
}

wait_until() {
    for _ in $(seq 50); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

stays_false() {
    local limit=$1
    shift
    for _ in $(seq $((limit * 10))); do
        "$@" && return 1
        sleep 0.1
    done
    return 0
}

# dark_pixels FILE W H X Y / light_pixels ...: how many pixels of that part of
# the picture are darker / lighter than middle grey.
dark_pixels() {
    convert "$1" -crop "$2x$3+$4+$5" +repage -colorspace Gray -threshold 50% \
        -format '%[fx:int(w*h*(1-mean)+0.5)]' info:
}
light_pixels() {
    convert "$1" -crop "$2x$3+$4+$5" +repage -colorspace Gray -threshold 50% \
        -format '%[fx:int(w*h*mean+0.5)]' info:
}

open_main_menu() {
    local x y
    read -r x y < <(window_position "$CLOCK_WIN")
    xdotool mousemove $((x + 170)) $((y + 35)) click 3
}

main_menu_choose() {
    open_main_menu
    menu_choose "$1" 5
    wait_until gone menu_shown || fail "the main menu stayed open"
}

# Whether "Show Missed Alarms" (item 1 of 5) shows its check mark: the box at
# the item's left end is empty when unchecked and holds a dark tick when checked.
missed_item_checked() {
    local id x y w h shot=$E2E_WORK/menu.png dark
    open_main_menu
    read -r id x y w h < <(open_menu) || fail "the main menu did not open"
    sleep 0.2
    import -window root "$shot"
    xdotool key Escape
    wait_until gone menu_shown || fail "the main menu did not close"
    dark=$(dark_pixels "$shot" 11 11 $((x + 10)) $((y + h * 3 / 10 - 5)))
    [ "$dark" -gt 8 ]
}

# Panel rows: row i at (16, 24 + 16 i), 353 x 17; the text is light on dark grey.
row_has_text() {
    local shot=$E2E_WORK/panel.png px py
    read -r px py < <(window_position "$(panel_window)")
    import -window root "$shot"
    [ "$(light_pixels "$shot" 353 17 $((px + 16)) $((py + 24 + 16 * $1)))" -gt 20 ]
}

panel_at_home() {
    local cx cy
    read -r cx cy < <(window_position "$CLOCK_WIN")
    [ "$(window_position "$(panel_window)")" = "$((cx - 100)) $((cy + 69))" ]
}

# --- journey -----------------------------------------------------------------

start_tray
install_program

# A Daily 07:00 alarm, last checked at 06:50; the program starts at 07:10 and
# finds 07:00 missed. Alarms.dat: 128-byte slots, the zero placeholder first.
python3 - "$PROG_DIR/Alarms.dat" "$SETTINGS" <<'EOF'
import datetime, struct, sys
name = "Morning run".encode("cp1252").ljust(100, b" ")
record = struct.pack("<i100s6Bhhh12x", 1, name, 1, 7, 0, 0, 7, 3, 2024, 0, 0)
assert len(record) == 128
open(sys.argv[1], "wb").write(bytes(128) + record)
last = (datetime.datetime(2024, 3, 7, 6, 50) - datetime.datetime(2000, 1, 1)) // datetime.timedelta(minutes=1)
open(sys.argv[2], "w").write("[Digital%%20Clock]\nLast%%20Check=%d\n" % last)
EOF

start_clock "@2024-03-07 07:10:00"
wait_for_clock
wait_until panel_shown || fail "the missed panel did not show at start-up"
for _ in $(seq 100); do tray_icon >/dev/null && break; sleep 0.1; done
TRAY_ICON=$(tray_icon) || fail "no tray icon"

missed=$(grep -c '^tockwise-trace missed .*Morning run' "$E2E_WORK/clock.log" || true)
[ "$missed" -eq 1 ] || fail "$missed missed lines for the 07:00 alarm, expected 1"
grep -q '^tockwise-trace missed .*07:00' "$E2E_WORK/clock.log" || fail "the missed line does not name 07:00"
wait_until panel_at_home || fail "the panel is at $(window_position "$(panel_window)"), not centred under the clock at $(window_position "$CLOCK_WIN")"
sleep 0.3
row_has_text 0 || fail "the first row of the panel shows no line"
row_has_text 1 && fail "the second row of the panel shows text, but only one alarm was missed"
missed_item_checked || fail "\"Show Missed Alarms\" is not checked while the panel shows the missed alarm"
screenshot started
log "the missed alarm showed the panel under the clock, checked"

# "Show Missed Alarms" toggles the panel and its mark.
main_menu_choose 1
wait_until gone panel_shown || fail "\"Show Missed Alarms\" did not hide the panel"
clock_shown || fail "\"Show Missed Alarms\" hid the clock"
missed_item_checked && fail "\"Show Missed Alarms\" is still checked after it hid the panel"
main_menu_choose 1
wait_until panel_shown || fail "\"Show Missed Alarms\" did not show the panel again"
panel_at_home || fail "the panel came back at $(window_position "$(panel_window)")"
missed_item_checked || fail "\"Show Missed Alarms\" is not checked after it showed the panel"
row_has_text 0 || fail "the panel came back without its line"
log "\"Show Missed Alarms\" toggled the panel off and on"

# "Hide": both go; the tray's "Show" brings back the clock alone.
main_menu_choose 3
wait_until gone clock_shown || fail "\"Hide\" left the clock on screen"
wait_until gone panel_shown || fail "\"Hide\" left the missed panel on screen"
read -r ix iy < <(window_position "$TRAY_ICON")
xdotool mousemove $((ix + 11)) $((iy + 11)) click 3
read -r _ mx my mw mh < <(open_menu) || fail "the tray menu did not open"
xdotool mousemove $((mx + mw / 2)) $((my + mh / 6)) click 1
wait_until clock_shown || fail "\"Show\" in the tray menu did not show the clock"
CLOCK_WIN=$(clock_window)
stays_false 1 panel_shown || fail "\"Show\" in the tray menu also showed the missed panel"
missed_item_checked && fail "\"Show Missed Alarms\" is still checked after \"Hide\""
log "\"Hide\" hid clock and panel; \"Show\" brought back only the clock"

# The panel's menu: "Close" hides it and clears the mark; the line stays.
main_menu_choose 1
wait_until panel_shown || fail "\"Show Missed Alarms\" did not show the panel after \"Hide\""
row_has_text 0 || fail "the line was lost by \"Hide\""
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
main_menu_choose 1
wait_until panel_shown || fail "\"Show Missed Alarms\" did not show the panel after \"Close\""
panel_at_home || fail "the panel came back at $(window_position "$(panel_window)")"
sleep 0.3
row_has_text 0 || fail "\"Close\" lost the missed line"
row_has_text 1 && fail "the panel shows a second line after \"Close\""
log "\"Close\" hid the panel and kept its line"
