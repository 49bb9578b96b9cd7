"""Waking the computer for an alarm, as the running clock's timers show it in /proc/PID/fdinfo."""

import datetime as dt
import os
import re

import pytest

import harness as h


def wake_timers(pid):  # seconds left on each CLOCK_REALTIME_ALARM (clock 8) timer, one fdinfo block each
    infos = h.quiet("sh", "-c", f"cat /proc/{pid}/fdinfo/* 2>/dev/null")
    return [int(s) for s in re.findall(r"^clockid: 8\n(?:(?!pos:).*\n)*?it_value: \((\d+),", infos, re.M)]


@pytest.mark.skipif(os.getuid() != 0, reason="arming a wake timer and running as another user need root")
def test_the_clock_arms_a_wake_timer_for_its_next_alarm(desk):
    """With the option on, one wake timer for the next alarm, moved at once for an alarm added through the clock,
    gone with the option off; an ordinary user, who may not arm one, is told once and the alarm still rings."""
    def armed(at):  # one wake timer, within 2 s of the next time the wall clock shows that minute; "": none
        now, left = dt.datetime.now(dt.timezone.utc), wake_timers(clock.pid)
        due = at and (now.replace(hour=int(at[:2]), minute=int(at[3:]), second=0) - now).total_seconds() % 86400
        return len(left) == bool(at) and (not at or abs(left[0] - due) <= 2)
    desk.start(reader=False)
    for args, out in ((("--add", "Morning", "--at", "07:00", "--daily"), "1\n"), (("--wake-from-suspend", "on"), None),
                      (("--wake-from-suspend",), "on\n")):
        assert (got := desk.cli(*args))[0] == 0 and out in (None, got[1]), f"without a clock, {args}: {got}"
    clock, soon = desk.clock(), (dt.datetime.now(dt.timezone.utc) + dt.timedelta(minutes=3)).strftime("%H:%M")
    for args, at in (((), "07:00"), (("--add", "Soon", "--at", soon, "--daily"), soon),
                     (("--wake-from-suspend", "off"), "")):
        assert not args or desk.cli(*args)[0] == 0, f"tockwise {args} failed through the running clock"
        h.wait_for(lambda: armed(at), f"after {args or 'the start'}, not one wake timer for {at or 'nothing'}")
    assert clock.stop() == 0 and "will not be woken" not in clock.log.read_text(), "root was refused the wake timer"
    # Nobody (65534) takes the test's folders; the clock alone is preloaded, so libfaketime's semaphore is nobody's.
    desk.write_settings(**{"Wake From Suspend": "True"})
    h.write_alarms(desk.prog / "Alarms.dat", "Tea|daily|08:00")
    h.run("chown", "-R", "65534:65534", desk.work)
    faked, log = "%+d" % (h.epoch("2024-03-07 08:00:00") - dt.datetime.now().timestamp() - 4), desk.work / "user.log"
    user = desk.spawn("setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "env", f"FAKETIME={faked}",
                      *f"LD_PRELOAD={h.faketime_lib()} FAKETIME_DONT_RESET=1 FAKETIME_DONT_FAKE_MONOTONIC=1 "
                      "TOCKWISE_TRACE=1".split(), desk.prog / "tockwise", log=log.name)
    h.wait_for(lambda: " Tea\n" in log.read_text(), "the 08:00 alarm did not ring for an ordinary user")
    assert not wake_timers(user.pid) and log.read_text().count("will not be woken") == 1, \
        f"nobody's clock holds a wake timer, or did not say once that it cannot: {log.read_text()}"
