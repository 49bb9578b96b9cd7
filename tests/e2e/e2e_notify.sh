#!/usr/bin/env bash
# A Daily alarm due at 08:00 rings on the real program: the notification window
# opens as the minute begins, shows the name and the time, chimes into a sound
# server when one can be started, and goes when its "X" is clicked while the
# clock runs on.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"
source "$(dirname "$0")/lib_sound.sh"

export TZ=UTC

now_ms() { echo $(($(date +%s%N) / 1000000)); }

notification_window() { named_window 'Alarm Notification' || true; }

# A private sound server with a null sink; none is not a failure, only a skipped check.
SOUND=no

start_tray
install_program
# One Daily alarm, its name beyond ASCII.
write_alarms "$PROG_DIR/Alarms.dat" 'Dentist Ärztehaus|daily|08:00|0|2024-03-07'
if start_sound_server; then SOUND=yes; else log "no sound server could be started: the chime is not checked"; fi

# Real second T becomes 08:00:00.000 in the program: the offset is whole seconds,
# so the measured delay is not blurred by when the program happened to start.
due_real=$(($(date +%s) + 9))
offset=$(printf '%+d' $(($(date -d '2024-03-07 08:00:00' +%s) - due_real)))
due_ms=$((due_real * 1000))

[ "$SOUND" = no ] || start_recording "$E2E_WORK/sound.wav"

# No clock switch: the program sleeps on the kernel timer it ships with.
export TOCKWISE_TRACE=1
start_clock "$offset"
wait_for_clock
program_pid=$CLOCK_PID # libfaketime is preloaded: this is the program itself
[ -n "$program_pid" ] || fail "the program did not start under faketime"
[ "$(now_ms)" -lt $((due_ms - 1000)) ] || fail "the clock took too long to start for the timing to be measured"

# Wait for the window; it must not come before the minute.
seen_ms=
while [ "$(now_ms)" -lt $((due_ms + 5000)) ]; do
    win=$(notification_window)
    if [ -n "$win" ]; then
        seen_ms=$(now_ms)
        break
    fi
    sleep 0.01
done
[ -n "$seen_ms" ] || fail "no \"Alarm Notification\" window within 5 s of 08:00"
delay=$((seen_ms - due_ms))
[ "$delay" -ge 0 ] || fail "the notification opened $((-delay)) ms before 08:00"
[ "$delay" -le 1000 ] || fail "the notification opened $delay ms after 08:00, more than a second"
log "notification on screen $delay ms after 08:00:00"

# Seen from inside (the traces carry the program's own clock, 08:00 at due_ms):
# the idle clock slept until the minute and woke on it, for the digits and the alarm.
fake_due_ms=$(($(date -d '2024-03-07 08:00:00' +%s) * 1000))
trace_ms() { sed -n "s/^tockwise-trace $1 \([0-9]*\) $2.*/\1/p" "$E2E_WORK/clock.log" | head -n 1; }
digits_ms=$(trace_ms minute-shown '08:00')
rang_ms=$(trace_ms notification-shown '')
[ -n "$digits_ms" ] && [ -n "$rang_ms" ] || fail "no trace of the 08:00 digits or the notification"
digits_delay=$((digits_ms - fake_due_ms))
rang_delay=$((rang_ms - fake_due_ms))
[ "$digits_delay" -ge 0 ] && [ "$digits_delay" -le 250 ] || fail "the 08:00 digits started $digits_delay ms after the minute"
[ "$rang_delay" -ge 0 ] && [ "$rang_delay" -le 250 ] || fail "the notification was shown $rang_delay ms after the minute"
log "08:00 digits started $digits_delay ms and the notification was shown $rang_delay ms after the minute"

geometry=$(xwininfo -id "$win")
grep -q 'Width: 400' <<<"$geometry" && grep -q 'Height: 100' <<<"$geometry" ||
    fail "the notification is not 400 x 100: $(grep -E 'Width|Height' <<<"$geometry" | tr -s ' \n' ' ')"
read -r nx ny < <(window_position "$win")
# Centred on the 1280 x 1024 screen.
[ "$nx" -eq 440 ] && [ "$ny" -eq 462 ] || fail "the notification is at $nx,$ny, not centred at 440,462"

# Let the window paint before it is photographed.
sleep 1.5
screenshot notification

# A cheap proxy for the texts the eye checks in the screenshot: the date line
# (below the rule) and the name must each hold dark text pixels.
shot=$E2E_ARTIFACTS/$E2E_NAME-notification.png
date_dark=$(dark_pixels "$shot" "281x15+$((nx + 104))+$((ny + 26))" 40%)
name_dark=$(dark_pixels "$shot" "281x49+$((nx + 104))+$((ny + 40))" 40%)
[ "$date_dark" -gt 30 ] || fail "the date line of the notification is blank ($date_dark dark pixels)"
[ "$name_dark" -gt 30 ] || fail "the name of the notification is blank ($name_dark dark pixels)"

if [ "$SOUND" = yes ]; then
    # Record the chimes due at 0, 5 and 10 s; the first can lag while the
    # sound is loaded, so the steady rhythm is read between the second and third.
    usage_start=$(awk '{print $14 + $15}' "/proc/$program_pid/stat")
    measure_start_ms=$(now_ms)
    while [ "$(now_ms)" -lt $((due_ms + 12000)) ]; do sleep 0.2; done
    usage_end=$(awk '{print $14 + $15}' "/proc/$program_pid/stat")
    ticks=$(getconf CLK_TCK)
    log "program CPU while chiming: $(((usage_end - usage_start) * 1000 / ticks)) ms in $(($(now_ms) - measure_start_ms)) ms"
    stop_ms=$(now_ms)
    stop_recording
    [ -s "$E2E_WORK/sound.wav" ] || fail "the recording of the sound server is empty"
    stats=$(sox -V0 "$E2E_WORK/sound.wav" -n stat 2>&1)
    rms=$(awk '/RMS +amplitude/ {print $3}' <<<"$stats")
    peak=$(awk '/Maximum amplitude/ {print $3}' <<<"$stats")
    awk -v r="${rms:-0}" 'BEGIN{exit !(r > 0.001)}' || fail "the recording is silent (RMS $rms, peak $peak)"
    # Chimes are the loud stretches after at least a second of quiet. The
    # recording's end is the moment parec was stopped (its start lags by an
    # unknown connect time), so they are placed against the clock from the end.
    chimes=$(python3 - "$E2E_WORK/sound.wav" <<'EOF2'
import struct, sys
data = open(sys.argv[1], "rb").read()
channels, rate = struct.unpack_from("<HI", data, data.index(b"fmt ") + 10)
samples = data[data.index(b"data") + 8:]
samples = samples[: len(samples) // 2 * 2]
values = struct.unpack("<%dh" % (len(samples) // 2), samples)
frames = len(values) // channels
last_loud = None
for i in range(0, len(values), channels):
    if max(abs(v) for v in values[i:i + channels]) > 300:
        frame = i // channels
        if last_loud is None or frame - last_loud > rate:
            print((frames - frame) * 1000 // rate)
        last_loud = frame
EOF2
)
    [ -n "$chimes" ] || fail "no chime in the recording"
    first_chime=$((stop_ms - $(head -n1 <<<"$chimes") - due_ms))
    # Some slack for the sound server's buffering when placing sound against the clock.
    [ "$first_chime" -ge -300 ] || fail "a sound was recorded $((-first_chime)) ms before the alarm was due"
    [ "$first_chime" -le 2500 ] || fail "the first chime was heard $first_chime ms after 08:00"
    [ "$(wc -l <<<"$chimes")" -ge 3 ] ||
        fail "$(wc -l <<<"$chimes") chime(s) in the $((stop_ms - due_ms)) ms after 08:00, expected 3"
    gap=$(($(sed -n 2p <<<"$chimes") - $(sed -n 3p <<<"$chimes")))
    [ "$gap" -ge 4300 ] && [ "$gap" -le 5700 ] || fail "the third chime came $gap ms after the second, not 5 s"
    log "first chime about $first_chime ms after 08:00:00, then $(($(sed -n 1p <<<"$chimes") - $(sed -n 2p <<<"$chimes"))) and $gap ms apart"
    log "chime recorded: RMS $rms, peak $peak"
fi

# "X" closes the notification; the clock goes on.
read -r nx ny < <(window_position "$win")
xdotool mousemove $((nx + 384)) $((ny + 16)) click 1
wait_until gone named_window 'Alarm Notification' >/dev/null ||
    fail "the notification stayed after its \"X\" was clicked"
log "\"X\" closed the notification"
screenshot closed

sleep 1
kill -0 "$program_pid" 2>/dev/null || fail "the program ended when the notification was closed"
clock_window >/dev/null || fail "the clock window went away with the notification"
log "the clock runs on"

# Between minutes the idle clock sleeps: over the half minute from 08:00:20
# (the notification, its chimes and the fade long done) it hardly wakes at all,
# where polling the clock each second woke it thirty times and more.
wake_ups() { awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$program_pid/status"; }
while [ "$(now_ms)" -lt $((due_ms + 20000)) ]; do sleep 0.2; done
before=$(wake_ups)
sleep 30
woke=$(($(wake_ups) - before))
# The changes of cadence the clock traced tell why it stayed awake, if it did.
[ "$woke" -le 3 ] || fail "the idle clock woke $woke times between 08:00:20 and 08:00:50; its cadence: $(
    grep -E 'tockwise-trace (quick|idle)-ticks' "$E2E_WORK/clock.log" | tail -n 6 | tr '\n' ';')"
log "the idle clock woke $woke times between 08:00:20 and 08:00:50"
