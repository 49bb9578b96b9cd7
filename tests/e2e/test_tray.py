"""The tray icon and its menu, on an XEmbed and on a StatusNotifierItem tray; its tip; no tray at all."""

import re

import pytest

import harness as h
from harness import CLOCK, EDITOR, LIST, PANEL, THEME

ITEM, AT = ("/StatusNotifierItem", "org.kde.StatusNotifierItem"), "2024-03-07 "


def shown(win): return bool(h.windows(*win))
def place(clock): return h.geometry(clock.window())[:2]
def stack(): return [int(w, 16) for w in re.findall(r"0x\w+", h.quiet("xprop", "-root", "_NET_CLIENT_LIST_STACKING"))]
def above(a, b): return int(a) in (s := stack()) and int(b) in s and s.index(int(a)) > s.index(int(b))
def lift(a, b): return h.wait_for(lambda: above(a, b) or h.quiet("xdotool", "windowactivate", a) and 0,
                                  f"setup: window {a} could not be raised over window {b}", every=0.5)
# The clock at when, checked up to that minute: no first start's message covers the tray.
def start(desk, when=AT + "10:15:00", **kw): return desk.write_settings(**{"Last Check": h.minute_of(when[:16])}) \
    or desk.clock(at=h.epoch(when), **kw)
# Clicked again until the check holds: a busy machine may deliver the two clicks as two single ones, which do nothing.
def double_click(desk, check, what): return h.wait_for(lambda: check() or h.click(desk.tray_icon(), 11, 11, 1, 2),
                                                       what, every=1.5)
def hide(clock): return (menu(clock, "Hide"), h.wait_for(lambda: not shown(CLOCK) and not shown(PANEL),
                                                         '"Hide" left the clock or the missed panel on screen'))[0]


def menu(clock, item=None, at="clock"):
    """A right click on the clock (right of a cover on its left), the tray icon or an opener; the item clicked (keys
    lose the icon's next click), or Escape. Whether "Show Missed Alarms" was marked; menu.at, .items, .open."""
    r, seen = clock.desk.reader, len(clock.desk.reader.popups)
    r.app()
    where = (clock.window(), 170, 35) if at == "clock" else (clock.desk.tray_icon(), 11, 11) if at == "tray" else 0
    at() if callable(at) else h.click(*where, 3)
    m = h.wait_for(lambda: r.pump() or next((m for m in r.popups[seen:] if r.has(m, "showing")), None),
                   f"a right click on the {at if isinstance(at, str) else 'window'} opened no menu")
    marked, menu.at = any(r.has(o, "checked") for o in r.all("menu item", "Show Missed Alarms", m)), r.extents(m)
    menu.items, menu.open = [m.getChildAtIndex(i).name or "-" for i in range(m.childCount)], r.menus()
    r.click(r.find("menu item", item, m, f"the menu offers no {item!r}")) if item else h.key("Escape")
    h.wait_for(lambda: not clock.alive() or not r.menus(), f"the menu stayed open after {item or 'Escape'!r}")
    return marked


def cover(desk, wid):
    x, y, _, _ = h.geometry(wid)
    desk.spawn("xlogo", "-name", "tockwise-cover", "-geometry", f"150x110+{x - 30}+{y - 30}")  # over its left part
    c = h.wait_for(lambda: h.quiet("xdotool", "search", "--onlyvisible", "--classname", "^tockwise-cover$").split(),
                   "the covering window did not appear")[0]
    return lift(c, wid) and c


def test_the_tray_icon_shows_and_raises_the_clock(desk):
    """The tray menu opens on the right button's release; other clicks do nothing; a double click shows the hidden clock
    at its place over a cover, or raises it; "Show" brings the clock alone; "Cancel", a click beside change nothing."""
    r, clock = desk.start(wm=True), start(desk, poll=True)
    here, c, (ix, iy, _, _) = place(clock), cover(desk, clock.window()), h.geometry(desk.tray_icon())
    h.run("xdotool", "mousemove", ix + 11, iy + 11, "mousedown", 3)
    clock.wait_for("minute-shown")
    clock.set(h.epoch(AT + "10:15:59") + 0.5)  # the next minute, shown after the press was taken, proves what it did
    clock.wait_for("minute-shown", 2, what="the clock did not show the next minute")
    assert r.app() and not r.menus(), "the tray menu opened while the right button was still held down"
    menu(clock, "Cancel", lambda: h.run("xdotool", "mouseup", 3))
    menu(clock, "Show Missed Alarms")  # the panel shown first, so that bringing it back by mistake would show
    assert hide(clock), '"Show Missed Alarms" is not marked while the missed panel shows'
    seen = len(r.popups)
    h.run("xdotool", "mousemove", ix + 11, iy + 11, "click", 1, "click", 2, "sleep", 1, "click", 1, "sleep", 1,
          "click", 1, "mousemove", ix + 3, iy + 3, "mousemove", ix + 18, iy + 18)  # left clicks apart, no double
    menu(clock, "Cancel", "tray")  # its menu, opened after the clicks were taken, proves that they did nothing
    assert not shown(CLOCK) and not shown(PANEL), "single, middle or slow clicks on the tray icon showed a window"
    assert len(r.popups) == seen + 1, "a left or middle click on the tray icon opened a menu"
    double_click(desk, lambda: shown(CLOCK) and above(clock.window(), c), "a double click showed no clock on top")
    assert place(clock) == here and not r.menus(), "the double click brought the clock elsewhere or opened a menu"
    lift(c, clock.window())
    double_click(desk, lambda: above(clock.window(), c), "a double click did not raise the showing clock")
    assert not menu(clock, "Show Missed Alarms"), "a double click on the tray icon showed the missed panel"
    lift(c, clock.window())
    assert hide(clock), '"Show Missed Alarms" did not show the missed panel again'
    menu(clock, "Show", "tray")
    h.wait_for(lambda: shown(CLOCK) and above(clock.window(), c), '"Show" left the clock hidden or under the cover')
    menu(clock, "Cancel", "tray")
    assert place(clock) == here, '"Show" or "Cancel" in the tray menu moved the clock'
    assert not hide(clock), '"Show" or "Cancel" in the tray menu showed the missed panel'
    menu(clock, "Cancel", "tray")
    menu(clock, "Cancel", "tray")  # opened after the first "Cancel" was taken
    h.click(desk.tray_icon(), 11, 11, 3)
    h.wait_for(lambda: r.menus(), "a right click on the tray icon opened no menu")
    h.run("xdotool", "mousemove", 200, 200, "click", 1)
    h.wait_for(lambda: not r.menus(), "a click beside the tray menu left it open")
    assert not shown(CLOCK) and clock.alive() and desk.tray_icon(), '"Cancel" or a click beside the menu did more'
    double_click(desk, lambda: shown(CLOCK), "after the menu closed by a click beside it a double click showed nothing")


@pytest.mark.parametrize("via", ["clock", "tray"])
def test_exit_ends_the_program_whatever_is_open(desk, via):
    """"Exit" from either menu with the list, an about window, an editor holding input and the theme window open while
    an alarm rings: all else goes, the input is dropped, the settings are written; the program ends with the ringing."""
    r = desk.start(wm=True)
    h.write_alarms(desk.prog / "Alarms.dat", "Standup|daily|08:00", "Review|daily|08:10")
    # The clock at 100,100, clear of the windows mid-screen; Standup missed, Review ringing 3 s after the start.
    desk.write_settings(**{"Last Check": h.minute_of(AT + "07:50"), "X": 1500, "Y": 1500, "Visible": "True"})
    clock = desk.clock(at=h.epoch(AT + "08:09:57"))
    h.window(*PANEL, what="the missed panel did not show at start-up")
    note = h.window("Alarm Notification", timeout=h.LIMIT + 3, what="the 08:10 alarm did not ring")
    menu(clock, "Open Alarms")  # once it rings: a menu open at that moment may close
    r.press("link", "About Varnod")
    h.window("About Varnod", what='"About Varnod" opened no window')
    r.new_alarm("Unconfirmed")
    menu(clock, "Change Appearance")
    h.window(*THEME, what='"Change Appearance" showed no theme window')
    before, icon = (desk.prog / "Alarms.dat").read_bytes(), desk.tray_icon()
    desk.settings.unlink()
    menu(clock, "Exit", via)
    for title, size in (CLOCK, PANEL, LIST, (EDITOR[0], None), (THEME[0], None), ("About Varnod", None)):
        h.gone(title, size, what=f'"Exit" from the {via} menu left the {title!r} window open')
    h.wait_for(lambda: not h.geometry(icon) and desk.settings.exists(), '"Exit" left the icon, or wrote no settings')
    assert [desk.setting(k) for k in ("X", "Y", "Visible")] == ["1500", "1500", "True"], '"Exit" lost the place'
    assert (desk.prog / "Alarms.dat").read_bytes() == before, '"Exit" saved the unconfirmed alarm'
    r.find("alert", lambda n: n.startswith("Alarm Notification: Review"), what='"Exit" closed the notification')
    assert clock.alive(), "the program ended while its notification still rang"
    h.key("alt+F4", wid=note)
    assert clock.ends() == 0, "the program did not end cleanly once its notification was closed"


def test_the_tray_tip_names_the_next_alarm(desk):
    """Resting on the icon shows "Tockwise" and "Next: Tea 10:58 (in 1 min)"; while Tea rings it names Dentist;
    snoozed, it names the snooze at once, before the next minute would."""
    r = desk.start(wm=True)
    h.write_alarms(desk.prog / "Alarms.dat", "Dentist|daily|19:00", "Tea|weekdays|10:58")
    clock = start(desk, AT + "10:57:50")
    tip = lambda text: h.wait_for(lambda: clock.traces("tray-tip")[-1:] == [text],  # noqa: E731
                                  f"the tip does not read {text!r}: {clock.traces('tray-tip')}")
    tip("Next: Tea 10:58 (in 1 min)")
    note = r.find("alert", lambda n: n.startswith("Alarm Notification: Tea"), what="Tea did not ring", timeout=20)
    tip("Next: Dentist 19:00 (in 8 h 2 min)")
    menu(clock, "Snooze 10 Minutes", lambda: r.click(note, 3))
    tip("Next: Tea, snoozed, 11:08 (in 10 min)")
    assert clock.traces("tray-tip", ms=True)[-1] < h.epoch(AT + "10:59:00") * 1000, "the snooze was named late"
    x, y, _, _ = h.geometry(desk.tray_icon())
    h.run("xdotool", "mousemove", x + 6, y + 6, "sleep", 0.2, "mousemove", x + 10, y + 10)
    tall = lambda w: (g := h.geometry(w)) and 24 <= g[3] < 60 and "TIP" in h.quiet("xprop", "-id", w)  # noqa: E731
    h.wait_for(lambda: any(map(tall, h.quiet("xdotool", "search", "--all", "--onlyvisible", "--pid", clock.pid)
                               .split())), "resting on the tray icon showed no tip of two lines")


def test_without_a_tray_a_second_start_shows_the_hidden_clock(desk):
    """With no tray a hidden clock could not come back: a second start, which ends at once, shows it."""
    desk.start(tray=False)
    hide(clock := start(desk))
    status, _, err = desk.cli()
    assert status == 0 and clock.alive(), f"the second start failed ({status}: {err}) or the first one ended"
    h.window(*CLOCK, pid=clock.pid, what="a second start did not bring the hidden clock back")


def test_a_status_notifier_tray_shows_raises_and_offers_the_menu(desk):
    """On the Xfce panel the item is "Tockwise", its tip names the next alarm, a left click shows the hidden clock over
    a cover or raises it, the panel's menu (Show, Exit, Cancel) works alone; a context request opens the program's."""
    r = desk.start(wm=True, tray=False)
    desk.start_panel()
    h.write_alarms(desk.prog / "Alarms.dat", "Tea|daily|11:08")
    clock = start(desk)
    item = desk.item_service()
    h.wait_for(lambda: '"Tockwise"' in h.bus_property(item, *ITEM, "Title") and '"Tockwise\nNext: Tea 11:08 (in '
               '53 min)"' in h.bus_property(item, *ITEM, "ToolTip"), "the tray item is not titled Tockwise, or its "
               "tip does not name the next alarm on its second line")
    here, c = place(clock), cover(desk, clock.window())
    plugin = h.wait_for(lambda: h.quiet("xdotool", "search", "--onlyvisible", "--name", "^wrapper-2.0$").split(),
                        "the panel's tray plugin window was not found")[0]
    hide(clock)
    h.click(plugin, 12, 14, 1)  # on the icon, in the middle of the panel's 28 pixels
    h.wait_for(lambda: shown(CLOCK) and above(clock.window(), c), "a left click on the icon did not show the clock")
    assert place(clock) == here, "the clock came back at another place"
    lift(c, clock.window())
    h.click(plugin, 12, 14, 1)
    h.wait_for(lambda: above(clock.window(), c), "a left click on the icon did not raise the showing clock")
    assert not hide(clock), "a left click on the tray icon also showed the missed panel"
    r.atspi.Registry.registerEventListener(lambda e: e.detail1 and e.source.getRoleName() == "menu item" and r.popups
                                           .append(e.source.parent), "object:state-changed:showing")  # panel's menus
    for entry in ("Show", "Cancel", "Exit"):
        menu(clock, entry, lambda: h.click(plugin, 12, 14, 3))
        assert menu.items == ["Show", "Exit", "-", "Cancel"], f"the panel's menu lists {menu.items}"
        assert "popup menu" not in [m.getRoleName() for m in menu.open], "the program's own menu opened as well"
        if entry == "Cancel":  # a host that asks for the menu gets the program's own
            menu(clock, "Cancel", lambda: h.run("dbus-send", "--session", "--print-reply", f"--dest={item}", ITEM[0],
                                                f"{ITEM[1]}.ContextMenu", "int32:10", "int32:1000"))
        assert entry == "Exit" or shown(CLOCK), f'"{entry}" in the panel\'s or the program\'s menu left no clock'
    assert clock.ends() == 0, '"Exit" in the panel\'s menu did not end the program cleanly'
    h.wait_for(lambda: item not in h.bus_property(h.WATCHER, "/StatusNotifierWatcher", h.WATCHER,
                                                  "RegisteredStatusNotifierItems"), "the ended program's item stayed")
