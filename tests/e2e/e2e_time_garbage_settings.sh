#!/usr/bin/env bash
# Settings with garbage in every key: huge numbers, negative numbers, text and
# empty values. Each time the program starts and stays up, the clock is 200 x 70
# on screen where the defaults put it (one third of the screen, or the screen
# edge for a value that is no number), it wears white digits on the Silver face,
# and Exit writes plain values back. All variants run before the test reports.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"

start_tray
install_program
write_alarms "$PROG_DIR/Alarms.dat"

read -r screen_w screen_h < <(xdpyinfo | awk '/dimensions:/ {split($2, d, "x"); print d[1], d[2]}')
# One third of the screen in twips, turned back into pixels.
third_x=$(python3 -c "print(round($screen_w * 15 / 3 / 15))")
third_y=$(python3 -c "print(round($screen_h * 15 / 3 / 15))")
started_at=$(utc_epoch '2024-03-07 09:00:10')
problems=()
problem() {
    problems+=("$*")
    log "PROBLEM: $*"
}

# Exit from the main menu when the clock is on screen, else from the tray menu,
# the one way left to a user. Fails unless the program ends with status 0.
exit_program() {
    local status=0
    if [ -n "${ON_SCREEN:-}" ]; then
        exit_from_menu
    else
        TRAY_ICON=$(wait_until tray_icon) || return 1
        click_icon 3
        tray_menu_choose Exit || return 1
        wait_for_exit "$CLOCK_PID" 10 || return 1
    fi
    wait "$CLOCK_PID" || status=$?
    EXIT_STATUS=$status
    [ "$status" -eq 0 ]
}

# run NAME [SETTING...]: starts the program on these settings (none: no file)
# and leaves CLOCK_WIN, its position WIN_X WIN_Y and, when it is on screen,
# its picture in $E2E_WORK/NAME.png.
run() {
    local name=$1
    shift
    rm -f "$SETTINGS"
    [ $# -eq 0 ] || write_settings "$@"
    start_movable_clock "$started_at"
    wait_for_clock
    # Let the digits fade in fully.
    sleep 1.5
    kill -0 "$CLOCK_PID" 2>/dev/null || fail "$name: the program ended"
    read -r WIN_X WIN_Y < <(window_position "$CLOCK_WIN")
    rm -f "$E2E_WORK/$name.png"
    ON_SCREEN=
    if [ "$WIN_X" -ge 0 ] && [ "$WIN_Y" -ge 0 ] &&
        [ $((WIN_X + 200)) -le "$screen_w" ] && [ $((WIN_Y + 70)) -le "$screen_h" ]; then
        ON_SCREEN=1
        import -window "$CLOCK_WIN" "$E2E_WORK/$name.png" 2>/dev/null || true
    fi
}

# Exits and checks the values written: Last Check a 32-bit minute, X and Y the
# twips of where the window really is, Visible a Boolean word.
exit_and_check_saved() {
    local name=$1 last x y
    if ! exit_program; then
        if kill -0 "$CLOCK_PID" 2>/dev/null; then
            problem "$name: Exit did not end the program"
            kill "$CLOCK_PID"
            wait_for_exit "$CLOCK_PID" 10 || true
            return
        fi
        problem "$name: Exit ended the program with status $EXIT_STATUS (${ON_SCREEN:+main}${ON_SCREEN:-tray} menu)"
    fi
    last=$(setting 'Last%20Check')
    x=$(setting X)
    y=$(setting Y)
    if ! [[ "$last" =~ ^-?[0-9]{1,10}$ ]] || [ "$last" -gt 2147483647 ] || [ "$last" -lt -2147483648 ]; then
        problem "$name: Last Check saved as '$last'"
    fi
    [ "$x" = "$((WIN_X * 15))" ] && [ "$y" = "$((WIN_Y * 15))" ] ||
        problem "$name: saved X=$x Y=$y, but the window stood at $WIN_X,$WIN_Y (X=$((WIN_X * 15)) Y=$((WIN_Y * 15)))"
    [ "$(setting Visible)" = "True" ] || problem "$name: Visible saved as '$(setting Visible)'"
}

# The look of the defaults, and a theme that must look different from it, so
# the comparison below is known to notice a change of colours.
run defaults
[ "$WIN_X $WIN_Y" = "$third_x $third_y" ] || fail "defaults: the clock is at $WIN_X,$WIN_Y, not $third_x,$third_y"
[ -f "$E2E_WORK/defaults.png" ] || fail "defaults: no picture of the clock"
exit_program || fail "defaults: Exit from the main menu ended the program with status $EXIT_STATUS"
[ "$(setting 'Last%20Check')" = "$(minute_of '2024-03-07 09:00')" ] || fail "defaults: Last Check saved as $(setting 'Last%20Check')"
run red-on-gold 'Digits=1' 'Face=1'
differing=$(compare -metric AE "$E2E_WORK/defaults.png" "$E2E_WORK/red-on-gold.png" null: 2>&1 || true)
[ "${differing%% *}" -gt 1000 ] 2>/dev/null || fail "red on gold looks like the defaults ($differing pixels differ)"
exit_program || fail "red-on-gold: Exit ended the program with status $EXIT_STATUS"

# variant NAME EXPECTED-X EXPECTED-Y EXPECTED-LAST-CHECK|any SETTING...
variant() {
    local name=$1 want_x=$2 want_y=$3 want_last=$4 differing
    shift 4
    run "$name" "$@"
    screenshot "$name"
    if [ "$WIN_X $WIN_Y" != "$want_x $want_y" ]; then
        problem "$name: the clock is at $WIN_X,$WIN_Y (screen ${screen_w}x$screen_h), expected $want_x,$want_y"
    fi
    if [ -f "$E2E_WORK/$name.png" ]; then
        differing=$(compare -metric AE "$E2E_WORK/defaults.png" "$E2E_WORK/$name.png" null: 2>&1 || true)
        [ "${differing%% *}" = 0 ] || problem "$name: the clock does not look like white digits on Silver ($differing pixels differ)"
    else
        problem "$name: the clock is not wholly on screen, its colours cannot be seen"
    fi
    exit_and_check_saved "$name"
    if [ "$want_last" != any ] && [ "$(setting 'Last%20Check')" != "$want_last" ]; then
        problem "$name: Last Check saved as $(setting 'Last%20Check'), expected $want_last"
    fi
    log "$name: at $WIN_X,$WIN_Y, saved $(sed -n 's/^\(Last%20Check\|X\|Y\|Visible\)=/\1=/p' "$SETTINGS" | tr '\n' ' ')"
}

now_minute=$(minute_of '2024-03-07 09:00')

# A Last Check too big for 32 bits is no minute at all: checking starts from
# the present minute; it is only required to come back as a plain number.
variant huge "$third_x" "$third_y" any \
    'Last%20Check=99999999999999999999' 'X=1e300' 'Y=99999999999999999999' \
    'Visible=1e300' 'Digits=99999999999999999999' 'Face=1e300'
# A very negative Last Check is no minute either: checking starts now.
variant negative "$third_x" "$third_y" "$now_minute" \
    'Last%20Check=-1e300' 'X=-1e300' 'Y=-99999999999999999999' \
    'Visible=-1' 'Digits=-1' 'Face=-3'
# Text reads as 0: the screen edge; a Last Check with no number starts now.
variant text 0 0 "$now_minute" \
    'Last%20Check=yesterday' 'X=left' 'Y=top' \
    'Visible=maybe' 'Digits=red' 'Face=gold'
variant empty 0 0 "$now_minute" \
    'Last%20Check=' 'X=' 'Y=' 'Visible=' 'Digits=' 'Face='

if [ ${#problems[@]} -gt 0 ]; then
    fail "$(printf '%s\n' "${problems[@]}")"
fi
log "every kind of garbage started the defaults' clock and was saved back as plain values"
