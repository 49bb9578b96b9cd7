#!/usr/bin/env bash
# The tray menu answers the release of the right button on the icon: while the
# button is still held down nothing happens, as with every other press.
source "$(dirname "$0")/lib.sh" "$@"

start_tray
install_program
start_clock
wait_for_clock
wait_for_tray_icon
read -r ix iy < <(window_position "$TRAY_ICON")

xdotool mousemove $((ix + 11)) $((iy + 11)) mousedown 3
held_with_menu=no
wait_for 1 menu_shown && held_with_menu=yes
screenshot right-button-held
xdotool mouseup 3
if [ "$held_with_menu" = yes ]; then
    # Leave no menu behind for the checks that follow a failure.
    xdotool key Escape
    fail "the tray menu opened while the right button was still held down on the icon, before its release"
fi
log "holding the right button down on the icon did nothing"

# The release opens it; "Cancel" (the last item, under the line) closes it.
tray_menu_choose Cancel || fail "releasing the right button on the icon did not open the tray menu"
wait_until gone menu_shown || fail "\"Cancel\" left the tray menu open"
clock_window >/dev/null || fail "\"Cancel\" hid the clock"
kill -0 "$CLOCK_PID" || fail "the program ended"
log "the release opened the tray menu"
