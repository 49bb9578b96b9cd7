#!/usr/bin/env bash
# Enter and Escape in an open drop-down of the real editor (the Type and Day
# lists, the calendar's month menu and year box), with openbox on a real X
# server: they choose or close that drop-down alone; with every
# drop-down closed Enter confirms and Escape cancels, as before. One case a
# line: the keys after the name, what --list then holds (the editor closed by
# a last Return, or by Escape when nothing is to be kept).
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_wm.sh"

export TZ=UTC
editor_open() { named_window 'Alarm Details' >/dev/null; }

start_wm
install_program
start_clock '@2024-03-07 10:15:00'
wait_for_clock
list=$(open_alarm_list)

# case NAME EXPECTED KEYS...: types NAME into a new alarm, presses the keys one
# by one (click:X,Y clicks there in the editor); the editor must still be open, then a Return (or, for an EXPECTED of
# "-", an Escape) closes it, and the last line of --list must be EXPECTED.
case_keys() {
    local name=$1 expected=$2 editor key last
    shift 2
    editor=$(open_editor "$list")
    type_alarm_name "$editor" "$name"
    for key in "$@"; do
        case $key in
        click:*) IFS=, read -r x y <<<"${key#click:}"; click_at "$editor" "$x" "$y" ;;
        *) xdotool key "$key" ;;
        esac
        sleep 0.3
    done
    editor_open || fail "$name: the editor closed on the keys $*"
    screenshot "$name"
    if [ "$expected" = - ]; then xdotool key Escape; else xdotool key Return; fi
    wait_editor_closed || fail "$name: with every drop-down closed the editor did not close"
    last=$("$PROG_DIR/tockwise" --list | tail -n1 | cut -f2,3,4,6)
    if [ "$expected" = - ]; then
        [[ $last != *"$name"* ]] || fail "$name: Escape kept the alarm: $last"
    else
        [ "$last" = "$expected" ] || fail "$name: --list ends with '$last', not '$expected'"
    fi
    [ "$expected" = - ] && expected="nothing kept"
    log "$name: $* -> $expected"
}

# The Type list: Return chooses Weekly; Escape closes it, keeping Once Only.
case_keys TypeReturn $'weekly\t11:00\tMonday\tTypeReturn' Tab alt+Down Down Down Return
case_keys TypeEscape - Tab alt+Down Down Escape
# The Day list, four fields on from the Type list for a weekly alarm (Hour,
# Minute, Disabled, Day).
case_keys DayReturn $'weekly\t11:00\tTuesday\tDayReturn' Tab alt+Down Down Down Return \
    Tab Tab Tab Tab alt+Down Down Return
case_keys DayEscape $'weekly\t11:00\tMonday\tDayEscape' Tab alt+Down Down Down Return \
    Tab Tab Tab Tab alt+Down Down Escape
# The calendar's month menu (its month name, 150, 131) and year box (194, 131)
# turn its page; the Monday of the page's second row (93, 191) is then taken.
case_keys MonthReturn $'once\t11:00\t2024-01-01\tMonthReturn' click:150,131 Down Return click:93,191
case_keys MonthEscape - click:150,131 Down Escape
case_keys YearReturn $'once\t11:00\t2025-03-03\tYearReturn' click:194,131 Up Return click:93,191
case_keys YearEscape $'once\t11:00\t2024-03-07\tYearEscape' click:194,131 Escape
