#!/usr/bin/env bash
# Missed lines stay until the user clears them. A line found at start-up is
# kept on disk at once; Exit while a notification is open leaves the program
# running for it, and a second start brings back a working clock; the
# notification then times out into the missed list. After a crash the next
# start shows the kept lines first, then the new ones, in the panel that opens
# by itself. "Clear All" empties the list for good.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"

export TZ=UTC
missed_file=$XDG_DATA_HOME/tockwise/missed-alarms.txt
notification_window() { named_window 'Alarm Notification'; }
kept() { cat "$missed_file" 2>/dev/null || true; }
kept_is() { [ "$(kept)" = "$1" ]; }

start_tray
install_program
write_alarms "$PROG_DIR/Alarms.dat" 'Early|daily|07:45|0|' 'Standup|daily|08:00|0|' 'Late|daily|08:03|0|'
write_settings "Last%20Check=$(minute_of '2024-03-07 07:40')"
# The notification's rounds 0.3 s apart: it times out after 18 s, not 5 minutes.
export TOCKWISE_ALERT_INTERVAL=300

# 08:00:00 of the program's clock falls a few seconds on.
due_real=$(($(date +%s) + 6))
offset=$(printf '%+d' $(($(date -d '2024-03-07 08:00:00' +%s) - due_real)))
start_clock "$offset"
first=$CLOCK_PID
wait_for_clock
wait_until panel_shown || fail "the missed panel did not open for the line found at start-up"
wait_until kept_is 'Early - 07:45,  7 March' || fail "the line found at start-up was not kept: \"$(kept)\""
log "start-up: \"Early\" missed, kept on disk"

win=$(wait_for 10 notification_window) || fail "no notification at 08:00"
# Exit while the notification is open: the clock and the tray icon go, the
# notification stays and the program runs on for it.
open_main_menu
sleep 0.3
menu_choose 4 5
wait_until gone clock_shown || fail "Exit did not take the clock away"
notification_window >/dev/null || fail "the notification went with the clock"
kill -0 "$first" 2>/dev/null || fail "the program ended though a notification was open"

# A second start finds it running without a clock, and brings the clock back.
start_clock "$offset"
second=$CLOCK_PID
wait_for_exit "$second" 5 || fail "the second start did not end"
CLOCK_WIN=$(wait_for 10 clock_window "$first") || fail "a second start did not bring back the clock"
log "Exit left the notification; a second start brought the clock back"

# The notification times out with the new clock there.
wait_for 20 gone notification_window >/dev/null || fail "the notification did not time out"
wait_until kept_is $'Early - 07:45,  7 March\nStandup - 08:00,  7 March' ||
    fail "the timed-out notification's line was not kept: \"$(kept)\""
wait_until panel_shown || fail "the new clock's panel did not open for the timed-out notification"
screenshot clock-back

# A crash; the next start is at 08:05, past "Late" at 08:03.
kill -KILL "$first"
wait_for_exit "$first" 5 || fail "the program did not end"
start_clock '@2024-03-07 08:05:10'
wait_for_clock
wait_until panel_shown || fail "the panel did not open at start-up for the kept lines"
wait_until kept_is $'Early - 07:45,  7 March\nStandup - 08:00,  7 March\nLate - 08:03,  7 March' ||
    fail "after a crash the lines are not the kept ones and then the new one: \"$(kept)\""
sleep 1
screenshot after-crash
shot=$E2E_ARTIFACTS/$E2E_NAME-after-crash.png
read -r px py < <(window_position "$(panel_window)")
# Three rows of light text in the panel, none below them.
for row in 0 1 2; do
    [ "$(light_pixels "$shot" "340x14+$((px + 16))+$((py + 25 + 16 * row))" 60%)" -gt 20 ] ||
        fail "row $row of the panel is empty after the restart"
done
[ "$(light_pixels "$shot" "340x14+$((px + 16))+$((py + 25 + 16 * 3))" 60%)" -le 2 ] || fail "the panel shows a fourth row"
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
