#!/usr/bin/env bash
# What rings next, in the tray icon's tip, on both kinds of tray, the clock
# faked to Thursday 7 March 2024 10:57:50.
# 1. An XEmbed tray (trayer): resting on the icon shows "Tockwise" and, on a
#    second line, "Next: Tea 10:58 (in 1 min)". Tea rings; snoozed, the tip
#    reads "Next: Tea, snoozed, 11:08 (in 10 min)" without waiting for a minute.
# 2. A StatusNotifierItem tray (the Xfce panel): the item's tool tip holds the
#    same two lines, and the panel shows them under the pointer.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_wm.sh"
source "$(dirname "$0")/lib_alarms.sh"
source "$(dirname "$0")/lib_panel.sh"

export TZ=UTC
export TOCKWISE_TRACE=1

tip_is() { [ "$(trace_texts tray-tip | tail -n1)" = "$1" ]; }
# A tip window two lines high.
two_line_tip() { tip_windows | awk '$3 >= 24 && $3 < 60 {print $1; found=1} END {exit !found}'; }

start_session_bus
start_wm
start_tray
install_program
write_alarms "$PROG_DIR/Alarms.dat" 'Dentist|daily|19:00' 'Tea|weekdays|10:58'

# 1.
start_clock "$(offset_to '2024-03-07 10:57:50' 0)"
wait_for_clock
wait_for_tray_icon
wait_until tip_is 'Next: Tea 10:58 (in 1 min)' || fail "the tip named \"$(trace_texts tray-tip | tail -n1)\" at start-up"
read -r tx ty < <(window_position "$(tray_icon)")
xdotool mousemove $((tx + 6)) $((ty + 6)) sleep 0.2 mousemove $((tx + 10)) $((ty + 10))
wait_for 5 two_line_tip >/dev/null || fail "resting on the tray icon showed no two-line tip: $(tip_windows || true)"
screenshot xembed-tip
xdotool mousemove 600 300

note=$(wait_for 20 notification) || fail "Tea did not ring at 10:58"
wait_until tip_is 'Next: Dentist 19:00 (in 8 h 2 min)' ||
    fail "while Tea rang the tip named \"$(trace_texts tray-tip | tail -n1)\""
sleep 0.5
click_at "$note" 150 60
xdotool key s
wait_until gone notification >/dev/null || fail "S left the notification open"
# Said at once, well before the next minute would.
wait_for 3 tip_is 'Next: Tea, snoozed, 11:08 (in 10 min)' ||
    fail "after the snooze the tip named \"$(trace_texts tray-tip | tail -n1)\""
xdotool mousemove $((tx + 6)) $((ty + 6)) sleep 0.2 mousemove $((tx + 10)) $((ty + 10))
wait_for 5 two_line_tip >/dev/null || fail "resting on the tray icon after the snooze showed no two-line tip"
screenshot xembed-tip-snoozed
log "XEmbed: the tip named Tea at 10:58, then Dentist while it rang, then the snooze"
kill "$CLOCK_PID"
wait_for_exit "$CLOCK_PID" 10 || fail "the clock did not end on SIGTERM"
xdotool mousemove 600 300

# 2.
pkill -x trayer || true
start_xfce_panel
start_clock "$(offset_to '2024-03-07 10:59:00' 0)"
wait_for_clock
ITEM=$(wait_for 10 item_service) || fail "the program registered no StatusNotifierItem with the Xfce panel"
item_tip() { get "$ITEM" /StatusNotifierItem org.kde.StatusNotifierItem ToolTip; }
sni_tip_reads() { item_tip | grep -q "string \"Tockwise
Next: Tea, snoozed, 11:08 (in 9 min)\""; }
wait_until sni_tip_reads || fail "the item's tool tip reads: $(item_tip)"
plugin=$(xdotool search --onlyvisible --name '^wrapper-2.0$' 2>/dev/null | head -n1) || true
[ -n "$plugin" ] || fail "the panel's tray plugin window was not found"
read -r px py < <(window_position "$plugin")
ph=$(xwininfo -id "$plugin" | awk '/Height:/ {print $2}')
xdotool mousemove $((px + 8)) $((py + ph / 2)) sleep 0.2 mousemove $((px + 12)) $((py + ph / 2))
sleep 1.5
screenshot sni-tip
log "StatusNotifierItem: the item's tool tip names the snooze on its second line"
