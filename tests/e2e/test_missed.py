"""The missed alarms panel: its lines kept until cleared; shown, hidden and worked through its menus and keys."""

import harness as h
from harness import CLOCK, PANEL
from test_tray import AT, menu, shown


def kept(desk): return (f := desk.data / "missed-alarms.txt").exists() and f.read_text().splitlines() or []
def lum(c): return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4


def test_missed_lines_are_kept_until_cleared(desk):
    """A line is kept on disk once found; after "Exit" one of the notifications still open times out into a line, a
    second start brings the clock back; after a crash the kept lines show, then the new; "Clear All" is for good."""
    r = desk.start()
    names = (("Early", "07:45"), ("Standup", "08:00"), ("Coffee", "08:01"), ("Late", "08:03"))
    h.write_alarms(desk.prog / "Alarms.dat", *(f"{n}|daily|{t}" for n, t in names))
    desk.write_settings(**{"Last Check": h.minute_of(AT + "07:40")})
    lines, notes = [f"{n} - {t},  7 March" for n, t in names], lambda: len(h.windows("Alarm Notification"))
    holds = lambda k, what, limit=h.LIMIT, panel=False: h.wait_for(  # noqa: E731 (the kept lines; the panel open)
        lambda: kept(desk) == lines[:k] and (shown(PANEL) or not panel), f"{what}: {kept(desk)}", limit)
    # Rounds 0.5 s apart: a notification times out after 30 s, not 5 minutes.
    first = desk.clock(at=h.epoch(AT + "07:59:57"), poll=True, env={"TOCKWISE_ALERT_INTERVAL": "500"})
    holds(1, "the line found at start-up was not kept, or its panel did not open", panel=True)
    h.wait_for(lambda: notes() == 1, "no notification at 08:00")
    first.wait_until(h.epoch(AT + "08:00:05"))  # Coffee rings 5 s after Standup, so it times out after a restart
    first.set(h.epoch(AT + "08:00:59") + 0.5)
    h.wait_for(lambda: notes() == 2, "no second notification at 08:01")
    menu(first, "Exit")
    h.wait_for(lambda: not shown(CLOCK) and notes() == 2, '"Exit" left the clock, or took the notifications away')
    holds(2, 'a notification timing out after "Exit" left no missed line', 35)
    assert first.alive() and notes() == 1, "the program ended, or Coffee's notification went, with Standup's"
    second = desk.clock()
    h.wait_for(lambda: not second.alive() and shown(CLOCK), "a second start did not end and bring back the clock")
    desk.tray_icon()
    h.wait_for(lambda: notes() == 0, "Coffee's notification did not time out")
    holds(3, "the last notification's line was not kept, or the new clock's panel did not open for it", panel=True)
    h.wait_for(lambda: first.proc.kill() or not first.alive(), "the program did not crash on SIGKILL")
    third = desk.clock(at=h.epoch(AT + "08:05:10"))
    holds(4, "after a crash the lines are not the kept ones and then the new one")
    h.wait_for(lambda: shown(PANEL) and r.rows(PANEL[0]) == lines, f"no start-up panel with them: {r.rows(PANEL[0])}")
    menu(third, "Clear All", lambda: r.click(r.find("label", "Missed Alarms"), 3))  # on the panel's title
    holds(0, '"Clear All" left lines on disk')
    menu(third, "Exit")
    h.wait_for(lambda: not third.alive(), '"Exit" did not end the program')
    desk.clock(at=h.epoch(AT + "08:06:10")).wait_for("tray-message")  # later than a start-up's panel would show
    assert not shown(PANEL), 'the panel opened at start-up after "Clear All"'


def test_the_missed_panel_through_its_menus_and_keys(desk):
    """A missed line shows the panel centred under the clock, its menu item marked; that item, "Close" and Escape hide
    both, keeping the line; line and arrows stand out 4.5:1; Down frames the line, Shift+F10 opens its menu, Delete."""
    r = desk.start(wm=True)
    h.write_alarms(desk.prog / "Alarms.dat", "Morning run|daily|07:00|0|2024-03-07")
    desk.write_settings(**{"Last Check": h.minute_of(AT + "06:50")})
    clock, line = desk.clock(at=h.epoch(AT + "07:10:00")), ["Morning run - 07:00,  7 March"]
    home = lambda: (p := h.windows(*PANEL)) and r.rows(PANEL[0]) == line and h.geometry(p[0])[:2] == tuple(  # noqa
        v + d for v, d in zip(h.geometry(clock.window()), (-100, 69)))

    def hidden(how, back=True):  # panel and mark go, the clock stays; "Show Missed Alarms" brings it back as it was
        h.gone(*PANEL, what=f"{how} did not hide the missed panel")
        assert clock.window() and not menu(clock, "Show Missed Alarms" if back else None), f"{how} left the mark"
        if back:
            h.wait_for(home, f"after {how} the panel came back elsewhere or without its line")
    h.wait_for(home, "the missed panel did not show its line centred under the clock")
    assert menu(clock, "Show Missed Alarms"), '"Show Missed Alarms" is not marked while the panel shows'
    hidden('"Show Missed Alarms"')
    menu(clock, "Close", lambda: r.click(r.find("label", "Missed Alarms"), 3))
    hidden('"Close" in the panel\'s menu')
    shot, first = h.screenshot(f"{desk.name}-contrast"), next(o for o in r.all("list item") if o.name)
    for o in first, r.find("label", "/\\"), r.find("label", "\\/"):  # the brightest pixel against its #4D4D4D
        x, y, w, ht = r.extents(o)
        top = float(h.quiet("convert", shot, "-crop", f"{w}x{ht}+{x}+{y}", "-format", "%[fx:maxima.r]", "info:") or 0)
        assert (lum(top) + .05) / (lum(77 / 255) + .05) >= 4.5, f"the panel's {o.name or 'line'!r} is under 4.5:1"
    x, y, _, ht = r.extents(first)
    framed = lambda: h.pixels(h.screenshot(f"{desk.name}-line"), f"1x{ht - 2}+{x - 4}+{y + 1}", dark=False) > 10  # noqa
    for last in ("Escape", "Delete"):
        r.click(r.find("label", "Missed Alarms"))
        r.wait_state(panel := r.find("list", "Missed Alarms"), "active", what="a click did not make the panel active")
        assert last == "Delete" or not (r.has(first, "focused") or framed()), "a line is framed before any is chosen"
        h.key("Down")
        r.wait_state(first, "focused", what="Down chose no line of the active panel")
        assert framed(), "Down framed no line of the active panel"
        if last == "Escape":
            menu(clock, None, lambda: h.key("shift+F10"))  # Escape closes it
            (px, py, _, _), (mx, my, _, _) = r.extents(panel), menu.at
            assert px <= mx <= px + 60 and py + 30 <= my <= py + 60, f"Shift+F10 opened the menu at {mx},{my}"
        h.key(last)
        hidden(last, back=last == "Escape")
    h.wait_for(lambda: not kept(desk), f"Delete left the line in the missed file: {kept(desk)}")
