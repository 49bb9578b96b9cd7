"""The clock on a real X server: outline, drags, a theme's restart, twice the scale, a window manager."""

import os
import pathlib
import re
import time

import harness as h
from harness import EDITOR, LIST, PANEL, THEME

XSHAPE = os.environ.get("TOCKWISE_XSHAPE", str(h.PROGRAM.parent.parent / "tests" / "xshape_rects"))
RGB, COUNT = "%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]", "%[fx:int(mean*w*h)]"
RED, WHITE = ("-fx", "r > 0.55 && g < 0.3 && b < 0.3"), ("-fx", "r > 0.8 && g > 0.8 && b > 0.8")
numbers = lambda *command: [int(v) for v in re.findall(r"-?\d+", h.quiet(*command).partition("=")[2])]  # noqa: E731
fx = lambda png, rect, out, *ops: numbers(  # noqa: E731  (RGB of a pixel, COUNT of those an fx test lights)
    "convert", png, "-crop", rect, "+repage", "-depth", "8", *ops, "-format", "=" + out, "info:")


def titled(wid, caption):
    shown = re.findall(r'= "(.*)"$', h.quiet("xprop", "-id", wid, "_NET_WM_NAME"), re.M)
    assert shown == [caption], f"the window manager shows {shown} as the title of {caption!r}"
    return wid


def test_the_clock_on_screen_its_drags_and_a_theme_taken_by_a_restart(desk):
    """27 bands, a tray icon; a second copy ends at once; a drag keeps the grabbed point under the pointer, one
    cut short by the menu still lets the alarm ring; Red on Gold saved: a new copy "restart"s at the place."""
    r = desk.start()
    h.write_alarms(desk.prog / "Alarms.dat", "Eight|daily|08:00")
    desk.write_settings(**{"Last Check": h.minute_of("2024-03-07 07:59")})
    clock = desk.clock(at=h.epoch("2024-03-07 07:59:45"))
    rects = h.run(XSHAPE, wid := clock.window()).splitlines()
    assert len(rects) == 27 and {"19 1 162 1", "1 19 198 32"} <= set(rects), f"the clock's outline is {rects}"
    desk.tray_icon()
    began, (status, _, errors) = time.monotonic(), desk.cli()
    assert status == 0 and time.monotonic() - began < 3 and clock.alive() and h.windows("Tockwise", (200, 70)), \
        f"a second copy ended with status {status} after {time.monotonic() - began:.1f} s ({errors}), or the first"
    x, y, _, _ = h.geometry(wid)
    steps = [a for s in range(1, 7) for a in ("mousemove", x + 100 + s * 10, y + 35 + s * 40 // 6, "sleep", 0.05)]
    h.run("xdotool", "mousemove", x + 100, y + 35, "mousedown", 1, *steps, "mouseup", 1)
    h.wait_for(lambda: h.geometry(wid)[:2] == (x + 60, y + 40), "the dragged clock did not stay under the pointer")
    h.run("xdotool", "mousedown", 1, "sleep", 0.2, "mousemove", x + 170, y + 78)
    h.wait_for(lambda: h.geometry(wid)[:2] == (x + 70, y + 43), "the clock did not follow the held left button")
    h.run("xdotool", "click", 3)
    h.wait_for(lambda: r.menus(), "a right click in the drag showed no menu")
    h.run("xdotool", "mouseup", 1, "key", "Escape")
    h.wait_for(lambda: not r.menus(), "Escape left the menu open")
    rang = clock.wait_for("ring", timeout=h.epoch("2024-03-07 08:00:00") - clock.now() + h.LIMIT,
                          what="the 08:00 alarm did not ring after the cut-short drag")
    assert rang == [f"{h.minute_of('2024-03-07 08:00')} Eight"], f"rang {rang}"
    r.press("push button", "Close", r.find("alert", lambda n: "Eight" in n))  # ringing, it outlasts the old copy
    x, y, digits = x + 70, y + 43, f"180x50+{x + 80}+{y + 53}"
    clock.menu("Change Appearance")
    h.window(*THEME, what='"Change Appearance" showed no theme window')
    r.click(r.find("list item", "Red"))
    r.click(r.find("list item", "Gold"))
    r.press("push button", "Save")
    question = r.find("alert", "Tockwise", what='"Save" asked no question')
    assert [desk.setting("Digits"), desk.setting("Face")] == ["1", "1"], "Save did not store Red and Gold"
    r.press("push button", "Yes", question)
    h.wait_for(lambda: not clock.alive(), "the old copy still runs after Yes")
    new = h.wait_for(lambda: h.quiet("pgrep", "-f", f"^{desk.prog}/tockwise( |$)").split(), "no new copy started")[0]
    args = pathlib.Path(f"/proc/{new}/cmdline").read_bytes().split(b"\0")[1:-1]
    assert args == [b"restart"] and os.path.samefile(f"/proc/{new}/exe", desk.prog / "tockwise"), \
        f"the new copy runs {os.readlink(f'/proc/{new}/exe')} {args}, not the program with the one word restart"
    saved = [desk.setting(k) for k in ("Digits", "Face", "X", "Y", "Visible")]
    assert saved == ["1", "1", str(x * 15), str(y * 15), "True"], f"Digits, Face, X, Y, Visible saved as {saved}"
    assert h.geometry(h.window("Tockwise", (200, 70), new))[:2] == (x, y), "the new clock came up elsewhere"
    desk.tray_icon()
    shot = h.wait_for(lambda: fx(s := h.screenshot(f"{desk.name}-restarted"), digits, COUNT, *RED)[0] > 200 and s,
                      "the new clock's digits did not light up red")
    # Gold's frame: at (100, 4) warm, not grey (Silver) nor blue; at (100, 6) deep yellow, not greyish (Brass).
    (fr, fg, fb), (mr, mg, mb) = fx(shot, f"1x1+{x + 100}+{y + 4}", RGB), fx(shot, f"1x1+{x + 100}+{y + 6}", RGB)
    assert fr > 120 and fr >= fg - 10 and fb * 10 < fg * 9 and mr > 80 and mr >= mg - 10 and mb * 2 < mg, \
        f"the frame at (100, 4) and (100, 6) is RGB{fr, fg, fb} and RGB{mr, mg, mb}, not gold"
    assert fx(shot, digits, COUNT, *WHITE)[0] < 20, "some of the new clock's digits are lit white"


def test_twice_the_scale_sharp_and_whole_on_a_small_screen(desk):
    """At scale 2 the clock is the @2x artwork pixel for pixel; a place stored for a larger screen brings it up
    whole, the missed panel above it; the about window, larger than the screen, opens whole and smaller."""
    face = pathlib.Path(h.PROGRAM).resolve().parents[1] / "resources" / "generated" / "bitmaps" / "1001@2x.png"
    r = desk.start(wm=True, tray=False)
    h.write_alarms(desk.prog / "Alarms.dat", "Standup|daily|07:30")
    desk.write_settings(**{"Last Check": h.minute_of("2024-03-07 07:00"), "X": 16200, "Y": 6000})
    clock = desk.clock(at=h.epoch("2024-03-07 08:00:00"), env={"QT_SCALE_FACTOR": "2"})
    wid = h.window("Tockwise", (400, 140), clock.pid, what="the clock is not 400 x 140 pixels at scale 2")
    panel = h.window("Missed Alarms", (800, 270), what="no 800 x 270 missed panel at scale 2")
    t = lambda kind: clock.traces(kind, ms=True)  # noqa: E731
    h.wait_for(lambda: t("minute-shown") and max(t("idle-ticks") or [0]) >= max(  # faded in
        t("minute-shown") + t("quick-ticks")), "the clock's digits never stopped fading in: no idle ticks came")
    (x, y, _, _), (px, py, _, _), shot = h.geometry(wid), h.geometry(panel), h.screenshot(f"{desk.name}-start")
    # Points well inside the outline and outside every digit's cell.
    for a, b in ((200, 6), (200, 132), (8, 70), (390, 70), (30, 12), (370, 128), (100, 10), (300, 130)):
        shown, drawn = fx(shot, f"1x1+{x + a}+{y + b}", RGB), fx(face, f"1x1+{a}+{b}", RGB)
        assert shown == drawn, f"the bezel at {a},{b} is {shown} on screen, {drawn} in {face}"
    assert fx(shot, f"1x1+{x + 198}+{y + 48}", RGB) == [255] * 3, "the colon's upper dot is not fully white"
    assert "2 38 396 64" in h.run(XSHAPE, wid).splitlines(), "the outline's middle band is not doubled"

    def whole(w):  # frame included
        (x, y, wd, ht), (left, right, top, low) = h.geometry(w), numbers("xprop", "-id", w, "_NET_FRAME_EXTENTS")
        return x >= left and y >= top and x + wd + right <= 1280 and y + ht + low <= 1024
    assert (x, y) == (880, 800), f"the clock is at {x},{y}, not moved just in enough (880, 800)"
    assert whole(panel) and (px, py + 270 - 2) == (480, y), f"the missed panel at {px},{py} does not hang " \
        "above the clock, moved in just enough to show whole (480)"
    h.click(wid, 200, 70, button=3)
    r.choose("Open Alarms", "a right click on the clock showed no menu with 'Open Alarms'")
    assert whole(h.window("Tockwise", (786, 690), what='"Open Alarms" showed no alarm list at scale 2'))
    r.press("link", "About Varnod")  # a click would miss: the reader's places are in logical pixels
    about = h.window("About Varnod", what='"About Varnod" opened no window')
    assert whole(about), f"the about window {h.geometry(about)}, its title bar or close box is off the screen"
    h.key("alt+F4", wid=about)  # the window manager asks it to close, as its close box does
    h.gone("About Varnod", what="the about window did not close")


def test_windows_behave_and_are_titled_under_a_window_manager(desk):
    """Titles are the captions; the clock comes up above the tray; notifications are 30 px apart; the missed panel
    scrolls, tells a cut-off line, comes back after Alt+F4; rows open, Delete asks; the editor stays on top."""
    r = desk.start(wm=True, tray=False)
    desk.start_tray("--SetPartialStrut", "true", "--SetDockType", "true")
    bottom = h.wait_for(lambda: (b := sum(numbers("xprop", "-root", "_NET_WORKAREA")[1:4:2])) < 1024 and b,
                        "setup: the tray kept no room at the bottom")
    h.write_alarms(dat := desk.prog / "Alarms.dat", "Take the blue folder with the signed papers to the office on "
                   "the third floor|daily|07:00",
                   *[f"Line {m}|daily|07:0{m}" for m in range(1, 9)], "Dentist|daily|07:10", "Gym|daily|07:10")
    desk.write_settings(**{"Last Check": h.minute_of("2024-03-07 06:50"), "X": 500 * 15, "Y": 1000 * 15})
    clock = desk.clock(at=h.epoch("2024-03-07 07:09:56"))
    wid = titled(clock.window(), "Tockwise")
    assert h.geometry(wid)[1] + 70 <= bottom, f"the clock stored at y 1000 came up under the tray: {h.geometry(wid)}"
    home = h.geometry(panel := titled(h.window(*PANEL, what="the missed panel did not show"), PANEL[0]))
    both = h.wait_for(lambda: len(n := h.windows("Alarm Notification")) == 2 and n, "no two notifications at 07:10")
    (ax, ay, _, _), (bx, by, _, _) = (h.geometry(titled(n, "Alarm Notification")) for n in both)
    assert abs(bx - ax) == 30 and bx - ax == by - ay, f"the notifications at {ax},{ay} and {bx},{by} are not 30 apart"
    for i, closer in ((1, "Escape"), (0, "Return")):  # keys reach a notification once it was clicked
        h.click(both[i], 150, 15 if (by, ay)[i] > (ay, by)[i] else 85)  # off where the other may lie over it
        h.wait_for(lambda: h.active() == both[i], "a click did not make the notification active")
        h.key(closer)
        h.wait_for(lambda: h.windows("Alarm Notification") == both[:i], f"{closer} did not close just the clicked one")
    first = (lines := lambda: [o.name for o in r.all("list item", None, r.find("list", "Missed Alarms"))])()
    for button, turned in ((5, "down"), (4, "back up")):
        h.click(panel, 150, 60, button=button)
        h.wait_for(lambda: (lines() == first) == (button == 4), f"the wheel turned {turned} did not scroll the panel")
    h.run("xdotool", "mousemove", home[0] + 100, home[1] + 30, "sleep", 0.2, "mousemove", home[0] + 104, home[1] + 32)
    h.wait_for(lambda: [t for t in h.tips(clock.pid) if t[1] > 353], "the cut-off line showed no tooltip wider than it")
    h.key("alt+F4", wid=panel)
    h.gone("Missed Alarms", what="Alt+F4 on the missed panel did not close it")

    def marked():  # whether the clock's menu marks "Show Missed Alarms", which is then chosen
        h.click(wid, 170, 35, button=3)
        on = r.has(r.find("menu item", "Show Missed Alarms", h.wait_for(lambda: r.menus(), "no menu")[0]), "checked")
        r.choose("Show Missed Alarms")
        return on
    assert not marked(), '"Show Missed Alarms" stayed checked after Alt+F4'
    h.wait_for(lambda: [h.geometry(p) for p in h.windows(*PANEL)] == [home], "the panel did not come back by the clock")
    assert marked(), '"Show Missed Alarms" is not checked with the panel back'
    h.gone("Missed Alarms", what='"Show Missed Alarms" did not hide the panel')
    clock.menu("Open Alarms", x=170)
    place = h.geometry(lw := titled(h.window(*LIST, what='"Open Alarms" showed no alarm list'), "Tockwise"))
    h.run("xdotool", "windowminimize", "--sync", lw)
    clock.menu("Open Alarms", x=170)
    h.wait_for(lambda: h.geometry(lw) == place, '"Open Alarms" did not bring the minimised alarm list back')
    names = h.alarm_names(dat)
    row = lambda start: r.find("list item", lambda n: n.startswith(start), r.find("list", "List of alarms"))  # noqa
    h.key("Home", "Return", wid=lw)
    h.key("Escape", wid=titled(h.window(*EDITOR, what="Enter on a row opened no editor"), "Alarm Details"))
    h.gone(EDITOR[0], what="Escape did not close the editor")
    r.click(row("Line 2"), repeat=2)
    editor, name = h.window(*EDITOR, what="a double click on a row opened no editor"), r.focus("text", "Name")
    h.click(lw, 30, 30)
    h.type_text("Q")  # taken by the editor, it shows that the click was over
    stack = lambda: re.findall(r"0x[0-9a-f]+", h.quiet("xprop", "-root", "_NET_CLIENT_LIST_STACKING"))  # noqa
    h.wait_for(lambda: "Q" in r.text(name) and (s := stack()).index(hex(int(editor))) > s.index(hex(int(lw))),
               "a click on the disabled list raised it over the editor or took the editor's keys")
    h.key("Escape")
    h.gone(EDITOR[0], what="Escape did not close the editor opened by a double click")
    r.new_alarm("Keyed")
    h.key("Return")
    h.gone(EDITOR[0], what="Enter did not confirm the editor")
    h.wait_for(lambda: h.alarm_names(dat) == names + ["Keyed"], "Escape changed Alarms.dat, or Enter stored nothing")
    r.click(row("Keyed"))
    for answer in (lambda _: h.key("Escape"), lambda box: r.press("push button", "Yes", box)):  # the row stays chosen
        h.key("Delete")
        answer(box := r.find("alert", "Tockwise", what="Delete on a row asked nothing"))
        h.wait_for(lambda: r.pump() or not r.has(box, "showing"), "the removal question stayed open")
    h.wait_for(lambda: h.alarm_names(dat) == names, f"No, then Yes, to Delete's question left {h.alarm_names(dat)}")
    for opening, win in ((lambda: r.press("link", "About Crewline Kit"), ("Crewline Kit",)),
                         (lambda: r.press("link", "About Varnod"), ("About Varnod",)), (lambda: None, LIST),
                         (lambda: clock.menu("Change Appearance", x=170), THEME)):
        opening()
        h.key("Escape", wid=titled(h.window(*win, what=f"no {win[0]!r} window opened"), win[0]))
        h.gone(*win, what=f"Escape did not close {win[0]!r}")
    h.key("Menu", wid=wid)
    (cx, cy, _, _), (mx, my, _, mh) = h.geometry(wid), r.extents(h.wait_for(lambda: r.menus(), "no Menu key menu")[0])
    assert cx <= mx < cx + 200 and cy - mh < my < cy + 70, f"the Menu key opened the menu at {mx},{my}, off the clock"
    r.choose("Exit")
    h.wait_for(lambda: not clock.alive(), '"Exit" chosen in the menu of the Menu key did not end the program')
    assert [desk.setting("X"), desk.setting("Y")] == [str(cx * 15), str(cy * 15)], "Exit did not keep the place"
