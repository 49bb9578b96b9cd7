"""When an alarm's window and sound come, in ms of the real clock: run alone, as load blurs it."""

import os, re, time  # noqa: E401
import pytest
import harness as h

DUE = h.epoch("2024-03-07 08:00:00")
THEME = "/usr/share/sounds/freedesktop/stereo/alarm-clock-elapsed.oga"


def test_an_alarm_rings_on_its_minute(desk):
    """An 08:00 alarm's 400 x 100 window opens mid-screen within a second, never before (traced within
    250 ms), shows name and date, chimes every 5 s, and goes by its "X"; the idle clock then hardly wakes."""
    r = desk.start()
    h.write_alarms(desk.prog / "Alarms.dat", "Dentist Ärztehaus|daily|08:00|0|2024-03-07")
    wav = desk.start_sound() and desk.record()  # without a sound server the chimes go unchecked
    clock = desk.clock(at=DUE - 9)
    due = time.time() + DUE - clock.now()  # 08:00 on the real clock
    assert clock.window() and time.time() < due - 1, "the clock took too long to start for the timing to be measured"
    wid = h.wait_for(lambda: h.quiet("xdotool", "search", "--onlyvisible", "--name", "^Alarm Notification$").split(),
                     "no notification window within 5 s of 08:00", timeout=due + 5 - time.time(), every=0.01)[0]
    assert 0 <= (late := round((time.time() - due) * 1000)) <= 1000, \
        f"the notification opened {late} ms after 08:00, not within the second after it"
    digits, rang = (clock.traces(kind, ms=True)[-1] - DUE * 1000 for kind in ("minute-shown", "notification-shown"))
    assert 0 <= digits <= 250 and 0 <= rang <= 250, f"08:00's digits came {digits} ms, its window {rang} ms late"
    assert h.geometry(wid) == (440, 462, 400, 100), f"the notification is not 400 x 100 at 440,462: {h.geometry(wid)}"
    h.wait_for(lambda: all(h.pixels(h.screenshot(f"{desk.name}-note"), rect, threshold="40%") > 30 for rect in
                           ("281x15+544+488", "281x49+544+502")), "the notification shows no date line or no name")
    if wav:
        h.wait_for(lambda: len(h.sounds(wav)[0]) >= 3, "no third chime by 08:00:14", due + 14 - time.time(), 0.3)
        stop, _ = round((time.time() - due) * 1000), desk.stop_recording()
        heard, length = h.sounds(wav)
        at = [stop - length + start for start, _ in heard]  # ms after 08:00, counted back from the recording's end
        assert -300 <= at[0] <= 2500, f"the first chime was heard {at[0]} ms after 08:00"
        assert 4300 <= at[2] - at[1] <= 5700, f"the third chime came {at[2] - at[1]} ms after the second, not 5 s"
    r.press("push button", "Close", what='the notification has no "X" read as the button "Close"')
    h.gone("Alarm Notification", what='the notification stayed after its "X" was pressed')
    woke = []  # until the next minute's digits; from 08:00:20 the chimes and the fade are long done
    h.wait_for(lambda: woke.append((clock.now(), h._read(f"/proc/{clock.pid}/status"))) or "08:01" in
               [t[:5] for t in clock.traces("minute-shown")], "the clock did not show 08:01", DUE + 70 - clock.now())
    idle = [int(re.search(r"voluntary_ctxt_switches:\s+(\d+)", s)[1]) for t, s in woke if DUE + 20 <= t <= DUE + 59.5]
    assert idle[-1] - idle[0] <= 3, f"the idle clock woke {idle[-1] - idle[0]} times between 08:00:20 and 08:00:59"
    assert clock.alive() and clock.window(), "the clock went away after the notification was closed"


@pytest.mark.parametrize("theme", [False, pytest.param(True, marks=pytest.mark.skipif(
    not os.path.exists(THEME), reason="no freedesktop sound theme installed"))], ids=["own-chime", "theme"])
def test_without_its_chime_file_an_alarm_is_still_heard(desk, theme):
    """Without Chime1.wav the alarm plays the sound theme's "alarm-clock-elapsed" (over 2.5 s)
    where installed, else its own 1.6 s chime; one line on standard error says which."""
    desk.start(tray=False, reader=False)
    (desk.prog / "Chime1.wav").unlink(missing_ok=True)
    h.write_alarms(desk.prog / "Alarms.dat", "Standup|daily|08:00")
    assert (wav := desk.start_sound() and desk.record()), "no sound server could be started"
    clock = desk.clock(at=DUE - 4, env={} if theme else {"XDG_DATA_DIRS": str(desk.work / "no-theme")})
    # The first sound 4 s after it began: the own chime is over by then, the theme's is not.
    (start, end), = h.wait_for(lambda: (s := h.sounds(wav))[0] and s[1] - s[0][0][0] > 4000 and s[0][:1],
                               "nothing was heard at 08:00", DUE - clock.now() + h.LIMIT, 0.3)
    assert end - start > 2500 if theme else 1300 <= end - start <= 1800, \
        f"what was heard lasted {end - start} ms, not {'over 2.5 s' if theme else 'the 1.6 s of the own chime'}"
    said = [line for line in h._read(clock.log).splitlines() if line.startswith("tockwise:")]
    assert len([s for s in said if "Chime1.wav cannot be played" in s]) == 1, f"not one line about Chime1.wav: {said}"
    assert ("alarm-clock-elapsed" if theme else "built-in chime") in " ".join(said), f"standard error: {said}"
    clock.stop()
    assert h.quiet("pactl", "info"), "the sound server is gone after the ring"
