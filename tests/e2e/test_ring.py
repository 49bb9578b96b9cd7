"""A ringing alarm amid the desktop: typing elsewhere, snoozes, the sound output, bubbles, sleep, music."""

import re, signal, time  # noqa: E401
import pytest
import harness as h

NOTE = "Alarm Notification"


def ring(desk, when, *alarms, lead=4):  # the program started lead s before a minute of 7 March 2024, on those alarms
    alarms and h.write_alarms(desk.prog / "Alarms.dat", *alarms)
    clock = desk.clock(at=h.epoch(f"2024-03-07 {when}:00") - lead)
    return clock, desk.reader.find("alert", lambda n: NOTE in n, None, f"nothing rang at {when}", lead + h.LIMIT)


def quiet(desk):  # nothing printed but trace lines, in all the program's starts
    said = [t for log in desk.work.glob("clock*.log") for t in h._read(log).splitlines() if "tockwise-trace" not in t]
    assert said == [], f"the program printed {said}"


def close(desk, alert):
    """The notification's "X", as a screen reader's user presses it."""
    desk.reader.press("push button", "Close", within=alert, what='the notification has no "X"')
    h.gone(NOTE, what='its "X" left the notification open')


def test_typing_elsewhere_goes_on_while_an_alarm_opens(desk):
    """Typed as it rings, all reaches the terminal; the notification, above it, asks heed, has a tip; Escape ends it."""
    desk.start(wm=True, tray=False)
    h.write_alarms(desk.prog / "Alarms.dat", "Standup|daily|08:00|0|2024-03-07")
    due, typed = h.epoch("2024-03-07 08:00:00"), desk.work / "typed.txt"
    (clock := desk.clock(at=due - 10)).window()  # before the terminal: a window mapped later would take the focus
    xterm = desk.spawn("xterm", "-geometry", "60x10+40+40", "-e", "sh", "-c", f"cat > '{typed}'")
    term = h.wait_for(lambda: h.quiet("xdotool", "search", "--onlyvisible", "--pid", xterm.pid).split(), "no xterm")[0]
    h.run("xdotool", "windowactivate", "--sync", term)
    assert clock.now() < due - 2, "the clock and the terminal took too long to start"
    lines, opened = 0, None
    while opened is None or time.monotonic() < opened + 3:  # on until 3 s after the notification opened
        h.type_text(f"line {(lines := lines + 1)}\n")
        opened = opened or (time.monotonic() if h.windows(NOTE) else None)
        assert opened or clock.now() < due + h.LIMIT, "no notification opened while typing"
    h.wait_for(lambda: h._read(typed).splitlines() == [f"line {n + 1}" for n in range(lines)], "the xterm lost lines")
    stack = [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", h.run("xprop", "-root", "_NET_CLIENT_LIST_STACKING"))]
    assert stack.index(int(note := h.windows(NOTE)[0])) > stack.index(int(term)), "the notification is below the xterm"
    h.wait_for(lambda: "ATTENTION" in h.quiet("xprop", "-id", note, "_NET_WM_STATE"), "the notification asks no heed")
    h.run("xdotool", "mousemove", "--window", note, 200, 70, "sleep", 0.2, "mousemove", "--window", note, 204, 72)
    h.wait_for(lambda: h.tips(clock.pid), "resting on the unclicked notification showed no tooltip")
    assert h.active() == term, "the notification or its tooltip took the focus"
    h.key("Escape", wid=note)  # switched to, as the task bar or Alt+Tab does
    h.gone(NOTE, what="Escape did not close the notification once switched to")
    assert clock.alive() and clock.stop() == 0 and not clock.traces("missed"), "it ended, or wrote a missed line"


def test_a_snooze_outlives_the_program(desk):
    """A snooze from its menu is kept on disk, rings after a restart, is snoozed by S, is missed if it ends unseen."""
    r = desk.start(wm=True)
    snoozes, missed = desk.data / "snoozes", ["Tea - 08:15,  7 March"]
    first, _ = ring(desk, "08:00", "Tea|daily|08:00")
    h.click(h.window(NOTE), 250, 60, button=3)
    r.choose("Snooze 5 Minutes", 'a right click on the notification showed no "Snooze 5 Minutes"')
    h.gone(NOTE, what='"Snooze 5 Minutes" left the notification open')
    h.wait_for(lambda: re.fullmatch(r"[^\n]*\tTea\n?", h._read(snoozes)), "no snooze of Tea alone was kept on disk")
    first.stop()
    again, _ = ring(desk, "08:05", lead=3)
    rings = [f"{h.minute_of('2024-03-07 ' + m)} Tea" for m in ("08:00", "08:05")]
    assert first.traces("ring") + again.wait_for("ring") == rings, "Tea did not ring at 08:00, then at 08:05"
    h.click(note := h.window(NOTE), 150, 60)
    h.wait_for(lambda: h.active() == note, "the clicked notification is not active")
    h.key("s")
    h.gone(NOTE, what="S left the clicked notification open")
    again.stop()
    assert first.traces("missed") + again.traces("missed") == [], "a snooze wrote a missed line"
    assert desk.clock(at=h.epoch("2024-03-07 08:30:00")).wait_for("missed") == missed, "the 08:15 snooze is not missed"
    h.wait_for(lambda: [o.name for o in r.all("list item") if o.name] == missed, "the missed panel does not show it")
    h.wait_for(lambda: not h._read(snoozes).strip(), "the ended snooze is still kept")


@pytest.mark.parametrize("server", ["pulseaudio", "pipewire"])
def test_a_ring_is_heard_at_the_alarm_volume_and_the_output_put_back(desk, server):
    """A muted output is unmuted at 70 % for a ring, heard, then put back: by the X, killed by the next start, by
    SIGTERM on the way out. At volume "off" it stays muted and silent; the user's own 40 % stays; a hung server."""
    user = lambda v, m: h.run("pactl", "set-sink-volume", "nullsink", f"{v}%") or h.run(  # noqa: E731
        "pactl", "set-sink-mute", "nullsink", m)
    sink = lambda: ("yes" in h.quiet("pactl", "get-sink-mute", "nullsink"),  # noqa: E731 (muted, percent)
                    int((re.search(r"(\d+)%", h.quiet("pactl", "get-sink-volume", "nullsink")) or [0, -1])[1]))
    becomes = lambda state, what, kept=None: h.wait_for(  # noqa: E731 (kept: whether what to put back is kept)
        lambda: sink() == state and kept in (None, restore.exists()), f"{what} is not {('unmuted', 'muted')[state[0]]} "
        f"at {state[1]} %" + ("" if kept is None else f" with what to put back {('gone', 'kept')[kept]}"))
    told = lambda v: desk.cli("--alarm-volume", v)[0] == 0 and desk.cli("--alarm-volume")[1] == f"{v}\n"  # noqa: E731
    desk.start(wm=True, tray=False)
    assert desk.start_sound(server), f"no {server} server could be started"
    restore = desk.data / "output-volume"  # what the program keeps to put the output back
    user(5, 1)
    wav = desk.record()
    clock, alert = ring(desk, "08:00", *(f"At {m}|daily|08:{m}" for m in ("00", "05", "10", "15", "20")))
    becomes((False, 70), "the output of a ringing alarm", kept=True)
    assert clock.wait_for("output-raised") and h.wait_for(lambda: h.sounds(wav)[0], "the ring was not heard")
    close(desk, alert)
    becomes((True, 5), "the output after the ring", kept=False)
    clock.stop()
    clock, _ = ring(desk, "08:05")
    becomes((False, 70), "the output of a ringing alarm")
    clock.stop(signal.SIGKILL)
    assert sink() == (False, 70) and restore.exists(), "the output changed, or nothing was kept, at the kill"
    clock = desk.clock(at=h.epoch("2024-03-07 08:07:00"))
    becomes((True, 5), "the output after the next start", kept=False)
    assert told("off"), "--alarm-volume off was not taken by the running clock"
    clock.stop()
    streams = lambda: {int(s.split()[0]) for s in h.quiet("pactl", "list", "short", "sink-inputs").splitlines()}  # noqa
    last, heard = max(streams()), len(h.sounds(wav)[0])  # the first chime then plays out into a new stream
    clock, alert = ring(desk, "08:10")
    chime = h.wait_for(lambda: {s for s in streams() if s > last}, "the ring played nothing into the output")
    h.wait_for(lambda: not chime & streams(), "the first chime did not end")
    assert sink() == (True, 5) and len(h.sounds(wav)[0]) == heard, f"volume off: the output {sink()} was heard"
    assert told(90), "--alarm-volume 90 was not taken by the ringing clock"
    becomes((False, 90), "the output told 90 % while ringing")
    assert clock.traces("output-raised") == ["nullsink 90"], "the output was raised with the alarm volume off"
    user(40, 0)
    close(desk, alert)
    becomes((False, 40), "the output the user set to 40 % mid-ring", kept=False)
    clock.stop()
    clock, _ = ring(desk, "08:15")
    becomes((False, 90), "the output of the next ring, at alarm volume 90")
    clock.stop()
    assert sink() == (False, 40) and not restore.exists(), f"the clock ended by SIGTERM left the output {sink()}"
    (pulse := next(p for p in desk.procs if p.args[0] in ("pulseaudio", "pipewire-pulse"))).send_signal(signal.SIGSTOP)
    clock, _ = ring(desk, "08:20")
    assert (late := clock.traces("notification-shown", ms=True)[0] - clock.traces("ring", ms=True)[0]) < 1000, \
        f"with the sound server hung the notification came {late} ms after the ring"
    assert desk.cli("--dismiss-all", timeout=h.LIMIT)[0] == 0, "--dismiss-all failed with the sound server hung"
    h.gone(NOTE, what="--dismiss-all left the notification open")
    clock.stop()
    pulse.send_signal(signal.SIGCONT)
    assert sink() == (False, 40), f"the output is {sink()} after a ring with the server hung"
    quiet(desk)


def test_a_ringing_alarm_is_also_a_bubble_of_the_desktop(desk):
    """Each alarm rings with a bubble; the server taking one away leaves its window; Dismiss and Snooze in them work;
    a window closed or the program ended withdraws its bubble; a snooze rings anew. On xfce4-notifyd too."""
    r = desk.start(wm=True)
    server = desk.server("fake_notifications.py", "actions", "body", bus="session")
    # Each with the program's name and icon, the window's time line, both actions, critical, silent, lasting.
    made = (r"^\S+ notify (\d+) Tockwise\|0\|example\.varnod\.Tockwise\|{}\|[^|]*08:\d\d[^|]*\|snooze,Snooze 10 "
            r"Minutes,dismiss,Dismiss\|desktop-entry=s:example\.varnod\.Tockwise,suppress-sound=b:True,urgency=y:2\|0$")
    bubbles = lambda name: re.findall(made.format(name), h._read(server.log), re.M)  # noqa: E731
    clock, _ = ring(desk, "08:00", "Tea|daily|08:00", "Walk|daily|08:00", "Read|daily|08:00")
    ids = h.wait_for(lambda: all(len(bubbles(n)) == 1 for n in ("Tea", "Walk", "Read")) and
                     {n: bubbles(n)[0] for n in ("Tea", "Walk", "Read")}, "not one such bubble for each alarm")
    for name, do, n in (("Read", "closed {} 1", 3), ("Tea", "action {} dismiss", 2), ("Walk", "action {} snooze", 1)):
        print(do.format(ids[name]), file=server.stdin, flush=True)  # as the server or the user in it does
        h.wait_for(lambda: len(h.windows(NOTE)) == n, f"after {do.format(name)!r} not {n} windows were left")
        n == 3 or server.seen(rf" close {ids[name]}$", f"{name}'s bubble was not withdrawn")
    assert re.fullmatch(r"[^\n]*\tWalk\n?", h._read(desk.data / "snoozes")) and not re.search(
        rf" close {ids['Read']}$", h._read(server.log), re.M), "Walk was not snoozed alone, or Read's bubble went"
    r.press("push button", "Close", within=r.find("alert", lambda n: n.startswith(f"{NOTE}: Read")))
    h.gone(NOTE, what='its "X" left the notification open')
    server.seen(rf" close {ids['Read']}$", "Read's window closed by its X left its bubble")
    clock.stop()
    clock, _ = ring(desk, "08:10", lead=3)
    again = h.wait_for(lambda: bubbles("Walk")[1:], "the snoozed Walk rang without a new bubble")[0]
    clock.stop()
    server.seen(rf" close {again}$", "the program ended mid-ring left its bubble")
    server.terminate() or server.wait(h.LIMIT)
    desk.spawn(next(h.pathlib.Path("/usr/lib").glob("*/xfce4/notifyd/xfce4-notifyd")), log="notifyd.log")
    h.wait_for(lambda: "Xfce" in h.quiet(
        "gdbus", "call", "--session", "-d", "org.freedesktop.Notifications", "-o", "/org/freedesktop/Notifications",
        "-m", "org.freedesktop.Notifications.GetServerInformation"), "xfce4-notifyd did not start")
    clock, _ = ring(desk, "08:20", "Nap|daily|08:20")
    shows = {"Nap", "08:20,  7 March", "Snooze 10 Minutes", "Dismiss"}  # the alarm, its time line, both buttons
    bubble = h.wait_for(lambda: next((a for a in r.atspi.Registry.getDesktop(0) if a and a.name == "xfce4-notifyd"
                                      and shows <= {o.name for o in r.all(None, None, a)}), None), "no bubble of Nap")
    h.screenshot(f"{desk.name}-xfce4-notifyd")
    r.press("push button", "Dismiss", within=bubble)
    h.gone(NOTE, what="Dismiss in xfce4-notifyd's bubble left the alarm's window open")
    h.gone("xfce4-notifyd", what="the bubble stayed after Dismiss")
    clock.stop()
    quiet(desk)


def test_while_an_alarm_rings_the_computer_stays_awake_and_the_music_pauses(desk):
    """The first chime takes logind's and the portal's (else screen saver's) inhibitors and pauses what plays; the
    X lets go within a second and plays again what the user left paused; so does the program's end."""
    desk.start(wm=True)
    logind = desk.start_system_bus().server("fake_logind.py", bus="system")
    players = desk.server("fake_desktop.py", "portal", "radio=Playing", "video=Playing", "podcast=Paused",
                          bus="session")
    clock, alert = ring(desk, "08:00", "Tea|daily|08:00")
    taken = logind.seen(r'^inhibit (\S+) sleep:idle\|Tockwise\|The alarm "Tea" is ringing\|block$',
                        "logind was not asked to block sleep and idle while Tea rings")[1]
    chimed = clock.traces("notification-shown", ms=True)[0] / 1000 - (clock.now() - time.time())  # on the real clock
    assert -0.1 <= float(taken) - chimed <= 1, f"the inhibitor was taken {float(taken) - chimed:.3f} s from the chime"
    request = players.seen(r" portal-inhibit 12 .* (\S+)$", "the portal's inhibitor (4 | 8) was not taken")[1]
    h.wait_for(lambda: sorted(re.findall(r" pause (\w+)$", h._read(players.log), re.M)) == ["radio", "video"],
               "not just the two playing players were paused")
    print("video Stopped", file=players.stdin, flush=True)
    players.seen(" user video Stopped", "the stand-in did not hear the user")
    closed = time.time()
    close(desk, alert)
    released = float(logind.seen(r"^released (\S+)", "logind's descriptor was not closed")[1])
    assert released - closed <= 1, f"the inhibitor was let go {released - closed:.3f} s after the X"
    players.seen(rf" portal-close {re.escape(request)}$", "the portal's request was not closed")
    players.seen(" play radio$", "radio did not play again")
    clock.stop()  # its end: all it was to do is done
    assert not re.search(r" play video$| (play|pause) podcast$", h._read(players.log), re.M), \
        "the video the user stopped, or the podcast nobody played, was touched"
    players.terminate() or players.wait(h.LIMIT)
    players = desk.server("fake_desktop.py", "screensaver", "radio=Playing", bus="session")
    clock, _ = ring(desk, "08:05", "Walk|daily|08:05")
    logind.seen(r"^inhibit (?s:.*)^inhibit ", "no second inhibitor was taken from logind")
    for path in ("/org/freedesktop/ScreenSaver", "/org/freedesktop/PowerManagement/Inhibit"):
        players.seen(rf" inhibit {path} \d+ Tockwise The alarm \"Walk\" is ringing$", f"{path} was not held")
    players.seen(" pause radio$", "radio was not paused")
    clock.stop()
    logind.seen(r"^released (?s:.*)^released ", "the ended clock's inhibitor stayed")
    players.seen(" play radio$", "radio did not play again when the clock ended mid-ring")
    quiet(desk)
