#!/usr/bin/env bash
# What the window manager shows as each window's title (_NET_WM_NAME, which
# task bars, Alt+Tab and screen readers read) is exactly the window's caption,
# with nothing appended. On the way, two alarms due in the same minute open two
# notifications side by side, the keyboard closes notifications, the theme
# window and the about windows, and opens the clock's menu.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_wm.sh"
source "$(dirname "$0")/lib_alarms.sh"

export TZ=UTC

# title_is WINDOW CAPTION: the window manager's title of the window is CAPTION.
title_is() {
    local shown
    shown=$(xprop -id "$1" _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p')
    [ "$shown" = "$2" ] || fail "the window manager shows \"$shown\" as the title of \"$2\""
    log "\"$2\" is titled exactly so"
}

notifications() { xdotool search --onlyvisible --name '^Alarm Notification$' 2>/dev/null || true; }
notification_count() { notifications | grep -c . || true; }
count_is() { [ "$(notification_count)" -eq "$1" ]; }

start_wm
install_program
# Two alarms due together at 08:00; one missed at 07:45 while the program was closed.
write_alarms "$PROG_DIR/Alarms.dat" 'Dentist|daily|08:00' 'Gym|daily|08:00' 'Standup|daily|07:45'
mkdir -p "$XDG_CONFIG_HOME"
printf '[Digital%%20Clock]\nLast%%20Check=%s\n' "$(minute_of '2024-03-07 07:30')" >"$SETTINGS"

start_clock '@2024-03-07 07:59:52'
wait_for_clock
title_is "$CLOCK_WIN" Tockwise
PANEL=$(wait_for 10 panel_window) || fail "the missed panel did not show at start-up"
title_is "$PANEL" 'Missed Alarms'

# --- two notifications at once -----------------------------------------------
wait_for 20 count_is 2 || fail "not two notifications at 08:00 (there are $(notification_count))"
read -r first second < <(notifications | tr '\n' ' '; echo)
title_is "$first" 'Alarm Notification'
title_is "$second" 'Alarm Notification'
read -r ax ay < <(window_position "$first")
read -r bx by < <(window_position "$second")
dx=$((bx - ax))
dy=$((by - ay))
[ "${dx#-}" -eq 30 ] && [ "${dy#-}" -eq 30 ] && [ "$dx" -eq "$dy" ] ||
    fail "the two notifications are at $ax,$ay and $bx,$by, not 30 pixels apart down and right"
screenshot two-notifications
log "two notifications, 30 pixels apart"

# Escape closes the notification the user clicked, Return the other. (Keys
# reach a notification only once it was clicked or switched to: the window
# manager may have focused it as it opened, which is not the user's doing.)
read -r sx sy < <(window_position "$second")
xdotool mousemove $((sx + 200)) $((sy + 70)) click 1
xdotool key --clearmodifiers Escape
wait_until count_is 1 || fail "Escape did not close a notification"
remaining=$(notifications | head -n1)
read -r rx ry < <(window_position "$remaining")
xdotool mousemove $((rx + 200)) $((ry + 70)) click 1
xdotool key --clearmodifiers Return
wait_until count_is 0 || fail "Return did not close the notification"
kill -0 "$CLOCK_PID" || fail "the program ended with its notifications"
log "Escape and Return closed the notifications"

# --- the tool windows ------------------------------------------------------------
LIST=$(open_alarm_list) || exit 1
title_is "$LIST" Tockwise
EDITOR=$(open_editor "$LIST") || exit 1
title_is "$EDITOR" 'Alarm Details'
wm_close "$EDITOR"
wait_editor_closed || fail "the editor did not close"

# The about windows from the list's two links, each closed with Escape.
click_at "$LIST" 270 56
ABOUT=$(wait_for 10 named_window 'Crewline Kit') || fail "\"About Crewline Kit\" opened no \"Crewline Kit\" window"
title_is "$ABOUT" 'Crewline Kit'
xdotool windowactivate --sync "$ABOUT" 2>/dev/null || true
xdotool key --clearmodifiers Escape
wait_until gone named_window 'Crewline Kit' || fail "Escape did not close \"Crewline Kit\""
click_at "$LIST" 330 328
ABOUT=$(wait_for 10 named_window 'About Varnod') || fail "\"About Varnod\" opened no \"About Varnod\" window"
title_is "$ABOUT" 'About Varnod'
xdotool windowactivate --sync "$ABOUT" 2>/dev/null || true
xdotool key --clearmodifiers Escape
wait_until gone named_window 'About Varnod' || fail "Escape did not close \"About Varnod\""
wm_close "$LIST"
wait_until gone visible_window Tockwise 393 345 || fail "the alarm list did not close"

THEME=$(open_theme_window) || exit 1
title_is "$THEME" 'Tockwise - Theme'
xdotool windowactivate --sync "$THEME" 2>/dev/null || true
xdotool key --clearmodifiers Escape
wait_until gone named_window 'Tockwise - Theme' || fail "Escape did not close the theme window"
log "every window is titled exactly with its caption"

# --- the clock from the keyboard -------------------------------------------------
# The Menu key opens the main menu over the clock; "Exit" from it then stores
# the position the clock has on screen (a window manager that has just framed
# the clock may report it at the corner of its frame).
read -r cx cy < <(window_position "$CLOCK_WIN")
xdotool windowactivate --sync "$CLOCK_WIN" 2>/dev/null || true
xdotool key --clearmodifiers Menu
read -r _ mx my _ _ < <(open_menu) || fail "the Menu key opened no menu on the clock"
[ "$mx" -ge "$cx" ] && [ "$mx" -lt $((cx + 200)) ] && [ "$my" -ge "$cy" ] && [ "$my" -lt $((cy + 70)) ] ||
    fail "the Menu key opened the menu at $mx,$my, not over the clock at $cx,$cy"
menu_choose 4 5
wait_for_exit "$CLOCK_PID" 10 || fail "\"Exit\" chosen from the keyboard's menu did not end the program"
[ "$(setting X)" = $((cx * 15)) ] && [ "$(setting Y)" = $((cy * 15)) ] ||
    fail "the clock at $cx,$cy was stored at $(setting X),$(setting Y) twips, not $((cx * 15)),$((cy * 15))"
log "the Menu key opened the menu over the clock; its position was kept"
