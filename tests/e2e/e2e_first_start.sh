#!/usr/bin/env bash
# A newcomer's first start (openbox with a tray): one tray message says the
# clock runs and how to reach its menu; the clock's tooltip says the same; the
# empty alarm list says what to do, until there is an alarm. A later start
# shows no message.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_wm.sh"

start_wm
start_tray
install_program

# The tray message: a tip window at least 40 pixels high.
message_window() { tip_windows | awk '$3 >= 40 {print $1; found=1} END {exit !found}'; }

start_clock
wait_for_clock
[ -z "$(setting 'Last%20Check')" ] || fail "setup: a fresh start found a stored last check"
MESSAGE=$(wait_for 10 message_window) || fail "the first start showed no tray message"
screenshot first-message
read -r mx my < <(window_position "$MESSAGE")
log "the first start's tray message is at $mx,$my"
# A click on the message closes it.
click_at "$MESSAGE" 20 10
wait_until gone message_window || fail "a click left the tray message open"

# The pointer resting on the clock brings up its tooltip.
read -r cx cy < <(window_position "$CLOCK_WIN")
xdotool mousemove $((cx + 100)) $((cy + 35))
sleep 0.2
xdotool mousemove $((cx + 104)) $((cy + 38))
TIP=$(wait_for 5 tooltip_window) || fail "resting on the clock showed no tooltip"
screenshot clock-tooltip
read -r tw th < <(xwininfo -id "$TIP" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
# "Right-click for the menu; drag to move." is one line of some 30 characters.
[ "$tw" -ge 150 ] || fail "the clock's tooltip is only $tw pixels wide"
log "the clock's tooltip is ${tw}x$th"

# The empty alarm list says what to do in its middle; its first row stays clear.
xdotool mousemove 5 5
LIST_WIN=$(open_alarm_list)
sleep 0.5
screenshot list-empty
read -r lx ly < <(window_position "$LIST_WIN")
# AlarmList at 120, 1320, 5655, 2370 twips: its middle, below where a first row lies.
middle="340x100+$((lx + 25))+$((ly + 115))"
hint=$(dark_pixels "$E2E_ARTIFACTS/$E2E_NAME-list-empty.png" "$middle" 80%)
[ "$hint" -ge 40 ] || fail "the empty alarm list shows no hint in its middle ($hint dark pixels)"
add_alarm "$LIST_WIN" "Tea"
wait_editor_closed || fail "the editor stayed open after Confirm"
sleep 0.5
screenshot list-one-alarm
left=$(dark_pixels "$E2E_ARTIFACTS/$E2E_NAME-list-one-alarm.png" "$middle" 80%)
[ "$left" -eq 0 ] || fail "the hint stayed in the alarm list once it held an alarm ($left dark pixels)"
log "the empty list's hint ($hint dark pixels) went with the first alarm"
wm_close "$LIST_WIN"
wait_until gone visible_window Tockwise 393 345 || fail "the alarm list did not close"

exit_from_menu
[ -n "$(setting 'Last%20Check')" ] || fail "setup: the first run stored no last check"

# A later start: no message.
start_clock
wait_for_clock
stays_false 4 message_window || fail "a later start showed the tray message again"
log "a later start showed no tray message"
