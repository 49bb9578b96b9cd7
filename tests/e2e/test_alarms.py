"""Alarms made and changed through the real windows, found as a screen reader finds them."""

import ctypes
import ctypes.util

import pytest

import harness as h
from harness import EDITOR

LIST = "List of alarms"


def open_list(desk, clock, editor=False):  # and, if asked, an editor of a new alarm with the focus in its name
    clock.window()
    clock.menu("Open Alarms")
    found = h.window(*h.LIST, what='"Open Alarms" showed no alarm list')
    if editor: desk.reader.new_alarm()  # noqa: E701
    return found


def test_a_daily_alarm_added_through_the_windows(desk):
    """Main menu, "Open Alarms", "Add New", the editor, "Confirm": Alarms.dat holds exactly the placeholder and that
    alarm, and the list shows its row."""
    r = desk.start(wm=True)
    open_list(desk, desk.clock(at=h.epoch("2024-03-07 10:15:00")), editor=True)
    assert r.rows(LIST) == [], "a first start's list is not empty"
    # The name first: the other fields appear once it has one. Down in the Type list moves "Once Only" to "Daily";
    # the time boxes select their text on taking the focus, so typing replaces it.
    h.type_text("Morning Run 7")
    h.key("Tab", "Down", "Tab")
    h.type_text("07")
    h.key("Tab")
    h.type_text("45")
    h.key("Tab")
    r.press("push button", "Confirm")
    h.gone(*EDITOR, what='the editor stayed open after "Confirm"')
    h.write_alarms(expected := desk.work / "expected.dat", "Morning Run 7|daily|07:45|0|2024-03-07")
    h.wait_for(lambda: h._read(desk.prog / "Alarms.dat", bytes) == expected.read_bytes(),
               "Alarms.dat does not hold exactly the placeholder and the new Daily alarm")
    h.wait_for(lambda: r.rows(LIST) == ["Morning Run 7 - 07:45 every day"], "the list shows no row for the alarm")
    r.press("push button", "Add New")
    h.window(*EDITOR, what='the list did not take input again after "Confirm"')


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
    """In an open drop-down Enter and Escape choose or close it alone; with every drop-down closed Enter confirms the
    alarm and Escape cancels it."""
    r = desk.start(wm=True, tray=False)
    open_list(desk, desk.clock(at=h.epoch("2024-03-07 10:15:00")), editor=True)
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
    assert h.windows(*EDITOR), f"{name}: the editor closed on the keys {steps}"
    h.key("Return" if kept else "Escape")
    h.gone(*EDITOR, what=f"{name}: with every drop-down closed the editor did not close")
    last = (desk.cli("--list")[1].splitlines() or [""])[-1].split("\t")
    assert ("\t".join(last[1:4] + last[5:6]) == kept) if kept else name not in last, f"{name}: --list ends {last}"


def test_a_newcomers_first_start(desk):
    """One tray message says the clock runs and how to reach its menu; the clock's tooltip says the same; the empty
    list says what to do until there is an alarm. A later start shows no message."""
    r = desk.start(wm=True)
    clock = desk.clock()
    assert desk.setting("Last Check") is None, "setup: a fresh start found a stored last check"
    running = lambda n: n.startswith("The clock is running.")  # noqa: E731
    r.click(r.find("label", running, what="the first start showed no tray message"))
    r.gone("label", running, what="a click left the tray message open")
    x, y, _, _ = h.geometry(clock.window())
    h.run("xdotool", "mousemove", x + 100, y + 35, "sleep", 0.2, "mousemove", x + 104, y + 38)
    # "Right-click for the menu; drag to move." is one line of some 30 characters.
    h.wait_for(lambda: [t for t in h.tips(clock.pid) if t[1] >= 150],
               f"resting on the clock showed no tooltip of a line's width: {h.tips(clock.pid)}")
    h.run("xdotool", "mousemove", 5, 5)
    open_list(desk, clock)
    lx, ly, lw, lh = r.extents(r.find("list", LIST))
    middle = f"{lw - 40}x{lh // 2}+{lx + 20}+{ly + lh // 4}"  # below where a first row lies
    assert h.pixels(h.screenshot(f"{desk.name}-empty"), middle, threshold="80%") >= 40, \
        "the empty alarm list shows no hint in its middle"
    r.new_alarm("Tea")
    r.press("push button", "Confirm")
    h.wait_for(lambda: r.rows(LIST), "the list shows no row for the new alarm")
    assert h.pixels(h.screenshot(f"{desk.name}-one"), middle, threshold="80%") == 0, \
        "the hint stayed in the alarm list once it held an alarm"
    h.key("alt+F4", wid=h.window(*h.LIST))  # the window manager's close
    h.gone(*h.LIST, what="alt+F4 left the alarm list open")
    clock.menu("Exit")
    clock.ends('"Exit" did not end the program')
    assert desk.setting("Last Check"), "setup: the first run stored no last check"
    assert desk.clock().wait_for("tray-message") == ["none"], "a later start showed the tray message again"


def pointer():
    """The pointer's image as the X server has it: (width, height, x hot spot, y hot spot)."""
    class Image(ctypes.Structure):
        _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                    ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort)]
    x11, xfixes = (ctypes.CDLL(ctypes.util.find_library(n)) for n in ("X11", "Xfixes"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(Image)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    i = xfixes.XFixesGetCursorImage(x11.XOpenDisplay(None)).contents
    return i.width, i.height, i.xhot, i.yhot


def test_what_a_screen_reader_hears(desk):
    """The notification is an alert whose "Close" closes it; the list and the editor's boxes carry names and labels; the
    about links are focused and open their sites with Enter, under the program's hand; Down focuses a missed line."""
    r, opened, browser = desk.start(wm=True), desk.work / "opened.txt", desk.work / "browser"
    browser.write_text(f'#!/bin/sh\necho "$1" >>"{opened}"\n')
    browser.chmod(0o755)
    h.write_alarms(desk.prog / "Alarms.dat", "Dentist|daily|08:00")
    desk.write_settings(**{"Last Check": h.minute_of("2024-03-07 07:58")})
    desk.data.mkdir(parents=True)
    (desk.data / "missed-alarms.txt").write_text("Gym - 07:00,  6 March\nPills - 07:30,  6 March\n")
    clock = desk.clock(at=h.epoch("2024-03-07 07:59:57"), env={"BROWSER": str(browser)})
    alert = r.find("alert", "Alarm Notification: Dentist, 08:00,  7 March",
                   what="the 08:00 alarm showed no notification read as an alert named after it")
    r.press("push button", "Close", within=alert, what='the notification\'s "X" is no push button "Close"')
    h.gone("Alarm Notification", what='pressing "Close" left the notification open')
    open_list(desk, clock, editor=True)
    h.type_text("Tea")
    for role, name, label in [("list", LIST, None), ("text", "Name", "Name:"), ("text", "Hour", "Time:"),
                              ("text", "Minute", None), ("combo box", "Once Only", "Type:"),
                              ("combo box", "Monday", "Day:"), ("table", "Date", "Date:")]:
        o = r.find(role, name, what=f"no {role} named {name!r}", showing=False)
        assert label is None or label in r.labelled_by(o), f"the {role} {name!r} is not labelled {label!r}"
    for link in ("About Varnod", "About Crewline Kit"):
        assert r.has(r.find("link", link), "focusable"), f"{link!r} is no focusable link"
    h.key("Escape")
    h.gone(*EDITOR, what="Escape did not close the editor")
    for link, title, size, address in [("About Varnod", "About Varnod", (750, 469), "https://www.varnod.example"),
                                       ("About Crewline Kit", "Crewline Kit", (750, 500),
                                        "https://www.crewlinekit.example")]:
        r.click(r.find("link", link))
        h.window(title, size, what=f"the link did not open {title!r}")
        site = r.find("link", address, what=f"{title!r} shows no link named {address}")
        r.wait_state(site, "focused", what=f"the link of {title!r} is not focused")
        h.key("Return")
        h.wait_for(lambda: address in h._read(opened).split(), f"Enter in {title!r} did not open {address}")
        x, y, w, hh = r.extents(site)
        h.run("xdotool", "mousemove", x + w // 2, y + hh // 2)
        h.wait_for(lambda: pointer() == (32, 32, 5, 1),
                   f"over the link of {title!r} the pointer is not the 32 x 32 hand at 5, 1")
        h.key("Escape")
        h.gone(title, size, what=f"Escape did not close {title!r}")
    h.key("alt+F4", wid=h.window(*h.LIST))
    if not h.windows("Missed Alarms"):  # the lines kept from before show it at the start
        clock.menu("Show Missed Alarms")
    panel = r.find("list", "Missed Alarms", what='"Show Missed Alarms" did not show the panel')
    r.click(panel)
    h.key("Down", "Down")
    line = r.find("list item", "Pills - 07:30,  6 March")
    r.wait_state(line, "focused", what="the line chosen with Down is not the focused list item")
