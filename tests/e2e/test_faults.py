"""Faults of the program's files, locks and session: each met by a box that says why, or survived, losing nothing."""

import ctypes, fcntl, os, pwd, re, resource, shutil, signal, socket, stat, subprocess  # noqa: E401
import pytest
import harness as h
from harness import CLOCK, EDITOR

NOBODY = 65534
SETTINGS = {"Last Check": h.minute_of("2024-03-07 07:59"), "Visible": "True"}
SNAPSHOT = "find . -printf '%p %y %s %m %T@ %l\\n' | sort; find . -type f -exec md5sum {} + | sort"

def dat(path, *names): h.write_alarms(path, *(f"{n}|daily|{6 + i}:{5 * i}||2024-01-01" for i, n in enumerate(names, 1)))

def shown(r): return next((a for a in r.all("alert", "Tockwise") if r.has(a, "showing")), None)  # a box, if any

def lock_pid(path): return int((path.read_text().split() or [0])[0]) if path.exists() else 0  # 0: none

def box(r, *words, what='no "Tockwise" box appeared', answer=True, timeout=h.LIMIT):  # read, then answered
    alert = r.find("alert", "Tockwise", what=what, timeout=timeout)
    text, size = " ".join(o.name for o in r.all("label", None, alert)), r.extents(alert)[2:]
    assert all(str(w) in text for w in words), f"the box says {text!r}, not all of {words}"
    if answer:
        r.press("push button", lambda n: n in ("OK", "Yes"), alert)
        h.gone("Tockwise", size, what="the box stayed open after its button was pressed")

def add(r, name, clock=None, path=None, names=None):  # in the list; given a path, saved there (after names) with no box
    if clock: clock.menu("Open Alarms")
    r.new_alarm(name)
    r.press("push button", "Confirm")
    if path:
        h.gone(*EDITOR, what=f"adding {name}: the editor stayed open")
        h.wait_for(lambda: path.exists() and h.alarm_names(path) == names + [name], f"{path} lacks {name}")
        assert not shown(r), f"adding {name}: a box appeared although the save could succeed"
        names.append(name)

@pytest.fixture
def mount(desk):
    """mount(args...), or mount(folder) read-only, in a mount namespace of the run's own; undone after the test."""
    if ctypes.CDLL(None).unshare(0x20000) or subprocess.run(["mount", "--make-rprivate", "/"]).returncode:
        pytest.skip("no private mount namespace here (unshare -m refused)")
    def mount(*a):
        calls = [a] if len(a) > 1 else [("--bind", *a, *a), ("-o", "remount,bind,ro", *a)]
        return all(subprocess.run(["mount", *map(str, c)], capture_output=True).returncode == 0 for c in calls)
    yield mount
    subprocess.run(["umount", "-l", desk.prog, desk.settings.parent], capture_output=True)

@pytest.mark.parametrize("entry,made", [(e, m) for e, ms in (
    ("prog/Alarms.dat", "folder pipe zero oversize folder+TERM"), ("config/hqz.conf.lock", "folder"),
    ("run/tockwise.lock", "empty garbled unreadable folder"), ("config/hqz.conf", "pipe")) for m in ms.split()])
def test_odd_files_at_start_give_a_clock_or_a_box_never_a_hang(desk, entry, made):
    """Alarms.dat no table: a box, status 1, nothing written; a stale lock taken over; odd settings: a box only."""
    r, path, kind, table = desk.start(), desk.work / entry, made.split("+")[0], "prog" in entry
    desk.write_settings(**SETTINGS)
    settings, snapshot = desk.settings.read_bytes(), lambda: h.run("sh", "-c", SNAPSHOT, cwd=desk.prog)
    {"folder": lambda p: dat(p / "inner" / "Alarms.dat", "Inside"), "zero": lambda p: p.symlink_to("/dev/zero"),
     "pipe": lambda p: p.unlink(missing_ok=True) or os.mkfifo(p), "empty": lambda p: p.touch(),  # opening a pipe waits
     "oversize": lambda p: os.truncate(p.touch() or p, 2**26 + 1), "garbled": lambda p: p.write_bytes(os.urandom(300)),
     "unreadable": lambda p: p.write_text("999999\nx\n") or p.chmod(0)}[kind](path)
    before, clock, runs = snapshot(), desk.clock(), "config" in entry or kind != "folder" and "run" in entry
    if runs and clock.window(f"no clock with {entry} a {kind}") and "run" in entry: return
    box(r, path.name, what=f"no box with {entry} a {kind}", answer=False)
    assert clock.alive() and (runs or not h.windows(*CLOCK, clock.pid)), f"{entry} a {kind}: ended, or a clock shows"
    assert "lock" not in entry or path.name in clock.log.read_text(), f"standard error does not name {path.name}"
    if "TERM" not in made: box(r)
    status = clock.stop() if runs or "TERM" in made else clock.ends("closing the box did not end the program")
    assert status == 1 or runs or "TERM" in made, f"{entry} a {kind}: exit status {status}, not 1 (a crash?)"
    assert not table or (snapshot(), desk.settings.read_bytes(), (desk.data / "Alarms.dat").exists()) == (
        before, settings, False), f"Alarms.dat a {kind}: the program folder or hqz.conf changed, or a table was made"
    assert made != "pipe" or table or stat.S_ISFIFO(path.lstat().st_mode), "the named pipe hqz.conf was replaced"

@pytest.mark.parametrize("fault,reason", [("full disk", "No space left on device"), ("size limit", "File too large")])
def test_a_refused_save_shows_why_and_loses_nothing(desk, request, fault, reason):
    """A save refused (full disk, RLIMIT_FSIZE's SIGXFSZ) gives a box with the reason; the editor and file keep all."""
    r, alarms, disk, limit = desk.start(wm=True), desk.prog / "Alarms.dat", fault == "full disk", resource.RLIM_INFINITY
    names, size = [f"A{i}" for i in range(1, 10)], sum(p.stat().st_size for p in desk.prog.iterdir()) // 1024 + 256
    if disk and not request.getfixturevalue("mount")("-t", "tmpfs", "-o", f"size={size}k,mode=755", "full", desk.prog):
        pytest.skip("mount -t tmpfs is not allowed here")  # room for the program and little else
    dat(desk.install().prog / "Alarms.dat", *names)  # daily, A1 at 07:05 on; 1280 bytes: past a limit of 1024
    before, clock = alarms.read_bytes(), desk.clock(at=h.epoch("2024-03-07 10:15"), trace=disk)  # a log is limited too
    clock.window()
    if disk: subprocess.run(["dd", "if=/dev/zero", f"of={desk.prog}/filler", "bs=4k"], capture_output=True)
    resource.prlimit(clock.pid, resource.RLIMIT_FSIZE, (limit if disk else 1024, limit))
    add(r, "Zulu Refused", clock)
    h.wait_for(lambda: not clock.alive() or shown(r), f"adding an alarm with a {fault} showed no box")
    assert clock.alive(), f"the refused save ended the program (status {clock.proc.returncode}; -25 is SIGXFSZ)"
    box(r, "could not be saved", reason)
    assert alarms.read_bytes() == before, "Alarms.dat changed, by the start or the refused save"
    name = r.find("text", "Name", what="the editor closed after the refused save: the alarm typed into it is lost")
    assert r.text(name) == "Zulu Refused", "the editor lost the name of the alarm not saved"
    h.key("Escape", wid=h.window(*EDITOR))
    h.gone(*EDITOR, what="Escape did not close the editor")
    r.click(r.find("list item", "A1 - 07:05 every day", what="the list does not show the alarm A1"))
    h.key("Delete")  # on the selected row, as "Remove"
    box(r, "Are you sure", what="Delete on a row asked nothing")
    box(r, "could not be removed", reason, what=f"removing an alarm with a {fault} showed no box")
    assert (alarms.read_bytes(), [*desk.prog.glob("Alarms.dat?*")]) == (before, []), "the refused removal left traces"
    command = lambda *limit: subprocess.run([*limit, desk.prog / "tockwise", "--add", "Zulu Command", "--at", "07:30",
                                             "--daily"], capture_output=True, text=True)  # noqa: E731
    status, err = (p := command()).returncode, p.stderr  # through the clock, which saves
    assert (status, "was not added" in err and reason in err) == (1, True), f"--add with a {fault}: {status} {err!r}"
    (desk.prog / "filler").unlink(missing_ok=True)
    resource.prlimit(clock.pid, resource.RLIMIT_FSIZE, (limit, limit))
    add(r, "Zz After", path=alarms, names=names)
    assert (after := alarms.read_bytes())[:1280] == before, "the kept alarms' bytes changed"
    clock.stop()
    if disk: subprocess.run(["dd", "if=/dev/zero", f"of={desk.prog}/filler", "bs=4k"], capture_output=True)
    status, err = (p := command(*[] if disk else ["prlimit", "--fsize=1024"])).returncode, p.stderr
    assert (status, "was not added" in err and reason in err, alarms.read_bytes()) == (1, True, after), \
        f"--add with a {fault} and no clock: {status} {err!r}"

def test_the_lock_lives_in_a_private_folder_wherever_the_runtime_folder_points(desk, monkeypatch):
    """The lock stays in a 0700 folder of our own, away from other users'; a second start shows the hidden clock."""
    if os.getuid() or not shutil.which("setpriv"): pytest.skip("planting another user's files needs root and setpriv")
    r, shared, own, here = desk.start(), desk.work / "shared-tmp", desk.work / "cache/tockwise", desk.work / "here"
    opened, taken, deep = desk.work / "open", shared / f"runtime-{pwd.getpwuid(0).pw_name}", desk.work / ("d" * 120)
    monkeypatch.setenv("TMPDIR", str(shared))  # where Qt's runtime folder lies without XDG_RUNTIME_DIR
    monkeypatch.delenv("XDG_RUNTIME_DIR")
    sleeper = desk.spawn("setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups", "sleep", "600")
    for folder in (shared, opened, taken, here, deep): folder.mkdir(mode=0o700)
    for lock in (shared / "tockwise.lock", opened / "tockwise.lock"):  # nobody's, naming a live process of theirs
        lock.write_text(f"{sleeper.pid}\nsleep\n{socket.gethostname()}\n")
    h.run("chown", f"{NOBODY}:{NOBODY}", shared / "tockwise.lock", opened / "tockwise.lock", taken)
    opened.chmod(0o777)
    planted = (held := shared / "tockwise.lock").read_bytes()
    monkeypatch.chdir(here)  # where a relative XDG_RUNTIME_DIR would put the lock
    for step, env in (("unset", {}), ("0755", {}), ("open to all", {"XDG_RUNTIME_DIR": str(opened)}),
                      ("relative", {"XDG_RUNTIME_DIR": "."}), ("deep", {"XDG_RUNTIME_DIR": str(deep)})):
        desk.write_settings(Visible="False")
        clock, lock = desk.clock(env=env), (deep if step == "deep" else own) / "tockwise.lock"
        h.wait_for(lambda: lock_pid(lock) == clock.pid, f"{step}: no lock naming the clock in {lock.parent}")
        assert desk.tray_icon() and not h.windows(*CLOCK), f"{step}: the clock is shown although it was stored hidden"
        assert desk.clock(env=env).ends(f"{step}: a second start did not end") == 0, f"{step}: a second start failed"
        h.window(*CLOCK, clock.pid, what=f"{step}: a second start did not bring up the hidden clock")
        s, sock = own.stat(), (own / "tockwise.socket").stat().st_mode
        assert (s.st_uid, stat.S_IMODE(s.st_mode), stat.S_ISSOCK(sock), (here / "tockwise.lock").exists()) == (
            0, 0o700, True, False), f"{step}: {own} is not ours at 0700 with the socket, or the lock went to {here}"
        assert (held.read_bytes(), held.stat().st_uid) == (planted, NOBODY), "the planted lock was changed"
        clock.stop()
        own.chmod(0o755)  # for the next start to mend
    os.chown(own, NOBODY, NOBODY)
    left, clock = h.run("sh", "-c", SNAPSHOT, cwd=own), desk.clock()
    box(r, own, what=f'no "Tockwise" box when {own} belongs to another user')
    clock.ends("the program did not end after the box")
    assert (h.windows(*CLOCK), str(own) in clock.log.read_text(), h.run("sh", "-c", SNAPSHOT, cwd=own)) == (
        [], True, left), "a clock is shown, standard error gave no reason, or the program wrote into nobody's folder"

def test_a_held_lock_is_waited_for_a_crashed_one_taken_over_a_running_copy_shown(desk):
    """A held lock is waited for, never taken over; a crash's is; beside a running copy a start shows its clock."""
    r, lock = desk.start(), desk.work / "run" / "tockwise.lock"
    for for_good in (True, False):
        with open(lock, "a") as holder:
            fcntl.flock(holder, fcntl.LOCK_EX)
            clock = desk.clock()
            h.wait_for(lambda: "nanosleep" in h.quiet("cat", f"/proc/{clock.pid}/wchan"), "the start did not wait")
            assert not h.windows(*CLOCK, clock.pid), "the clock started while another process held the lock"
            if for_good:  # given five seconds, then given up
                box(r, lock, "does not answer", what="no box while the lock stayed held", timeout=15)  # after 5 s
                assert clock.ends() != 0 and not h.windows(*CLOCK), "a start beside a holder that does not answer ran"
    clock.window("no clock once the lock was let go")
    clock.stop(signal.SIGKILL)
    assert lock_pid(lock) == clock.pid, "SIGKILL left no lock behind, so this proves nothing"
    (clock := desk.clock()).window("after a crash the next start showed no clock (the old lock blocked it?)")
    assert lock_pid(lock) == clock.pid, f"the new copy did not take the lock over (it names {lock_pid(lock)})"
    for args in (["restart"], []):
        clock.menu("Hide")
        h.gone(*CLOCK, what="Hide left the clock on screen")
        status, _, err = desk.cli(*args, timeout=10)
        assert status == 0 and clock.alive(), f"tockwise {' '.join(args)} beside a running copy: {status} {err}"
        clock.window(f"tockwise {' '.join(args)} did not bring up the hidden clock")
        copies = h.quiet("pgrep", "-f", f"^{desk.prog}/tockwise( |$)").split()
        assert copies == [str(clock.pid)], f"two copies run: {copies}"

def test_read_only_folders_keep_the_alarms_and_report_failed_settings_once(desk, mount):
    """A read-only program folder gives way to the data folder, losing nothing; read-only settings: one box only."""
    r, prog, user, names = desk.start(wm=True), desk.prog, desk.data / "Alarms.dat", []
    if not mount(prog): pytest.skip("a read-only bind mount is not allowed here")
    for step, name in (("read-only", "Read Only One"), ("read-only again", "Read Only Two"),
                       ("writable", "Writable Three"), ("copied", "Zulu Copied")):
        if step == "writable": subprocess.run(["umount", prog], check=True)
        if step == "copied":
            dat(prog / "Alarms.dat", "Alpha Kept", "Bravo Kept")
            before, names = (prog / "Alarms.dat").read_bytes(), ["Alpha Kept", "Bravo Kept"]
            user.unlink()
            assert mount(prog), "the read-only bind mount could not be made again"
        clock = desk.clock()
        h.wait_for(lambda: user.exists() and h.alarm_names(user) == names, f"{step}: {user} does not hold {names}")
        assert step != "copied" or user.read_bytes() == before, "the program folder's Alarms.dat was not copied"
        add(r, name, clock, user, names)
        clock.stop(signal.SIGKILL)  # whatever it holds must be on disk by now
        beside = [p.name for p in prog.iterdir() if p.name not in ("tockwise", "Chime1.wav")]
        assert beside == ["Alarms.dat"] * (step == "copied"), f"{step}: the program wrote beside itself: {beside}"
    assert (prog / "Alarms.dat").read_bytes() == before, "the read-only Alarms.dat changed"
    subprocess.run(["umount", "-l", prog], check=True)
    h.write_alarms(prog / "Alarms.dat", *(f"Eight {m}|daily|08:0{m}" for m in range(3)))
    desk.write_settings(**SETTINGS)
    assert mount(desk.settings.parent), "the settings folder could not be made read-only"
    clock = desk.clock(at=h.epoch("2024-03-07 07:59:57"), poll=True)
    clock.wait_for("ring", what="the 08:00 alarm did not ring")
    box(r, desk.settings, "Read-only file system", what="a settings file that cannot be written gave no box")
    for m in (1, 2):  # a ring's failed save, then the next ring: no box came between
        clock.set(h.epoch(f"2024-03-07 08:0{m - 1}:58"))
        clock.wait_for("ring", m + 1, what=f"the 08:0{m} alarm did not ring")
        assert not shown(r) and clock.alive(), f"a failed save after the 08:0{m - 1} alarm gave a second box"
    clock.stop()  # at the end no box can show: standard error says it
    assert re.search(f"settings were not saved: {desk.settings}.*Read-only", clock.log.read_text()), "nothing said"

def test_without_a_display_the_program_says_so(desk):
    """No display, or a platform of no such name: status 1 and a plain message."""
    for args, env in ([], {k: v for k, v in os.environ.items() if k != "DISPLAY"}), (["-platform", "nosuch"], None):
        p = subprocess.run([desk.install().prog / "tockwise", *args], env=env, capture_output=True, text=True)
        assert (p.returncode, "no usable display" in p.stderr) == (1, True), f"{args}: {p.returncode} {p.stderr}"

@pytest.mark.parametrize("end", ["SIGKILL", "SIGTERM", "SIGHUP", "SIGINT", "display"])
def test_the_end_of_a_session_loses_nothing(desk, end):
    """Signals and the X server's end save where the clock was put; a ring is on disk at once, before any SIGKILL."""
    desk.start(tray=False, reader=False)
    h.write_alarms(desk.prog / "Alarms.dat", "Eight|daily|08:00")
    desk.write_settings(**SETTINGS)
    clock = desk.clock(at=h.epoch(f"2024-03-07 07:59:{57 if end == 'SIGKILL' else 0}"))  # a drag ends before 08:00
    if end == "SIGKILL":
        clock.wait_for("ring", what="the 08:00 alarm did not ring")
        h.wait_for(lambda: desk.setting("Last Check") == str(h.minute_of("2024-03-07 08:00")),
                   f"after the alarm rang Last Check stays {desk.setting('Last Check')}: a kill brings it back")
        clock.stop(signal.SIGKILL)  # and reaped: a next start could hand over to it
        clock = desk.clock(at=h.epoch("2024-03-07 08:00:30"))
        clock.wait_for("first-frame", what="the clock started again showed nothing")  # caught up before it
        assert not clock.traces("missed"), f"the alarm that rang came back as missed: {clock.traces('missed')}"
        return
    x, y, _, _ = h.geometry(wid := clock.window())
    h.run("xdotool", "mousemove", x + 100, y + 35, "mousedown", 1, "sleep", 0.2, "mousemove", x + 120, y + 45,
          "sleep", 0.2, "mousemove", x + 140, y + 55, "mouseup", 1)  # a drag, 40 pixels right and 20 down
    h.wait_for(lambda: h.geometry(wid)[:2] == (x + 40, y + 20), "dragging the clock did not move it")
    os.kill(desk.x_server.pid if end == "display" else clock.pid, getattr(signal, end, signal.SIGTERM))  # as at logout
    clock.ends(f"the program outlived {end}")
    saved, want = (desk.setting("X"), desk.setting("Y")), (str((x + 40) * 15), str((y + 20) * 15))
    assert saved == want, f"after {end} X Y are saved as {saved}, the clock was put at {want} (twips)"
