"""Alarms that follow their owner between her computers and a phone, and calendar servers that misbehave."""

import re
import sys
import time

import pytest

import harness as h
sys.path.insert(0, str(h.SERVERS))
from caldav_servers import Radicale, b, batch, cal, ended, fake, has, ok, row, session_manager  # noqa


@pytest.mark.parametrize("case,said", [("a password file others can read", "chmod 600"), ("a self-signed certificate",
                                       "self-signed"), ("plain HTTP to another computer", "unencrypted")])
def test_a_server_is_refused_where_the_password_would_not_be_safe(desk, cal, case, said):
    """--sync-setup refuses, says why, and sets nothing up."""
    server = Radicale(desk, tls=True) if "cert" in case else cal
    server.password.chmod(0o644 if "others" in case else 0o600)
    out = ok(desk, server.setup.replace("127.0.0.1", "192.0.2.1") if "HTTP" in case else server.setup, status=1)
    assert said in out, f"--sync-setup with {case} said: {out}"
    assert "[Sync]" not in h._read(desk.settings) and not server.events(), f"{case} was set up all the same"


def test_alarms_follow_their_owner_between_two_computers_and_a_phone(desk, cal, b):
    """Each computer's alarms kept, the same one linked; the clock syncs at start-up, soon after a change and on
    waking, not otherwise; changes travel; a monthly event is left out, saying why; another program's event is
    never changed; changed on both sides, both kept; turned off, the server is forgotten and nothing deleted."""
    out = ok(desk, "--add 'Wake up' --at 07:00 --daily", "--add Tea --at 16:30 --weekly Friday", cal.setup)
    assert "the calendar was made" in out and "to the server: 2 added" in out, f"the first sync said: {out}"
    assert "secret" not in h._read(desk.settings), "the password landed in the settings"
    out = ok(b, "--add Dentist --at 09:15 --on 2030-01-05", "--add Tea --at 16:30 --weekly Friday", cal.setup, "--list")
    assert re.search(r"daily\t07:00.*Wake up", out) and out.count("Tea") == 1, f"B after its set-up: {out}"
    assert len(cal.events()) == 3, f"the server holds {len(cal.events())} events, not 3"
    wake, clock = session_manager(desk.start_tray()), desk.clock()  # the session manager first, for the clock to hear
    has(desk, "Dentist", "the running clock did not sync at start-up")
    ok(desk, "--add Walk --at 12:00 --weekdays")
    h.wait_for(lambda: len(cal.events()) == 4, "the clock's new alarm did not reach the server", 20)
    cal.phone(Gym="DAILY", Rent="MONTHLY")
    woke = wake()
    has(desk, r"daily\t06:30.*Gym", "the running clock did not take the phone's event after waking")
    # A wake's sync waits a few seconds for the network: the event seen sooner came by a sync with no cause.
    assert time.monotonic() - woke >= 4, "the clock took the phone's event though nothing asked it to sync"
    assert "Rent" not in ok(desk, "--sync-now", "--list"), "the monthly event became an alarm"
    assert re.search(r"sync: skipped the event /me/alarms/rent.ics: .", h._read(clock.log)), "no reason for Rent"
    out = ok(b, f"--disable {row(b, 'Dentist')}", f"--remove {row(b, 'Wake up')}", "--sync-now")
    assert re.search(r"^skipped the event /me/alarms/rent.ics: .", out, re.M), f"B's sync named no event it left: {out}"
    out = ok(desk, "--sync-now", "--list")
    assert "disabled\tDentist" in out and "Wake up" not in out, f"A did not follow B's changes: {out}"
    gym = cal.get("gym.ics")
    ok(desk, f"--disable {row(desk, 'Gym')}", "--sync-now")
    assert cal.get("gym.ics") == gym and "enabled\tGym" in ok(b, "--sync-now", "--list"), \
        "disabling the phone's alarm here changed its event on the server, or reached B"
    out = ok(desk, f"--remove {row(desk, 'Gym')}", "--sync-now", "--sync-now", "--list")
    assert "Gym" not in out, f"the phone's alarm removed here came back: {out}"
    assert cal.get("gym.ics") == gym and cal.get("rent.ics"), "the phone's events changed or went from the server"
    tea = next(e.name for e in cal.events() if "SUMMARY:Tea" in e.read_text())
    cal.put(tea, cal.get(tea).replace("T163000", "T171500"))  # and A disables it: both changed Tea
    out = ok(desk, f"--disable {row(desk, 'Tea')}", "--sync-now", "--list")
    assert re.search(r"weekly\t17:15\tFriday\tenabled\tTea\t$", out, re.M), f"the server's Tea lost: {out}"
    assert re.search(r"16:30\tFriday\tdisabled\tTea \(conflict\)", out), f"A's Tea was not kept: {out}"
    assert "secret" not in h._read(clock.log), "the password landed in the clock's output"
    events = cal.events()
    ok(desk, "--sync-off")
    assert "Sync" not in h._read(desk.settings) and cal.events() == events, "--sync-off kept the server or deleted"


def test_a_refused_password_is_said_once_and_changes_nothing(desk, cal):
    """A wrong password: the clock says so in one box and a line at each failure, a command says so, the table
    stays as it was though a change waits on the server; mended, the next sync catches up."""
    r = desk.start()
    ok(desk, "--add Walk --at 12:00 --weekdays", cal.setup)
    before = (desk.prog / "Alarms.dat").read_bytes()
    cal.phone(Gym="DAILY")
    cal.password.write_text("wrong\n")
    clock = desk.clock()  # its sync at start-up fails
    r.press("push button", "OK", r.find("alert", "Tockwise", what="no box said the sync failed", timeout=20))
    r.gone("alert", "Tockwise", what="the box stayed open after OK")
    assert "password" in ok(desk, "--sync-now", status=1).lower(), "the refused password was not named"
    assert (desk.prog / "Alarms.dat").read_bytes() == before, "a refused password changed Alarms.dat"
    ok(desk, "--add Bread --at 08:00 --daily")
    # The second failure's line, then a command the clock answers after it: a second box would be up by then.
    h.wait_for(lambda: h._read(clock.log).count("were not synced") >= 2, "the second failure left no line", 20)
    assert ok(desk, "--list") and not any(r.has(o, "showing") for o in r.all("alert", "Tockwise")), "a second box"
    cal.password.write_text("secret\n")
    out = ok(desk, "--sync-now")
    assert 'to the server: added "Bread"' in out and 'from the server: added "Gym"' in out, f"no catching up: {out}"


def test_a_server_stopped_in_the_middle_of_a_sync_loses_nothing(desk, cal, b):
    """The server stops while 200 alarms go up: the sync fails (status 1), the table as it was; the server back,
    the next sync finishes it, each alarm one event, and the other computer has all 200."""
    before = ok(b, cal.setup, f"--import {batch(desk, 200)}", "--list")
    ok(desk, cal.setup)
    cut = b.spawn(b.prog / "tockwise", "--sync-now", env=b.env, log="cut.txt")
    h.wait_for(lambda: len(cal.events()) >= 20, "the batch did not start going up", 20)
    cal.stop()
    assert ended(cut, "the sync did not end when the server stopped") == 1, h._read(desk.work / "cut.txt")
    assert ok(b, "--list") == before, "B's table changed when the server stopped"
    cal.start()
    assert ok(b, "--sync-now", "--list") == before, "B's table changed by the resumed sync"
    assert ok(desk, "--sync-now", "--list").count("Batch") == 200 == len(cal.events()), \
        f"A did not get all 200 alarms, or the server holds not one event each ({len(cal.events())})"


def test_an_alarm_rings_on_its_minute_while_the_sync_reads_40_mb(desk):
    """One event of a 40 MB summary, sent 3 s before the minute, is read and mapped as the minute begins: the
    alarm still rings within seconds (once it stood still for minutes), and the event is skipped with its reason."""
    desk.start(reader=False)
    h.write_alarms(desk.prog / "Alarms.dat", "Big day|daily|07:00")
    start = time.time()
    log = fake(desk, "big", "--big-summary", 40, "--hold-until", start + 17, last_check=h.minute_of("2024-03-07 06:59"))
    clock = desk.clock(at=h.epoch("2024-03-07 06:59:40") + time.time() - start)  # 20 s: time to ask, however busy
    clock.wait_for("ring", what="the alarm did not ring while the sync read 40 MB", timeout=40)
    assert "sent multiget" in h._read(log), "the 40 MB answer was not sent before the alarm rang"
    late = clock.traces("ring", ms=True)[0] - h.epoch("2024-03-07 07:00") * 1000
    assert 0 <= late < 5000, f"the alarm rang {late} ms after its minute while the sync read 40 MB"
    h.wait_for(lambda: re.search("sync: skipped the event /cal/big.ics: .", h._read(clock.log)),
               "the clock did not say why it left the 40 MB event out", 30)


def test_a_command_syncing_without_a_clock_keeps_nothing_else_away(desk):
    """While a command syncs with a server that trickles its listing, a second sync is told one runs, --add works
    and a clock starts: the command's sync then ends (status 1), leaving the table to the clock."""
    desk.start(reader=False)
    log = fake(desk, "trickle", "--trickle", 25)
    first = desk.spawn(desk.prog / "tockwise", "--sync-now", log="first.txt")
    h.wait_for(lambda: "listed" in h._read(log), "the command's sync did not reach the server")
    assert "a sync is already running" in ok(desk, "--sync-now", status=1), "a second sync ran beside the first"
    ok(desk, "--add Meanwhile --at 08:00 --daily", timeout=4)
    meanwhile = (desk.prog / "Alarms.dat").read_bytes()
    desk.clock().window("a clock started during a command's sync did not start")
    assert ended(first, "the command's sync did not end after the clock started") == 1 and \
        "a clock started during the sync" in h._read(desk.work / "first.txt"), h._read(desk.work / "first.txt")
    assert (desk.prog / "Alarms.dat").read_bytes() == meanwhile, "the command's sync changed the running clock's table"


@pytest.mark.parametrize("options,clock,said", [
    (("--trickle", 100, "--trickle-bytes", 50), True, "took longer than 4 seconds and was abandoned"),
    (("--put-status", 412), False, "the server refused the one change sent to it")], ids=["deadline", "refused"])
def test_a_sync_the_server_never_lets_finish_fails_and_says_why(desk, options, clock, said):
    """Past the running clock's deadline (4 s) a sync of a listing sent no further is abandoned, said so, and the
    next one runs (abandoned in turn); a server refusing every upload makes the sync fail, saying so."""
    desk.start(reader=False)
    fake(desk, "odd", *options)
    ok(desk, "--add Meanwhile --at 08:00 --daily")
    if clock:
        desk.clock(env={"TOCKWISE_SYNC_DEADLINE_MS": "4000"}).window()
    for attempt in range(1 + clock):
        assert said in ok(desk, "--sync-now", status=1, timeout=20), f"sync {attempt + 1} did not say {said!r}"
