#!/usr/bin/env bash
# Red digits on the gold face through the real theme window: "Change
# Appearance", Red, Gold, "Save", Yes. The old process must end, a new one run
# with the single argument "restart", the settings hold the choice, and the new
# clock must show it.
source "$(dirname "$0")/lib.sh" "$@"

# Colour of one pixel of a screenshot: "R G B".
pixel() {
    convert "$1" -crop "1x1+$2+$3" +repage -depth 8 -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]\n' info:
}

# Pixels of a screenshot rectangle ("WxH+X+Y") whose colour matches an fx test.
count_pixels() {
    convert "$1" -crop "$2" +repage -fx "$3" -format '%[fx:int(mean*w*h)]' info:
}

start_tray
install_program
start_clock
wait_for_clock
OLD_PID=$CLOCK_PID
read -r cx cy < <(window_position "$CLOCK_WIN")
sleep 0.5
screenshot before
before_red=$(count_pixels "$E2E_ARTIFACTS/$E2E_NAME-before.png" "180x50+$((cx + 10))+$((cy + 10))" \
    'r > 0.55 && g < 0.3 && b < 0.3')

# Main menu, "Change Appearance".
THEME_WIN=$(open_theme_window)
sleep 0.3
# DigitList (1200, 120, 1695, 840 twips): the first row, then Down to "Red".
click_at "$THEME_WIN" 120 16
sleep 0.2
xdotool key Down
# FaceList (1200, 1080, 1695, 840 twips): the first row, then Down to "Gold".
click_at "$THEME_WIN" 120 80
sleep 0.2
xdotool key Down
sleep 0.3
screenshot theme-chosen
# SaveButton (1560, 2040, 1335, 375 twips).
click_at "$THEME_WIN" 148 148

QUESTION=$(wait_for_message_box 10) || fail "\"Save\" asked no question"
sleep 0.3
screenshot question
[ "$(setting Digits)" = 1 ] || fail "Digits stored as '$(setting Digits)' before the answer, expected 1"
[ "$(setting Face)" = 1 ] || fail "Face stored as '$(setting Face)' before the answer, expected 1"
# Yes is the default button, so Return answers Yes once the box has the focus.
answer_box "$QUESTION" || fail "the question stayed after Return"

wait_for_exit "$OLD_PID" 10 || fail "the old process still runs after Yes"
log "the old process ended"

# The restarted copy is no child of this script; it is found by its path.
other_copy() { program_pids | grep -vx "$OLD_PID" | head -n1 | grep .; }
new_pid=$(wait_for 10 other_copy) || fail "no new copy of the program started"
cmdline=$(tr '\0' '\n' <"/proc/$new_pid/cmdline" | sed 1d)
[ "$cmdline" = restart ] || fail "the new copy's arguments are '$(tr '\n' ' ' <<<"$cmdline")', not the single word restart"
[ "$(readlink -f "/proc/$new_pid/exe")" = "$(readlink -f "$PROG_DIR/tockwise")" ] ||
    fail "the new copy runs $(readlink -f "/proc/$new_pid/exe"), not the program itself"
log "new copy $new_pid runs with the single argument restart"

[ "$(setting Digits)" = 1 ] || fail "Digits is '$(setting Digits)' after the restart, expected 1"
[ "$(setting Face)" = 1 ] || fail "Face is '$(setting Face)' after the restart, expected 1"
# The old copy saved its place before going, so the new one comes back there.
[ "$(setting X)" = "$((cx * 15))" ] && [ "$(setting Y)" = "$((cy * 15))" ] ||
    fail "X, Y saved as $(setting X), $(setting Y), expected $((cx * 15)), $((cy * 15))"

wait_for_clock
read -r nx ny < <(window_position "$CLOCK_WIN")
[ "$nx $ny" = "$cx $cy" ] || fail "the new clock is at $nx,$ny, the old one was at $cx,$cy"
wait_until tray_icon >/dev/null || fail "the new copy has no tray icon"
# Let the digits fade in.
sleep 1
screenshot restarted
shot=$E2E_ARTIFACTS/$E2E_NAME-restarted.png

# The face's frame is gold: at (100, 4) a warm highlight (not grey like Silver,
# not blue), at (100, 6) the deep yellow mid-tone (Brass there is much greyer).
read -r fr fg fb < <(pixel "$shot" $((nx + 100)) $((ny + 4)))
read -r mr mg mb < <(pixel "$shot" $((nx + 100)) $((ny + 6)))
log "frame at (100, 4): RGB($fr, $fg, $fb); at (100, 6): RGB($mr, $mg, $mb)"
[ "$fr" -gt 120 ] && [ "$fr" -ge $((fg - 10)) ] && [ $((fb * 10)) -lt $((fg * 9)) ] ||
    fail "the frame at (100, 4) is RGB($fr, $fg, $fb), not gold"
[ "$mr" -gt 80 ] && [ "$mr" -ge $((mg - 10)) ] && [ $((mb * 2)) -lt "$mg" ] ||
    fail "the frame at (100, 6) is RGB($mr, $mg, $mb), not gold"
# Lit segments are red: many strongly red pixels, and none lit white.
red=$(count_pixels "$shot" "180x50+$((nx + 10))+$((ny + 10))" 'r > 0.55 && g < 0.3 && b < 0.3')
white=$(count_pixels "$shot" "180x50+$((nx + 10))+$((ny + 10))" 'r > 0.8 && g > 0.8 && b > 0.8')
[ "$red" -gt 200 ] || fail "only $red red pixels among the digits (before the restart: $before_red)"
[ "$white" -lt 20 ] || fail "$white white pixels among the digits: they are not red"
log "digits: $red red pixels (before: $before_red), $white white"
