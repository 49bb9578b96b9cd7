"""Alarms made and changed through the real windows, found as a screen reader
finds them."""

import pytest

import harness as h

LIST = "List of alarms"


def open_list(desk, clock):
    clock.window()
    clock.menu("Open Alarms")
    return h.window("Tockwise", (393, 345), what='"Open Alarms" showed no alarm list')


def test_a_daily_alarm_added_through_the_windows(desk):
    """Main menu, "Open Alarms", "Add New", the editor, "Confirm": Alarms.dat
    holds exactly the placeholder and that alarm, and the list shows its row."""
    r = desk.start(wm=True)
    clock = desk.clock(at=h.epoch("2024-03-07 10:15:00"))
    open_list(desk, clock)
    assert r.rows(LIST) == [], "a first start's list is not empty"
    r.press("push button", "Add New")
    h.window("Alarm Details", (305, 321), what='"Add New" showed no editor')
    # The name first: the other fields appear once it has one. Down in the
    # Type list moves "Once Only" to "Daily"; the time boxes select their text
    # on taking the focus, so typing replaces it.
    r.focus("text", "Name")
    h.type_text("Morning Run 7")
    h.key("Tab", "Down", "Tab")
    h.type_text("07")
    h.key("Tab")
    h.type_text("45")
    h.key("Tab")
    r.press("push button", "Confirm")
    h.gone("Alarm Details", what='the editor stayed open after "Confirm"')

    expected = desk.work / "expected.dat"
    h.write_alarms(expected, "Morning Run 7|daily|07:45|0|2024-03-07")
    dat = desk.prog / "Alarms.dat"
    h.wait_for(lambda: dat.exists() and dat.read_bytes() == expected.read_bytes(),
               "Alarms.dat does not hold exactly the placeholder and the new Daily alarm")
    h.wait_for(lambda: r.rows(LIST) == ["Morning Run 7 - 07:45 every day"], "the list shows no row for the alarm")
    # The list takes input again.
    r.press("push button", "Add New")
    h.window("Alarm Details", (305, 321), what='the list did not take input again after "Confirm"')


@pytest.mark.parametrize("name,steps,kept", [
    ("TypeReturn", "Tab alt+Down Down Down Return", "weekly\t11:00\tMonday\tTypeReturn"),
    ("TypeEscape", "Tab alt+Down Down Escape", None),
    # The Day list: Hour, Minute, Disabled and Day follow the Type list.
    ("DayReturn", "Tab alt+Down Down Down Return Tab Tab Tab Tab alt+Down Down Return",
     "weekly\t11:00\tTuesday\tDayReturn"),
    ("DayEscape", "Tab alt+Down Down Down Return Tab Tab Tab Tab alt+Down Down Escape",
     "weekly\t11:00\tMonday\tDayEscape"),
    # The calendar's month menu and year box turn its page; a day of it is then taken.
    ("MonthReturn", "month Down Return day:1", "once\t11:00\t2024-01-01\tMonthReturn"),
    ("MonthEscape", "month Down Escape", None),
    ("YearReturn", "year Up Return day:3", "once\t11:00\t2025-03-03\tYearReturn"),
    ("YearEscape", "year Escape", "once\t11:00\t2024-03-07\tYearEscape"),
])
def test_enter_and_escape_in_an_open_drop_down_close_only_it(desk, name, steps, kept):
    """In an open drop-down Enter and Escape choose or close it alone; with
    every drop-down closed Enter confirms the alarm and Escape cancels it."""
    r = desk.start(wm=True, tray=False)
    open_list(desk, desk.clock(at=h.epoch("2024-03-07 10:15:00")))
    r.press("push button", "Add New")
    h.window("Alarm Details", (305, 321), what='"Add New" showed no editor')
    r.focus("text", "Name")
    h.type_text(name)
    for step in steps.split():
        if step in ("month", "year"):
            shown = len(r.popups)
            # The month and year are picked with the mouse, as the calendar offers them.
            r.click(r.find("push button", "March" if step == "month" else "2024"))
            if step == "month":
                h.wait_for(lambda: r.pump() or len(r.popups) > shown, "the month button showed no menu")
            else:
                r.find("spin button", None, what="the year button showed no year box")
        elif step.startswith("day:"):
            r.click(r.find("table cell", step[4:]))
        else:
            h.key(step)
    assert h.windows("Alarm Details"), f"{name}: the editor closed on the keys {steps}"
    h.key("Return" if kept else "Escape")
    h.gone("Alarm Details", what=f"{name}: with every drop-down closed the editor did not close")
    listed = desk.cli("--list")
    last = (listed[1].splitlines() or [""])[-1].split("\t")
    if kept:
        assert "\t".join(last[1:4] + last[5:6]) == kept, f"{name}: --list ends with {last}, {listed[2]}"
    else:
        assert name not in last, f"{name}: Escape kept the alarm: {last}"
