#!/usr/bin/env bash
# "Exit" ends the program, whatever else of it is open: once from the main
# menu with the alarm list, an editor holding typed input, the theme window
# and an about window open, once from the tray menu with the list open while
# an alarm rings. Every window the user opened goes with the clock, the tray
# icon and the missed panel, the editor's input is dropped as Cancel drops it,
# the settings are written; only the ringing notification stays, and the
# program ends when it is closed.
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
editor_window() { visible_window 'Alarm Details' 305 321; }
about_window() { visible_window 'About Varnod' 750 469; }

# How the program ended, once it has: "exit status N" or "signal N".
ended_how() {
    local status=0
    wait "$CLOCK_PID" 2>/dev/null || status=$?
    if [ "$status" -gt 128 ]; then echo "signal $((status - 128))"; else echo "exit status $status"; fi
}

# The program ends, cleanly, within five seconds.
check_ends() {
    wait_for_exit "$CLOCK_PID" 10 || fail "the program still runs after $1"
    local how
    how=$(ended_how)
    [ "$how" = "exit status 0" ] || fail "the program ended with $how after $1"
}

# A Daily 08:00 alarm; a start at 08:10 with the last check at 07:50 finds it
# missed and shows the panel; a start at 07:59:57 rings it. The clock stands
# at 100,100 (1500 twips), clear of the windows that open mid-screen.
prepare() {
    write_alarms "$PROG_DIR/Alarms.dat" 'Standup|daily|08:00'
    write_settings "Last%20Check=$(minute_of '2024-03-07 07:50')" X=1500 Y=1500 Visible=True
}

# After "Exit": clock, icon and panel gone, the settings written.
check_exit() {
    local how=$1
    wait_until gone clock_shown || fail "\"Exit\" from the $how left the clock on screen"
    wait_until gone icon_present || fail "\"Exit\" from the $how left the tray icon"
    wait_until gone panel_shown || fail "\"Exit\" from the $how left the missed panel on screen"
    wait_until gone alarm_list || fail "\"Exit\" from the $how left the alarm list open"
    wait_until test -f "$SETTINGS" || fail "\"Exit\" from the $how wrote no settings"
    [ "$(setting X)" = 1500 ] || fail "X saved at \"Exit\" as '$(setting X)', expected 1500"
    [ "$(setting Y)" = 1500 ] || fail "Y saved at \"Exit\" as '$(setting Y)', expected 1500"
    [ "$(setting Visible)" = True ] || fail "Visible saved at \"Exit\" as '$(setting Visible)', expected True"
}

# --- journey -----------------------------------------------------------------

start_wm
start_tray
install_program

# 1. "Exit" from the main menu: list, editor with a typed name, theme, about.
prepare
start_clock "$(offset_to '2024-03-07 08:10:00' 0)"
wait_for_clock
wait_until panel_shown || fail "the missed panel did not show at start-up"
wait_for_tray_icon
ALARM_LIST=$(open_alarm_list "$MENU_X")
click_at "$ALARM_LIST" 370 328 # "About Varnod"
wait_for_window 'About Varnod' 750 469 >/dev/null || fail "\"About Varnod\" did not open"
xdotool windowactivate --sync "$ALARM_LIST" 2>/dev/null || true
wait_until above "$ALARM_LIST" "$(about_window)" || fail "the alarm list could not be brought over the about window"
EDITOR=$(open_editor "$ALARM_LIST")
sleep 0.3
type_alarm_name "$EDITOR" "Unconfirmed"
THEME=$(open_theme_window "$MENU_X")
screenshot menu-before-exit
before=$(md5sum <"$PROG_DIR/Alarms.dat")
rm -f "$SETTINGS"
main_menu_choose 4 "$MENU_X"
check_exit "main menu"
for window in editor_window theme_window about_window; do
    wait_until gone "$window" || fail "\"Exit\" from the main menu left the ${window%_window} window open"
done
check_ends "\"Exit\" from the main menu"
[ "$(md5sum <"$PROG_DIR/Alarms.dat")" = "$before" ] || fail "\"Exit\" saved the editor's unconfirmed alarm"
screenshot menu-after-exit
log "menu \"Exit\": every window went, the editor's input was dropped, the program ended"

# 2. "Exit" from the tray menu while an alarm rings: the notification stays.
prepare
start_clock "$(offset_to '2024-03-07 07:59:57' 0)"
wait_for_clock
wait_for_tray_icon
# The list once the alarm rings: a menu open at that moment may close.
NOTE=$(wait_for 15 notification) || fail "the 08:00 alarm did not ring"
ALARM_LIST=$(open_alarm_list "$MENU_X")
screenshot tray-before-exit
rm -f "$SETTINGS"
click_icon 3
tray_menu_choose Exit || fail "the tray menu did not open"
check_exit "tray menu"
notification >/dev/null || fail "\"Exit\" closed the ringing notification"
kill -0 "$CLOCK_PID" 2>/dev/null || fail "the program ended ($(ended_how)) while its notification still rang"
screenshot tray-after-exit
log "tray \"Exit\": clock, icon, panel and list gone, the ringing notification stays"

wm_close "$NOTE" || fail "could not ask the notification to close"
check_ends "its notification was closed"
log "closing the notification ended the program"
