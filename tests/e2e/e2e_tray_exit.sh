#!/usr/bin/env bash
# "Exit" while other windows of the program are open, once from the tray menu
# and once from the main menu: the clock, the tray icon and the missed panel go
# at once, the settings are written, the other windows stay and the program
# keeps running until the last of them is closed the way a user closes it.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_wm.sh"
source "$(dirname "$0")/lib_alarms.sh"

export TZ=UTC

# --- helpers -----------------------------------------------------------------

# The main menu is opened on the right part of the face (170 of its 200 pixels).
MENU_X=170

icon_present() { tray_icon >/dev/null; }
alarm_list() { visible_window 'Tockwise' 393 345; }
theme_window() { visible_window 'Tockwise - Theme' 201 169; }

# How the program ended, once it has: "exit status N" or "signal N".
ended_how() {
    local status=0
    wait "$CLOCK_PID" 2>/dev/null || status=$?
    if [ "$status" -gt 128 ]; then echo "signal $((status - 128))"; else echo "exit status $status"; fi
}

# Waits for the program to end after its last window closed; it ends cleanly.
check_ends() {
    wait_for_exit "$CLOCK_PID" 5 || fail "the program still runs after its last window, $1, was closed"
    local how
    how=$(ended_how)
    [ "$how" = "exit status 0" ] || fail "the program ended with $how when $1 was closed"
}

# A Daily alarm ten minutes ago and a last check twenty minutes ago: the start
# finds one missed alarm and shows the panel. The clock stands at 100,100
# (1500 twips), clear of the windows that open in the middle of the screen.
prepare() {
    local due
    read -r -a due < <(date -d '10 minutes ago' '+%H:%M %Y-%m-%d')
    write_alarms "$PROG_DIR/Alarms.dat" "Standup|daily|${due[0]}|0|${due[1]}"
    write_settings "Last%20Check=$(minute_ago 20)" X=1500 Y=1500 Visible=True
}

# Starts the program and opens the alarm list beside the clock and the panel.
start_with_alarm_list() {
    prepare
    start_clock
    wait_for_clock
    wait_until panel_shown || fail "the missed panel did not show at start-up"
    wait_until icon_present || fail "no tray icon"
    [ "$(window_position "$CLOCK_WIN")" = "100 100" ] || fail "the clock is at $(window_position "$CLOCK_WIN"), not 100 100"
    ALARM_LIST=$(open_alarm_list "$MENU_X")
}

# After "Exit": clock, icon and panel gone, settings written, the program on.
check_exit() {
    local how=$1 minute
    wait_until gone clock_shown || fail "\"Exit\" from the $how left the clock on screen"
    wait_until gone icon_present || fail "\"Exit\" from the $how left the tray icon"
    wait_until gone panel_shown || fail "\"Exit\" from the $how left the missed panel on screen"
    wait_until test -f "$SETTINGS" || fail "\"Exit\" from the $how wrote no settings"
    sleep 1
    kill -0 "$CLOCK_PID" 2>/dev/null ||
        fail "the program ended ($(ended_how)) at \"Exit\" from the $how although the alarm list was open"
    alarm_list >/dev/null || fail "the alarm list went with \"Exit\" from the $how"
    clock_shown && fail "the clock came back after \"Exit\" from the $how"
    icon_present && fail "the tray icon came back after \"Exit\" from the $how"
    [ "$(setting X)" = 1500 ] || fail "X saved at \"Exit\" as '$(setting X)', expected 1500"
    [ "$(setting Y)" = 1500 ] || fail "Y saved at \"Exit\" as '$(setting Y)', expected 1500"
    [ "$(setting Visible)" = True ] || fail "Visible saved at \"Exit\" as '$(setting Visible)', expected True"
    minute=$(minute_ago 0)
    local saved
    saved=$(setting 'Last%20Check')
    [ -n "$saved" ] && [ "$saved" -ge $((minute - 1)) ] && [ "$saved" -le "$minute" ] ||
        fail "Last Check saved at \"Exit\" as '$saved', expected the present minute $minute"
}

# --- journey -----------------------------------------------------------------

start_wm
start_tray
install_program

# 1. "Exit" from the main menu, with the theme window open as well.
start_with_alarm_list
THEME=$(open_theme_window "$MENU_X")
screenshot menu-before-exit
rm -f "$SETTINGS"
main_menu_choose 4 "$MENU_X"
check_exit "main menu"
theme_window >/dev/null || fail "the theme window went with \"Exit\" from the main menu"
screenshot menu-after-exit
log "menu \"Exit\": clock, icon and panel gone, settings saved, alarm list and theme window open"

wm_close "$THEME" || fail "could not ask the theme window to close"
wait_until gone theme_window >/dev/null || fail "the theme window did not close"
sleep 1
kill -0 "$CLOCK_PID" 2>/dev/null ||
    fail "the program ended ($(ended_how)) when the theme window closed although the alarm list was open"
alarm_list >/dev/null || fail "closing the theme window closed the alarm list"
wm_close "$ALARM_LIST" || fail "could not ask the alarm list to close"
check_ends "the alarm list"
log "closing the theme window left the program running; closing the alarm list ended it"

# 2. "Exit" from the tray menu.
start_with_alarm_list
screenshot tray-before-exit
rm -f "$SETTINGS"
TRAY_ICON=$(tray_icon) || fail "no tray icon"
click_icon 3
tray_menu_choose Exit || fail "the tray menu did not open"
check_exit "tray menu"
screenshot tray-after-exit
log "tray \"Exit\": clock, icon and panel gone, settings saved, alarm list open, program running"

wm_close "$ALARM_LIST" || fail "could not ask the alarm list to close"
check_ends "the alarm list"
log "closing the alarm list ended the program"
