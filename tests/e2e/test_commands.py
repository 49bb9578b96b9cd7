"""The command line and D-Bus beside the running clock, imports that never hold it up, the installed program."""

import os
import subprocess

import harness as h

APP, RUN, TEA = "example.varnod.Tockwise", "Morning Run - 07:45 every day", "Tea - 16:30 every Friday"
BUS = ["--session", "--dest", APP, "--object-path", "/example/varnod/Tockwise"]
CAL = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n{}END:VCALENDAR\r\n"
EVENT = "BEGIN:VEVENT\r\nUID:{1}\r\nSUMMARY:{0}\r\nDTSTART:20240101T{1}00\r\nRRULE:FREQ=DAILY\r\nEND:VEVENT\r\n"
INSTALLED = (f"share/applications/{APP}.desktop share/metainfo/{APP}.metainfo.xml share/icons/hicolor/48x48/apps/"
             f"{APP}.png share/icons/hicolor/scalable/apps/{APP}.svg bin/tockwise lib/tockwise/tockwise lib/tockwise/"
             "Chime1.wav share/man/man1/tockwise.1.gz share/doc/tockwise/copyright").split()
# The command ("bus": a D-Bus method), status, output (None: any), part of the errors, the open list's rows.
CHANGES = [(("--add", "Morning Run", "--at", "07:45", "--daily"), 0, "1\n", "", [RUN]),
           (("--disable", 1), 0, None, "", [RUN + " (disabled)"]),
           (("bus", "Add", "Tea", "weekly", 16, 30, "Friday"), 0, "(2,)\n", "", [RUN + " (disabled)", TEA]),
           (("bus", "SetEnabled", 1, "true"), 0, None, "", [RUN, TEA]),
           (("bus", "List"), 0, "([(1, 'Morning Run', 'daily', byte 0x07, byte 0x2d, '-', true), "
                                "(2, 'Tea', 'weekly', 0x10, 0x1e, 'Friday', true)],)\n", "", [RUN, TEA]),
           (("bus", "Remove", 7), 1, None, "InvalidArgs", [RUN, TEA]), (("bus", "Remove", 1), 0, None, "", [TEA]),
           (("--remove", 1), 0, None, "", [])]


def run(desk, *args):
    if args[0] != "bus":  # else a D-Bus method, as gdbus calls it
        return desk.cli(*args, timeout=10)
    p = subprocess.run(["gdbus", "call", *BUS, "--method", f"{APP}.Alarms.{args[1]}", *map(str, args[2:])],
                       capture_output=True, text=True, timeout=30)
    return p.returncode, p.stdout, p.stderr


def test_alarms_changed_from_outside_reach_the_open_list(desk):
    """Command line and D-Bus changes reach the open list; a cache-folder clock is found; autostart of an odd copy."""
    r, dat, signals = desk.start(), desk.prog / "Alarms.dat", desk.work / "signals"
    desk.spawn("stdbuf", "-oL", "gdbus", "monitor", *BUS, log=signals.name)
    clock = desk.clock()
    h.wait_for(lambda: "is owned by" in signals.read_text(), "the clock took no name on the session bus")
    clock.menu("Open Alarms")
    for args, status, out, err, rows in CHANGES:
        got = run(desk, *args)
        assert got[0] == status and out in (None, got[1]) and err in got[2], f"{' '.join(map(str, args))}: {got}"
        h.wait_for(lambda: r.rows("List of alarms") == rows and len(h.alarm_names(dat)) == len(rows),
                   f"after {args} the open list, or Alarms.dat, does not hold {rows}")
    h.wait_for(lambda: signals.read_text().count(".AlarmsChanged") >= 6, "AlarmsChanged came less than 6 times")
    clock.stop()
    clock = desk.clock(env={"XDG_RUNTIME_DIR": ""})  # none: the lock and socket go to the private cache folder
    h.wait_for((desk.work / "cache/tockwise/tockwise.socket").is_socket, "no socket in the private cache folder")
    assert run(desk, "--snooze-all")[:2] == (0, "snoozed 0 notifications for 10 minutes\n"), \
        "--snooze-all found no clock"
    clock.stop()
    odd, entry = desk.work / "my clocks/50% $HOME's \"best\" \\ (1)", desk.work / f"config/autostart/{APP}.desktop"
    h.run("mkdir", "-p", odd, entry.parent)
    h.run("cp", desk.prog / "tockwise", odd)
    (desk.work / "profile").write_text("export KEEP=1\n")
    for switch in ("on", "off"):
        entry.unlink(missing_ok=True)
        entry.symlink_to(desk.work / "profile")
        h.run(odd / "tockwise", "--autostart", switch)
        assert (desk.work / "profile").read_text() == "export KEEP=1\n" and not entry.is_symlink() and \
            entry.exists() == (switch == "on"), f"--autostart {switch} wrote through or kept the link"
        if switch == "on":
            assert subprocess.run(["desktop-file-validate", entry]).returncode == 0, "the entry is not valid"
            assert desk.spawn("gio", "launch", entry, log="clock.log").wait(10) == 0, "gio could not launch the entry"
            pid = int(h.run("xdotool", "getwindowpid", h.window("Tockwise", (200, 70), what="it shows no clock")))
            assert os.readlink(f"/proc/{pid}/exe") == str(odd / "tockwise"), "the entry started another copy"
            h.run("kill", pid)


def test_imports_never_hold_the_clock_up(desk):
    """Heavy imports across 08:00 keep the alarm on time and end with reasons, endless input too; a plain one lands."""
    desk.start(tray=False, reader=False)
    for name, summary, at in (("long", "x" * (30 << 20), "0600"), ("huge", "H", "0600"), ("good", "Run", "0645")):
        (desk.work / f"{name}.ics").write_text(CAL.format(EVENT.format(summary, at)))
    os.truncate(desk.work / "huge.ics", 210 << 20)  # past 200 MB, the rest a hole
    h.write_alarms(desk.prog / "Alarms.dat", "Tea|daily|08:00")
    clock = desk.clock(at=(eight := h.epoch("2024-03-07 08:00:00")) - 8)
    h.wait_for(lambda: run(desk, "--list")[0] == 0, "the clock does not answer commands")
    assert clock.now() < eight - 1, "the clock took till 08:00 to answer a command"
    imports = {why: subprocess.Popen([desk.prog / "tockwise", "--import", desk.work / f], stderr=subprocess.PIPE)
               for f, why in (("long.ics", "longer than 1 MiB"), ("huge.ics", "larger than the limit of 64 MiB"))}
    late = clock.wait_for("ring", what="no ring at 08:00") and clock.traces("ring", ms=True)[0] - eight * 1000
    assert 0 <= late <= 2000, f"the 08:00 alarm rang {late} ms after its minute while two imports ran"
    for reason, p in imports.items():
        err = p.communicate(timeout=60)[1].decode(errors="replace")
        assert reason in err and "does not answer" not in err, f"an import ended with {p.returncode}: {err[:300]}"
    assert p.returncode == 1, "the import of a 210 MB file did not fail"
    p = subprocess.run(f"exec {desk.prog}/tockwise --import - </dev/zero", shell=True, capture_output=True, text=True,
                       timeout=20)
    assert p.returncode == 1 and "more than 64 MiB" in p.stderr, f"endless standard input: {p.stderr}"
    assert run(desk, "--import", desk.work / "good.ics")[0] == 0, "an ordinary import failed"
    listed = [line.split("\t")[2:6:3] for line in run(desk, "--list")[1].splitlines()]
    assert listed == [["08:00", "Tea"], ["06:45", "Run"]], f"the clock's alarms after the imports: {listed}"


# Events only a rule holds, for a user in Berlin; then each start of the clock (local time), what rings at once:
RULED = "".join(f"BEGIN:VEVENT\r\nUID:{u}\r\nSUMMARY:{n}\r\n{lines}\r\nEND:VEVENT\r\n" for u, n, lines in (
    ("c", "Call", "DTSTART;TZID=America/New_York:20270104T090000\r\nRRULE:FREQ=WEEKLY;BYDAY=MO"),
    ("s", "Standup", "DTSTART:20270301T064000\r\nRRULE:FREQ=DAILY"),
    ("s", "Standup", "RECURRENCE-ID:20270316T064000\r\nDTSTART:20270316T090000"),
    ("g", "Gym", "DTSTART:20270301T180000\r\nRRULE:FREQ=DAILY;BYDAY=MO,WE,FR"),
    ("p", "Pills", "DTSTART:20270301T200000\r\nRRULE:FREQ=DAILY\r\nEXDATE:20270316T200000"),
    ("e", "Early", "DTSTART:20261201T060000Z\r\nRRULE:FREQ=DAILY")))
# New York's 09:00 between its spring and Berlin's (the kinds rang at 15:00); that day moved, never at the old
# time; Mon, Wed, Fri, not on Tuesday; Pills skips 16 March; 06:00 UTC in Berlin's summer.
STARTS = [(f"2027-03-{d}", n) for d, n in (("15 14:00", "Call"), ("16 06:40", None), ("16 09:00", "Standup"), (
    "16 18:00", None), ("17 18:00", "Gym"), ("16 20:00", None), ("29 08:00", "Early"))]


def test_imported_calendars_ring_at_the_calendars_moments(desk):
    """Imported, the events only a rule holds are listed as custom and each rings at the moment its calendar shows."""
    desk.start(tray=False, reader=False)
    (ics := desk.work / "ruled.ics").write_text(CAL.format(RULED))
    (status, _, err), listed = desk.cli("--import", ics, env=(berlin := {"TZ": "Europe/Berlin"})), desk.cli("--list")[1]
    assert status == 0 and listed.count("\tcustom\t") == 5 and "skipped" not in err, f"{err}{listed}"
    for at, rings in STARTS:
        desk.write_settings(**{"Last Check": h.minute_of(at) - 1})
        clock = desk.clock(at=h.epoch(at, "Europe/Berlin") - 3, env=berlin)
        clock.wait_for("minute-shown", 2, what=f"the clock started before {at} showed no next minute")
        assert clock.traces("ring") == [f"{h.minute_of(at)} {rings}"] * bool(rings), f"{at}: {clock.traces('ring')}"
        clock.stop()


def test_the_installed_program_is_whole_and_starts(desk):
    """Every file in the prefix, entry and metainfo valid; the launcher starts the clock, Alarms.dat beside it."""
    h.run("cmake", "--install", h.PROGRAM.resolve().parent.parent, "--prefix", (prefix := desk.work / "prefix"))
    entry, info, icon = (prefix / f for f in INSTALLED[:3])
    assert not (missing := [f for f in INSTALLED if not (prefix / f).exists()]), f"not installed: {missing}"
    assert h.run("identify", "-format", "%wx%h", icon) == "48x48", "the icon is not 48 x 48"
    assert subprocess.run(["desktop-file-validate", entry]).returncode == 0, "the desktop entry is not valid"
    assert subprocess.run(["appstreamcli", "validate", "--no-net", info]).returncode == 0, "the metainfo is not valid"
    assert "Categories=Utility;Clock;" in entry.read_text().splitlines(), "wrong categories"
    desk.start_tray().spawn(prefix / "bin/tockwise", log="clock.log")
    h.window("Tockwise", (200, 70), what="the installed program showed no clock")
    dat = prefix / "lib/tockwise/Alarms.dat"
    h.wait_for(lambda: dat.exists() and dat.stat().st_size == 128, "Alarms.dat was not made beside the program")
