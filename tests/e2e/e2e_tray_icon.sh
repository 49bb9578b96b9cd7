#!/usr/bin/env bash
# The tray icon under a window manager: a double click shows the hidden clock and
# raises it above a window that covers it, also when it is already showing;
# single clicks and moves over the icon do nothing; "Show" in the tray menu
# brings back the clock but not the missed panel; "Cancel" and a click beside
# the menu change nothing.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_wm.sh"

# --- helpers -----------------------------------------------------------------

# The main menu is opened on the right part of the face (170 of its 200
# pixels), clear of the window that covers its left part.
MENU_X=170

# --- journey -----------------------------------------------------------------

start_wm
start_tray
install_program
start_clock
wait_for_clock
wait_for_tray_icon
read -r clock_x clock_y < <(window_position "$CLOCK_WIN")
log "clock at $clock_x,$clock_y, tray icon $TRAY_ICON"

# A foreign window over the left part of the clock.
xlogo -name tockwise-cover -geometry 150x110+$((clock_x - 30))+$((clock_y - 30)) >/dev/null 2>&1 &
E2E_PIDS+=($!)
wait_until xdotool search --onlyvisible --classname '^tockwise-cover$' >/dev/null || fail "the covering window did not appear"
COVER=$(xdotool search --onlyvisible --classname '^tockwise-cover$' | head -n1)
wait_until above "$COVER" "$CLOCK_WIN" || fail "setup: the covering window is not above the clock"
log "covering window $COVER is above the clock"

# The panel shown first, so that bringing it back by mistake would show.
main_menu_choose 1 "$MENU_X"
wait_until panel_shown || fail "\"Show Missed Alarms\" did not show the panel"
main_menu_choose 3 "$MENU_X"
wait_until gone clock_shown || fail "\"Hide\" left the clock on screen"
wait_until gone panel_shown || fail "\"Hide\" left the missed panel on screen"
screenshot hidden
log "clock and panel hidden"

# A single left click, a middle click, two left clicks far apart in time and
# moving over the icon: none of them shows anything.
click_icon 1
stays_false 1 clock_shown || fail "a single left click on the tray icon showed the clock"
click_icon 2
stays_false 1 clock_shown || fail "a middle click on the tray icon showed the clock"
click_icon 1
sleep 1
click_icon 1
read -r ix iy < <(window_position "$TRAY_ICON")
xdotool mousemove $((ix + 3)) $((iy + 3)) mousemove $((ix + 18)) $((iy + 18))
stays_false 1 clock_shown || fail "left clicks one second apart on the tray icon showed the clock"
menu_shown && fail "a left or middle click on the tray icon opened a menu"
panel_shown && fail "clicks on the tray icon showed the missed panel"
kill -0 "$CLOCK_PID" || fail "the program ended after clicks on the tray icon"
log "single clicks and moves over the icon did nothing"

# The double click shows the hidden clock, at its place, above the cover.
double_click_until clock_shown || fail "a double click on the tray icon did not show the hidden clock"
CLOCK_WIN=$(clock_window)
[ "$(window_position "$CLOCK_WIN")" = "$clock_x $clock_y" ] ||
    fail "the clock came back at $(window_position "$CLOCK_WIN"), not $clock_x $clock_y"
wait_until above "$CLOCK_WIN" "$COVER" || fail "the double click showed the clock but left it under the covering window"
stays_false 1 panel_shown || fail "the double click on the tray icon also showed the missed panel"
menu_shown && fail "the double click on the tray icon opened a menu"
screenshot double-click-hidden
log "double click showed the hidden clock above the cover, without the panel"

# Already showing: the double click still raises it.
xdotool windowactivate "$COVER" 2>/dev/null || true
wait_until above "$COVER" "$CLOCK_WIN" || fail "setup: the covering window could not be raised over the clock"
double_click_until above "$CLOCK_WIN" "$COVER" ||
    fail "a double click did not raise the showing clock above the covering window"
clock_shown || fail "a double click hid the showing clock"
stays_false 1 panel_shown || fail "a double click on the showing clock showed the missed panel"
log "double click raised the showing clock"

# "Show" in the tray menu: the clock only, raised.
main_menu_choose 1 "$MENU_X"
wait_until panel_shown || fail "\"Show Missed Alarms\" did not show the panel again"
xdotool windowactivate "$COVER" 2>/dev/null || true
wait_until above "$COVER" "$CLOCK_WIN" || fail "setup: the covering window could not be raised over the clock"
main_menu_choose 3 "$MENU_X"
wait_until gone clock_shown || fail "\"Hide\" left the clock on screen"
wait_until gone panel_shown || fail "\"Hide\" left the missed panel on screen"
click_icon 3
tray_menu_choose Show || fail "the tray menu did not open"
wait_until clock_shown || fail "\"Show\" in the tray menu did not show the clock"
CLOCK_WIN=$(clock_window)
wait_until above "$CLOCK_WIN" "$COVER" || fail "\"Show\" left the clock under the covering window"
stays_false 1 panel_shown || fail "\"Show\" in the tray menu also showed the missed panel"
[ "$(window_position "$CLOCK_WIN")" = "$clock_x $clock_y" ] || fail "\"Show\" brought the clock back at another place"
screenshot tray-show
log "\"Show\" brought back the clock only"

# "Cancel" with the clock showing, then with it hidden: nothing changes.
click_icon 3
tray_menu_choose Cancel || fail "the tray menu did not open"
wait_until gone menu_shown || fail "\"Cancel\" left the tray menu open"
stays_false 1 gone clock_shown || fail "\"Cancel\" hid the clock"
panel_shown && fail "\"Cancel\" showed the missed panel"
[ "$(window_position "$CLOCK_WIN")" = "$clock_x $clock_y" ] || fail "\"Cancel\" moved the clock"
main_menu_choose 3 "$MENU_X"
wait_until gone clock_shown || fail "\"Hide\" left the clock on screen"
click_icon 3
tray_menu_choose Cancel || fail "the tray menu did not open"
wait_until gone menu_shown || fail "\"Cancel\" left the tray menu open"
stays_false 1 clock_shown || fail "\"Cancel\" showed the hidden clock"
panel_shown && fail "\"Cancel\" showed the missed panel"
kill -0 "$CLOCK_PID" || fail "the program ended after \"Cancel\""
TRAY_ICON=$(tray_icon) || fail "the tray icon went after \"Cancel\""
log "\"Cancel\" changed nothing"

# A click beside the open tray menu closes it and changes nothing either.
click_icon 3
open_menu >/dev/null || fail "the tray menu did not open"
xdotool mousemove 200 200 click 1
wait_until gone menu_shown || fail "a click beside the tray menu left it open"
stays_false 1 clock_shown || fail "a click beside the tray menu showed the hidden clock"
kill -0 "$CLOCK_PID" || fail "the program ended after a click beside the tray menu"

# The hidden state is what is kept: the tray can still bring the clock back.
double_click_until clock_shown || fail "the double click no longer shows the clock"
log "all tray icon journeys passed"
