#!/usr/bin/env bash
# With Chime1.wav gone an alarm is still heard: the desktop sound theme's
# "alarm-clock-elapsed" plays where the theme is installed, else the chime
# built into the program, and one line on standard error says which.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"
source "$(dirname "$0")/lib_sound.sh"

export TZ=UTC
now_ms() { echo $(($(date +%s%N) / 1000000)); }

install_program
rm -f "$PROG_DIR/Chime1.wav"
write_alarms "$PROG_DIR/Alarms.dat" 'Standup|daily|08:00|0|'
start_sound_server || fail "no sound server could be started"

# ring_and_record NAME [VAR=VALUE...]: runs the program until 4 s after an
# alarm due at 08:00 while recording the sound server into NAME.wav; ends it.
# REPORTS: how many lines on standard error said the chime file cannot be played.
ring_and_record() {
    local name=$1 due_real offset
    shift
    : >"$E2E_WORK/clock.log"
    # Each run a first start: the last one's "Last Check" (08:00) would have
    # the next take 08:00 for a minute already checked.
    rm -f "$SETTINGS"
    start_recording "$E2E_WORK/$name.wav"
    due_real=$(($(date +%s) + 5))
    offset=$(printf '%+d' $(($(date -d '2024-03-07 08:00:00' +%s) - due_real)))
    # The event-sound library remembers where it found (or did not find) a
    # theme's sound in a cache of its own: one for each run.
    launch "$@" XDG_CACHE_HOME="$E2E_WORK/cache-$name" LD_PRELOAD="$(faketime_lib)" FAKETIME="$offset" FAKETIME_DONT_RESET=1 FAKETIME_DONT_FAKE_MONOTONIC=1 --
    while [ "$(now_ms)" -lt $(((due_real + 4) * 1000)) ]; do sleep 0.2; done
    stop_recording
    kill "$CLOCK_PID"
    wait_for_exit "$CLOCK_PID" 10 || fail "the program did not end"
    pactl info >/dev/null 2>&1 || fail "the sound server is gone after the $name run"
    REPORTS=$(grep -c '^tockwise: .*Chime1.wav cannot be played' "$E2E_WORK/clock.log" || true)
}

# Without a sound theme: the chime inside the program, 1.6 s long. First, while
# the server has not yet kept the theme's sound from an earlier ring.
mkdir -p "$E2E_WORK/no-theme"
ring_and_record built-in XDG_DATA_DIRS="$E2E_WORK/no-theme"
first=$(loud_stretches "$E2E_WORK/built-in.wav" | head -n1)
[ -n "$first" ] || fail "nothing was heard without Chime1.wav and without a sound theme"
[ "$first" -ge 1300 ] && [ "$first" -le 1800 ] || fail "what was heard ($first ms) is not the 1.6 s built-in chime"
[ "$REPORTS" -eq 1 ] || fail "$REPORTS lines on standard error about the missing chime, not one"
grep -q 'built-in chime' "$E2E_WORK/clock.log" || fail "standard error does not say the built-in chime plays"
log "the built-in chime was heard ($first ms of sound): $(grep '^tockwise:' "$E2E_WORK/clock.log")"

if [ -f /usr/share/sounds/freedesktop/stereo/alarm-clock-elapsed.oga ]; then
    ring_and_record theme
    first=$(loud_stretches "$E2E_WORK/theme.wav" | head -n1)
    # The theme's alarm rings for six seconds; the next round cuts it at five.
    [ -n "$first" ] || fail "nothing was heard with Chime1.wav gone"
    [ "$first" -gt 2500 ] || fail "what was heard ($first ms) is not the theme's alarm"
    [ "$REPORTS" -eq 1 ] || fail "$REPORTS lines on standard error about the missing chime, not one"
    grep -q 'alarm-clock-elapsed' "$E2E_WORK/clock.log" || fail "standard error does not name the theme's sound"
    log "the theme's alarm was heard ($first ms of sound): $(grep '^tockwise:' "$E2E_WORK/clock.log")"
else
    log "no freedesktop sound theme installed: only the built-in chime is checked"
fi
