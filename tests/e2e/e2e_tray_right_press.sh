#!/usr/bin/env bash
# The tray menu answers the release of the right button on the icon: while the
# button is still held down nothing happens, as with every other press.
source "$(dirname "$0")/lib.sh" "$@"

# Tree listings can be long; a reader that stops early would break the pipe.
tray_icon() {
    local tree
    tree=$(xwininfo -root -tree 2>/dev/null) || return 1
    awk '/"Tockwise".*22x22/ && !found {print $1; found=1}' <<<"$tree" | grep .
}

# One look, no waiting: is a pop-up menu of the program open?
menu_shown() {
    local id info
    for id in $(xdotool search --onlyvisible --class tockwise 2>/dev/null); do
        info=$(xwininfo -id "$id" 2>/dev/null) || continue
        grep -q 'Override Redirect State: yes' <<<"$info" || continue
        [ "$(awk '/Height:/ {print $2}' <<<"$info")" -gt 40 ] && return 0
    done
    return 1
}

start_tray
install_program
start_clock
wait_for_clock
for _ in $(seq 100); do
    TRAY_ICON=$(tray_icon) && break
    sleep 0.1
done
[ -n "${TRAY_ICON:-}" ] || fail "no tray icon"
read -r ix iy < <(window_position "$TRAY_ICON")

xdotool mousemove $((ix + 11)) $((iy + 11)) mousedown 3
held_with_menu=no
for _ in $(seq 10); do
    if menu_shown; then held_with_menu=yes; break; fi
    sleep 0.1
done
screenshot right-button-held
xdotool mouseup 3
if [ "$held_with_menu" = yes ]; then
    # Leave no menu behind for the checks that follow a failure.
    xdotool key Escape
    fail "the tray menu opened while the right button was still held down on the icon, before its release"
fi
log "holding the right button down on the icon did nothing"

# The release opens it; "Cancel" (the last item, under the line) closes it.
read -r _ x y w h < <(open_menu) || fail "releasing the right button on the icon did not open the tray menu"
xdotool mousemove $((x + w / 2)) $((y + h - h / 6)) click 1
for _ in $(seq 30); do menu_shown || break; sleep 0.1; done
menu_shown && fail "\"Cancel\" left the tray menu open"
clock_window >/dev/null || fail "\"Cancel\" hid the clock"
kill -0 "$CLOCK_PID" || fail "the program ended"
log "the release opened the tray menu"
