#!/usr/bin/env bash
# Missed lines stay until the user clears them. A line found at start-up is
# kept on disk at once; Exit while notifications are open leaves the program
# running for them, and one timing out then still adds its line; a second start
# brings back a working clock. After a crash the next
# start shows the kept lines first, then the new ones, in the panel that opens
# by itself. "Clear All" empties the list for good.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"

export TZ=UTC
missed_file=$XDG_DATA_HOME/tockwise/missed-alarms.txt
notification_count() { { xdotool search --onlyvisible --name '^Alarm Notification$' 2>/dev/null || true; } | grep -c . || true; }
notifications_are() { [ "$(notification_count)" -eq "$1" ]; }
kept() { cat "$missed_file" 2>/dev/null || true; }
kept_is() { [ "$(kept)" = "$1" ]; }

start_tray
install_program
write_alarms "$PROG_DIR/Alarms.dat" 'Early|daily|07:45|0|' 'Standup|daily|08:00|0|' 'Coffee|daily|08:01|0|' \
    'Late|daily|08:03|0|'
write_settings "Last%20Check=$(minute_of '2024-03-07 07:40')"
# A notification's rounds 0.5 s apart: it times out after 30 s, not 5 minutes.
export TOCKWISE_ALERT_INTERVAL=500
poll_the_clock

start_movable_clock "$(utc_epoch '2024-03-07 07:59:57')"
first=$CLOCK_PID
wait_for_clock
wait_until panel_shown || fail "the missed panel did not open for the line found at start-up"
wait_until kept_is 'Early - 07:45,  7 March' || fail "the line found at start-up was not kept: \"$(kept)\""
log "start-up: \"Early\" missed, kept on disk"

# "Standup" rings at 08:00; a few seconds later the clock is moved on to 08:01,
# where "Coffee" rings: two notifications, "Coffee" timing out 4 s after "Standup".
wait_for 10 notifications_are 1 || fail "no notification at 08:00"
sleep 3
set_clock "$(utc_epoch '2024-03-07 08:00:59.5')"
wait_for 5 notifications_are 2 || fail "no second notification at 08:01"

# Exit while both are open: the clock and the tray icon go, the notifications
# stay and the program runs on for them.
open_main_menu
sleep 0.3
menu_choose 4 5
wait_until gone clock_shown || fail "Exit did not take the clock away"
notifications_are 2 || fail "the notifications went with the clock"

# "Standup" times out with no clock: its line still reaches the list and the disk.
wait_for 35 kept_is $'Early - 07:45,  7 March\nStandup - 08:00,  7 March' ||
    fail "a notification timing out after Exit left no missed line: \"$(kept)\""
kill -0 "$first" 2>/dev/null || fail "the program ended though a notification was open"
notifications_are 1 || fail "\"Coffee\" did not stay open"
log "after Exit a notification timed out into the kept lines"

# A second start finds it running without a clock, and brings the clock back.
launch --
wait_for_exit "$CLOCK_PID" 10 || fail "the second start did not end"
CLOCK_WIN=$(wait_for 10 clock_window "$first") || fail "a second start did not bring back the clock"
wait_for_tray_icon
log "a second start brought the clock back, and its tray icon"

# "Coffee" times out with the new clock there.
wait_for 10 notifications_are 0 || fail "\"Coffee\" did not time out"
wait_until kept_is $'Early - 07:45,  7 March\nStandup - 08:00,  7 March\nCoffee - 08:01,  7 March' ||
    fail "the last notification's line was not kept: \"$(kept)\""
wait_until panel_shown || fail "the new clock's panel did not open for the timed-out notification"
screenshot clock-back

# A crash; the next start is at 08:05, past "Late" at 08:03.
kill -KILL "$first"
wait_for_exit "$first" 5 || fail "the program did not end"
start_clock '@2024-03-07 08:05:10'
wait_for_clock
wait_until panel_shown || fail "the panel did not open at start-up for the kept lines"
wait_until kept_is $'Early - 07:45,  7 March\nStandup - 08:00,  7 March\nCoffee - 08:01,  7 March\nLate - 08:03,  7 March' ||
    fail "after a crash the lines are not the kept ones and then the new one: \"$(kept)\""
sleep 1
screenshot after-crash
shot=$E2E_ARTIFACTS/$E2E_NAME-after-crash.png
read -r px py < <(window_position "$(panel_window)")
# Four rows of light text in the panel, none below them.
for row in 0 1 2 3; do
    [ "$(light_pixels "$shot" "340x14+$((px + 16))+$((py + 25 + 16 * row))" 60%)" -gt 20 ] ||
        fail "row $row of the panel is empty after the restart"
done
[ "$(light_pixels "$shot" "340x14+$((px + 16))+$((py + 25 + 16 * 4))" 60%)" -le 2 ] || fail "the panel shows a fifth row"
log "after a crash: the kept lines, then the new one, in the panel that opened by itself"

# "Clear All" from the panel's menu (its title, right button).
xdotool mousemove $((px + 200)) $((py + 15)) click 3
menu_choose 1 3
wait_until kept_is '' || fail "\"Clear All\" left lines on disk: \"$(kept)\""
exit_from_menu
start_clock '@2024-03-07 08:06:10'
wait_for_clock
stays_false 3 panel_shown || fail "the panel opened at start-up after \"Clear All\""
log "\"Clear All\" cleared them for good"
