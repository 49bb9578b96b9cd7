#!/usr/bin/env bash
# Someone is typing in another program when an alarm falls due: the
# notification opens on top, but what they type, Enter included, keeps going
# into their program and the notification stays open. It asks for attention
# instead, and resting the pointer on it shows how to snooze. Once they switch
# to it, Escape closes it.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"
source "$(dirname "$0")/lib_wm.sh"

export TZ=UTC
now_ms() { echo $(($(date +%s%N) / 1000000)); }
notification_window() { named_window 'Alarm Notification'; }

start_wm
install_program
write_alarms "$PROG_DIR/Alarms.dat" 'Standup|daily|08:00|0|2024-03-07'

# 08:00:00 of the program's clock falls on a whole real second, a few seconds on.
due_real=$(($(date +%s) + 10))
offset=$(printf '%+d' $(($(date -d '2024-03-07 08:00:00' +%s) - due_real)))
due_ms=$((due_real * 1000))
export TOCKWISE_TRACE=1
start_clock "$offset"
wait_for_clock

# The user's program: a terminal writing what is typed into a file.
typed=$E2E_WORK/typed.txt
xterm -geometry 60x10+40+40 -e sh -c "cat > '$typed'" &
E2E_PIDS+=($!)
term_pid=$!
term=$(wait_for 10 xdotool search --onlyvisible --pid "$term_pid") || fail "the terminal did not open"
term=$(head -n1 <<<"$term")
xdotool windowactivate --sync "$term" || fail "the terminal could not be made active"
[ "$(now_ms)" -lt $((due_ms - 2000)) ] || fail "the clock and the terminal took too long to start"

# Typing from two seconds before the alarm to three seconds after it, a line
# at a time, each ended with Enter.
lines=0
while [ "$(now_ms)" -lt $((due_ms - 2000)) ]; do sleep 0.05; done
while [ "$(now_ms)" -lt $((due_ms + 3000)) ]; do
    lines=$((lines + 1))
    xdotool type --delay 15 "line $lines"
    xdotool key Return
done
sleep 0.5

win=$(notification_window) || fail "no notification after the alarm was due"
[ "$(wc -l <"$typed")" -eq "$lines" ] ||
    fail "the terminal got $(wc -l <"$typed") of the $lines lines typed: $(tr '\n' '|' <"$typed")"
[ "$(tail -n1 "$typed")" = "line $lines" ] || fail "the last line typed did not reach the terminal"
[ "$(xdotool getactivewindow)" = "$term" ] || fail "the notification took the keyboard focus from the terminal"
log "all $lines lines, typed while the alarm opened, reached the terminal; the notification stays open"

# On top of the terminal in the window manager's stacking order (bottom first).
stacking=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/, / /g')
position_of() {
    local i=0 id
    for id in $stacking; do
        i=$((i + 1))
        [ "$((id))" -eq "$1" ] && echo "$i" && return 0
    done
    echo 0
}
[ "$(position_of "$win")" -gt "$(position_of "$term")" ] || fail "the notification opened below the terminal"
xprop -id "$win" _NET_WM_STATE | grep -q _NET_WM_STATE_DEMANDS_ATTENTION ||
    fail "the notification does not ask for attention: $(xprop -id "$win" _NET_WM_STATE)"
log "the notification is above the terminal and asks for attention"
screenshot open

# Resting the pointer on it, never clicked, shows how to snooze and dismiss.
read -r nx ny < <(window_position "$win")
xdotool mousemove $((nx + 200)) $((ny + 70))
wait_for 5 tooltip_window >/dev/null || fail "resting on the unclicked notification showed no tooltip"
[ "$(xdotool getactivewindow)" = "$term" ] || fail "the tooltip took the keyboard focus from the terminal"
screenshot tooltip
log "resting on the unclicked notification shows its tooltip"

# The user switches to the notification, as the task bar or Alt+Tab does, and
# presses Escape. (Clicking it first is e2e_desktop_titles' way.)
xdotool windowactivate --sync "$win" || fail "the notification could not be made active"
xdotool key Escape
wait_until gone notification_window >/dev/null || fail "Escape did not close the notification once switched to"
kill -0 "$CLOCK_PID" 2>/dev/null || fail "the program ended with the notification"
! grep -q '^tockwise-trace missed' "$E2E_WORK/clock.log" || fail "closing the notification wrote a missed line"
log "switched to, Escape closed it"
