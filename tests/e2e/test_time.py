"""Time as the running program lives it: days closed, a first run, garbage settings, the clock set forward and back,
daylight saving in Berlin. Each row starts the program, moves its clock, and compares what rang and was missed."""

import datetime as dt
from zoneinfo import ZoneInfo

import pytest

import harness as h

# Thursday 7 March 2024, started at 09:00:57: a week of 07:00 alarms, the
# start-up minute's two, and the next minute's one, which rings live.
START_UP = ("Wake|daily|07:00", "Silenced|daily|07:00|||1", "Tea|once|17:59||2024-03-04",
            "Friday only|weekly|07:00|4", "Now|once|09:00||2024-03-07", "Thursday|weekly|09:00|3",
            "Next|once|09:01||2024-03-07")
NEXT = ("2024-03-07 09:00:57", [(None, "ring", "Next")], ["2024-03-07 09:01 Next"])
BERLIN = ("Half past two|daily|02:30", "Three|daily|03:00")
GARBAGE = {"Last Check": "-1e300", "X": "left", "Y": "", "Visible": "maybe", "Digits": "99999999999999999999",
           "Face": "gold"}
last = lambda when: {"Last Check": h.minute_of(when)}  # noqa: E731

# Steps: the clock set to a moment (UTC; None: left to run), then a new trace
# line of a kind and text to wait for. Rings: "local minute name".
ROWS = {
    "closed from Monday to Thursday": ("UTC", last("2024-03-04 18:00"), START_UP, *NEXT, [
        "Wake - 07:00,  5 March", "Wake - 07:00,  6 March", "Wake - 07:00,  7 March", "Now - 09:00,  7 March",
        "Thursday - 09:00,  7 March"]),
    "first run": ("UTC", None, START_UP, *NEXT, []), "garbage settings": ("UTC", GARBAGE, START_UP, *NEXT, []),
    # Asleep from 09:00 to 10:00:05: the skipped hour is checked live, in order.
    "clock jumps an hour forward": ("UTC", last("2024-03-07 08:59"), (
        "Before|daily|09:00", "Quarter|daily|09:15", "Half|weekdays|09:30", "Thursday|weekly|09:59|3",
        "Friday|weekly|09:45|4", "Off|daily|09:40|||1", "Ten|daily|10:00", "Later|daily|10:01"),
        "2024-03-07 08:59:58", [(None, "ring", "Before"), ("2024-03-07 10:00:05", "ring", "Ten")], [
        "2024-03-07 09:00 Before", "2024-03-07 09:15 Quarter", "2024-03-07 09:30 Half", "2024-03-07 09:59 Thursday",
        "2024-03-07 10:00 Ten"], []),
    # Set back six hours (Berlin to New York): the new morning rings; then
    # three days asleep come back as missed lines, and the next alarm rings.
    "clock corrected": ("UTC", last("2024-03-07 12:00"), ("Noon|daily|12:01", "New York|daily|06:02"),
                        "2024-03-07 12:00:55", [(None, "ring", "Noon"), ("2024-03-07 06:01:55", "ring", "New York"),
                                                ("2024-03-10 06:01:55", "ring", "New York")],
                        ["2024-03-07 12:01 Noon", "2024-03-07 06:02 New York", "2024-03-10 06:02 New York"],
                        ["Noon - 12:01,  7 March", "New York - 06:02,  8 March", "Noon - 12:01,  8 March",
                         "New York - 06:02,  9 March", "Noon - 12:01,  9 March"]),
    # 02:00 CET becomes 03:00 CEST: the skipped hour is checked live.
    "Berlin spring": ("Europe/Berlin", last("2024-03-31 01:59"), BERLIN, "2024-03-31 00:59:57",
                      [(None, "ring", "Three")], ["2024-03-31 02:30 Half past two", "2024-03-31 03:00 Three"], []),
    # 03:00 CEST becomes 02:00 CET: the repeated hour, 02:30 included, is not
    # checked again; 03:00 CET is new.
    "Berlin autumn": ("Europe/Berlin", last("2024-10-27 02:29"), BERLIN, "2024-10-27 00:29:57", [
        (None, "ring", "Half past two"), ("2024-10-27 00:59:57", "minute-shown", "02:00"),
        ("2024-10-27 01:29:57", "minute-shown", "02:30"), ("2024-10-27 01:59:57", "ring", "Three")],
        ["2024-10-27 02:30 Half past two", "2024-10-27 03:00 Three"], []),
}


@pytest.mark.parametrize("zone,settings,alarms,start,steps,rings,missed", ROWS.values(), ids=ROWS)
def test_the_alarms_of_a_time_ring_once_or_are_listed_missed(desk, zone, settings, alarms, start, steps, rings,
                                                               missed):
    """What rang, in order and once, and what was listed missed are exactly the row's; one notification window per
    ring; skipped minutes are checked at most ten a second; the missed panel hangs under the clock; the clock wears
    white digits on Silver at its place; Exit saves the present minute and place."""
    desk.start()
    h.write_alarms(desk.prog / "Alarms.dat", *alarms)
    if settings is not None:
        desk.write_settings(**settings)
    clock = desk.clock(at=h.epoch(start), env={"TZ": zone}, poll=any(s[0] for s in steps))
    wid = clock.window()
    for moment, kind, text in steps:
        seen = lambda: len([t for t in clock.traces(kind) if t == text or t.endswith(" " + text)])  # noqa: E731
        before = seen()
        if moment:
            clock.set(h.epoch(moment))
        h.wait_for(lambda: seen() > before, f"{'no alarm' if kind == 'ring' else 'the clock never showed'} {text!r} "
                   f"within 10 s of {'the clock set to ' + moment + ' UTC' if moment else 'start-up'}")
    rang = clock.traces("ring")
    assert rang == [f"{h.minute_of(r[:16])} {r[17:]}" for r in rings], f"rang {rang}"
    assert clock.traces("missed") == missed, f"the missed alarms listed were {clock.traces('missed')}"
    clock.wait_for("notification-shown", len(rings), what="a ring opened no notification window")
    assert len(clock.traces("notification-shown")) == len(rings), "not one notification window per ring"
    t, due = clock.traces("ring", ms=True), [int(r.split()[0]) for r in rang]
    assert all(due[i + 1] < due[i] or (t[i + 1] - t[i]) * 15 >= (due[i + 1] - due[i]) * 1000
               for i in range(len(t) - 1)), f"skipped minutes rang faster than ten a second: {t}"
    x, y, _, _ = h.geometry(wid)  # garbage puts it at the screen's edge, else a third into the 1280 x 1024 screen
    assert (x, y) == ((0, 0) if settings and "X" in settings else (427, 341)), f"the clock stands at {x},{y}"
    if missed:
        px, py, pw, _ = h.geometry(h.window("Missed Alarms", what="the missed alarms are not on screen"))
        assert (px + pw // 2, py) == (x + 100, y + 69), "the missed panel is not centred under the clock's bottom row"
    assert missed or not h.windows("Missed Alarms"), "a missed alarms panel came up with nothing missed"
    # The picture once the digits stopped fading; the desktop shows at the rounded corners.
    idle = lambda: max(clock.traces("idle-ticks", ms=True) or [0])  # noqa: E731
    h.wait_for(lambda: idle() >= max(clock.traces("minute-shown", ms=True)) and idle() > max(
        clock.traces("quick-ticks", ms=True)), "the digits never stopped fading")
    picture, rect = h.screenshot(f"time-{desk.name}"), f"200x70+{x}+{y}"
    coloured = h.quiet("convert", picture, "-crop", rect, "+repage", "-fill", "black", "-opaque", "#3a6ea5",
                       "-colorspace", "HSL", "-channel", "G", "-separate", "+channel", "-threshold", "25%", "-format",
                       "%[fx:int(w*h*mean+0.5)]", "info:")
    assert coloured == "0" and h.pixels(picture, rect, dark=False, threshold="75%") > 1000, \
        f"the clock does not wear white digits on Silver ({coloured} coloured pixels)"
    # Exit takes the clock and leaves the ringing notifications, and the process with them.
    clock.menu("Exit")
    h.wait_for(lambda: not h.windows("Tockwise", (200, 70), clock.pid), "Exit left the clock on screen")
    assert clock.alive() and h.windows("Alarm Notification"), "Exit took the ringing notifications with the clock"
    now = dt.datetime.fromtimestamp(clock.now(), ZoneInfo(zone)).strftime("%Y-%m-%d %H:%M")
    want = {"Last Check": str(h.minute_of(now)), "X": str(x * 15), "Y": str(y * 15), "Visible": "True"}
    h.wait_for(lambda: {k: desk.setting(k) for k in want} == want, f"Exit did not save {want}")
