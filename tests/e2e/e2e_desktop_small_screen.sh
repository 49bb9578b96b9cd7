#!/usr/bin/env bash
# At twice the scale on a 1280 x 1024 screen (640 x 512 logical pixels) a clock
# position stored for a larger screen would leave the clock off screen: it
# comes up fully on the screen instead; the missed panel, with no room under a
# clock near the bottom right, hangs above it, on screen too; and the about window, larger than the
# screen, opens smaller with its title bar and close box on screen.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_wm.sh"
source "$(dirname "$0")/lib_alarms.sh"

export QT_SCALE_FACTOR=2

# inside_screen WINDOW: the window with its frame lies within 1280 x 1024.
inside_screen() {
    local x y w h left right top bottom
    read -r x y < <(window_position "$1")
    w=$(xwininfo -id "$1" | awk '/Width:/ {print $2}')
    h=$(xwininfo -id "$1" | awk '/Height:/ {print $2}')
    read -r left right top bottom < <(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null |
        sed -n 's/.*= //p' | tr -d ',' | grep . || echo 0 0 0 0)
    [ $((x - left)) -ge 0 ] && [ $((y - top)) -ge 0 ] &&
        [ $((x + w + right)) -le 1280 ] && [ $((y + h + bottom)) -le 1024 ]
}

describe() {
    echo "$(window_position "$1") $(xwininfo -id "$1" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')" \
        "frame $(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p')"
}

start_wm
install_program
# Saved on a larger screen at 1080, 400 (in pixels of 15 twips); an alarm
# missed half an hour ago, while the program was closed, brings up the panel.
write_alarms "$PROG_DIR/Alarms.dat" "Standup|daily|$(date -d '30 minutes ago' +%H:%M)"
printf '[Digital%%20Clock]\nLast%%20Check=%s\nX=16200\nY=6000\n' "$(minute_ago 60)" >"$SETTINGS"

start_clock
CLOCK_WIN=$(wait_for_window Tockwise 400 140) || fail "no 400 x 140 clock at scale 2 ($(window_sizes Tockwise))"
PANEL=$(wait_for_window 'Missed Alarms' 800 270) || fail "no 800 x 270 missed panel at scale 2"
sleep 0.5
screenshot start
inside_screen "$CLOCK_WIN" || fail "the clock is not on the screen: $(describe "$CLOCK_WIN")"
read -r cx cy < <(window_position "$CLOCK_WIN")
[ "$cx" -eq 880 ] || fail "the clock is at x $cx, not moved just far enough in to show whole (880)"
[ "$cy" -eq 800 ] || fail "the clock is at y $cy, not where it was stored (800)"
inside_screen "$PANEL" || fail "the missed panel is not on the screen: $(describe "$PANEL")"
read -r px py < <(window_position "$PANEL")
[ $((py + 270 - 2)) -eq "$cy" ] || fail "the missed panel ($py) does not hang above the clock ($cy), joined to it"
# Centred on the clock it would leave its scroll arrows off the right edge.
[ "$px" -eq 480 ] || fail "the missed panel is at x $px, not moved in just far enough to show whole (480)"
log "clock at $cx,$cy and the missed panel above it, both on screen"

# The maker's about window from the alarm list's "About Varnod" link.
main_menu_choose 0
LIST=$(wait_for_window Tockwise 786 690) || fail "\"Open Alarms\" showed no alarm list at scale 2"
inside_screen "$LIST" || fail "the alarm list is not on the screen: $(describe "$LIST")"
click_at "$LIST" 660 656
ABOUT=$(wait_for 10 named_window 'About Varnod') || fail "\"About Varnod\" opened no window"
sleep 0.5
screenshot about
inside_screen "$ABOUT" || fail "the about window, title bar or close box is off the screen: $(describe "$ABOUT")"
log "about window on screen: $(describe "$ABOUT")"

# Closed with its close box, as a user would now that it can be reached.
wm_close "$ABOUT"
wait_until gone named_window 'About Varnod' || fail "the about window did not close"
