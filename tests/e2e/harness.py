"""What the end-to-end journeys stand on: a desktop of the test's own (an X
server, a window manager, a tray host, buses, a sound server), the real program
under faked time with its trace stream read as events, its command line, and
the program's controls found as a screen reader finds them (AT-SPI, by role
and name). Every wait is on a condition with a generous limit; a failure says
what a person at the screen would have seen."""

import array
import atexit
import contextlib
import datetime as dt
import os
import pathlib
import re
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import time

_SESSION = None  # the run's session bus: address, then the processes that serve it
_READER = None
E2E = pathlib.Path(__file__).resolve().parent
SERVERS = E2E.parent / "servers"
PROGRAM = pathlib.Path(os.environ.get("TOCKWISE_PROGRAM", "tockwise"))
ARTIFACTS = pathlib.Path(os.environ.get("TOCKWISE_ARTIFACTS", tempfile.gettempdir()))
LIMIT = 10.0  # seconds: enough on a machine busy with other work
# The program's windows, by title and size.
CLOCK, PANEL, LIST = ("Tockwise", (200, 70)), ("Missed Alarms", (400, 135)), ("Tockwise", (393, 345))
EDITOR, THEME = ("Alarm Details", (305, 321)), ("Tockwise - Theme", (201, 169))


def wait_for(check, what, timeout=LIMIT, every=0.05):
    """check() until it gives something true, which is returned; else fails with what."""
    end = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() >= end:
            raise AssertionError(f"{what} (waited {timeout:g} s)")
        time.sleep(every)


def run(*args, check=True, timeout=60, **kw):
    """A command's standard output; a failing command raises unless check is False."""
    return subprocess.run([str(a) for a in args], check=check, capture_output=True, text=True,
                          timeout=timeout, **kw).stdout


def quiet(*args):
    """A command's output, empty when it fails (a window gone meanwhile)."""
    try:
        return run(*args, check=False, timeout=20)
    except subprocess.TimeoutExpired:
        return ""


EPOCH2000 = dt.datetime(2000, 1, 1)
KINDS = {"once": 0, "daily": 1, "weekly": 2, "weekdays": 3}


def minute_of(text):
    """Whole minutes since 2000-01-01 00:00 on the wall clock, as the settings keep them."""
    d = dt.datetime.strptime(text, "%Y-%m-%d %H:%M") - EPOCH2000
    return d.days * 1440 + d.seconds // 60


def epoch(text, zone="UTC"):
    """Seconds since 1970 of a wall time ("YYYY-MM-DD HH:MM[:SS]") in a zone."""
    return int(run("date", "-d", text, "+%s", env=dict(os.environ, TZ=zone)))


def write_alarms(path, *specs):
    """An alarm table in the program's slots: "NAME|KIND|HH:MM|WEEKDAY|YYYY-MM-DD|DISABLED"."""
    slots = [bytes(128)]
    for index, spec in enumerate(specs, start=1):
        name, kind, hhmm, weekday, date, disabled = (spec.split("|") + [""] * 6)[:6]
        hour, minute = (int(v) for v in hhmm.split(":"))
        year, month, day = (int(v) for v in date.split("-")) if date else (0, 0, 0)
        raw = name.encode("cp1252").ljust(100, b" ")[:100]
        slots.append(struct.pack("<i100s6BhhH", index, raw, KINDS[kind], hour, minute, int(weekday or 0),
                                 day, month, year, 0, 0xFFFF if disabled == "1" else 0) + bytes(12))
    pathlib.Path(path).parent.mkdir(parents=True, exist_ok=True)
    pathlib.Path(path).write_bytes(b"".join(slots))


def alarm_names(path):
    data = pathlib.Path(path).read_bytes()
    return [data[k * 128 + 4:k * 128 + 104].decode("cp1252").strip(" ") for k in range(1, len(data) // 128)]


def geometry(wid):
    """(x, y, width, height) of a window on screen, None when it is gone."""
    info = quiet("xwininfo", "-id", wid)
    found = dict(re.findall(r"^\s*(Absolute upper-left X|Absolute upper-left Y|Width|Height):\s+(-?\d+)", info, re.M))
    if len(found) < 4 or "IsViewable" not in info:
        return None
    return tuple(int(found[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))


def windows(title, size=None, pid=None):
    """The visible windows of that exact title (and size, and process), ids as text."""
    search = ["xdotool", "search", "--onlyvisible"] + (["--all", "--pid", str(pid)] if pid else [])
    return [wid for wid in quiet(*search, "--name", f"^{re.escape(title)}$").split()
            if (g := geometry(wid)) and (size is None or g[2:] == tuple(size))]


def window(title, size=None, pid=None, what=None, timeout=LIMIT):
    """Waits for such a window; its id."""
    return wait_for(lambda: next(iter(windows(title, size, pid)), None),
                    what or f"no {title!r} window{' of %dx%d' % tuple(size) if size else ''} appeared", timeout)


def gone(title, size=None, what=None, timeout=LIMIT):
    wait_for(lambda: not windows(title, size), what or f"the {title!r} window stayed open", timeout)


def click(wid, x, y, button=1, repeat=1):
    """A click at a pixel of a window; for what only a mouse can do."""
    wx, wy, _, _ = geometry(wid) or (0, 0, 0, 0)
    run("xdotool", "mousemove", wx + x, wy + y, "click", "--repeat", repeat, "--delay", 120, button)


def key(*keys, wid=None):
    wid and quiet("xdotool", "windowactivate", "--sync", wid)
    run("xdotool", "key", "--clearmodifiers", *keys)


def active():
    """The window that has the keyboard, as the window manager says."""
    return quiet("xdotool", "getactivewindow").strip()


def type_text(text):
    run("xdotool", "type", "--delay", 30, text)


def tips(pid):
    """The program's tooltip windows on screen, one line high: (id, width, height)."""
    return [(wid, g[2], g[3]) for wid in quiet("xdotool", "search", "--all", "--onlyvisible", "--pid", pid, "--class",
                                               "tockwise").split()
            if (g := geometry(wid)) and g[3] < 40 and "TOOLTIP" in quiet("xprop", "-id", wid, "_NET_WM_WINDOW_TYPE")]


def screenshot(name):
    ARTIFACTS.mkdir(parents=True, exist_ok=True)
    quiet("import", "-window", "root", path := ARTIFACTS / f"{name}.png")
    return path


def pixels(picture, rect, dark=True, threshold="50%"):
    """How many pixels of a rectangle ("WxH+X+Y") of a picture are darker (or lighter) than grey."""
    f = "%[fx:int(w*h*(1-mean)+0.5)]" if dark else "%[fx:int(w*h*mean+0.5)]"
    return int(quiet("convert", picture, "-crop", rect, "+repage", "-colorspace", "Gray", "-threshold", threshold,
                     "-format", f, "info:") or 0)


class Desktop:
    """A test's own folders and servers, ended by close(); the program in its prog folder, its files in XDG's."""

    def __init__(self, name):
        self.name = name
        self.work = pathlib.Path(tempfile.mkdtemp(prefix=f"{name}."))
        self.prog = self.work / "prog"
        self.procs = []
        for var, sub in (("XDG_CONFIG_HOME", "config"), ("XDG_DATA_HOME", "data"),
                         ("XDG_RUNTIME_DIR", "run"), ("XDG_CACHE_HOME", "cache")):
            (self.work / sub).mkdir(mode=0o700)
            os.environ[var] = str(self.work / sub)
        self.settings, self.data = self.work / "config" / "hqz.conf", self.work / "data" / "tockwise"
        self.tray = self.reader = None

    def start(self, wm=False, tray=True, reader=True):
        """A session bus and a screen reader's view of the program, a window manager, a tray host; the program."""
        if reader:
            self.start_reader()
        if wm:
            self.start_wm()
        if tray:
            self.start_tray()
        self.install()
        return self.reader

    def spawn(self, *args, log=None, env=None, **kw):
        out = open(self.work / log, "ab") if log else subprocess.DEVNULL
        p = subprocess.Popen([str(a) for a in args], stdout=out, stderr=subprocess.STDOUT,
                             env=dict(os.environ, **(env or {})), **kw)
        self.procs.append(p)
        return p

    def close(self, passed):
        if _SESSION:  # what the shared bus started for this test (xfconfd, a notification server)
            quiet("pkill", "-P", _SESSION[1].pid)
        quiet("pkill", "-f", f"^{self.prog}/tockwise( |$)")
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
        for p in reversed(self.procs):
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
        if passed:
            shutil.rmtree(self.work, ignore_errors=True)
        else:
            print(f"work folder kept: {self.work}")

    def start_x(self):
        """Xvfb on a display no other run holds: it picks one, and names it once it takes clients."""
        r, w = os.pipe()
        self.x_server = self.spawn("Xvfb", "-displayfd", w, "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                                   "-noreset", pass_fds=[w])
        os.close(w)
        with os.fdopen(r) as named:
            wait_for(lambda: select.select([named], [], [], 0)[0], "Xvfb did not start")
            os.environ["DISPLAY"] = ":" + named.readline().strip()
        run("xsetroot", "-solid", "#3a6ea5")
        return self

    def start_wm(self):
        """Openbox, once it manages windows: a probe window is framed (one there before it, as one after)."""
        self.spawn("openbox", "--sm-disable", log="openbox.log")
        probe = self.spawn("xlogo", "-name", "tockwise-wm-probe", "-geometry", "10x10+0+0")
        wait_for(lambda: any(not re.search(r"^\s*Parent window id: .*\(the root window\)", tree, re.M)
                             for wid in quiet("xdotool", "search", "--classname", "^tockwise-wm-probe$").split()
                             if (tree := quiet("xwininfo", "-id", wid, "-children"))),
                 "the window manager did not start", 30)
        probe.kill()
        return self

    def start_tray(self, *options):
        """trayer's XEmbed tray at the bottom right, started again once if it ends early."""
        self.tray_options = options
        self.tray = self.spawn("trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel",
                               "--width", 120, "--height", 24, *options)
        wait_for(lambda: '"panel"' in quiet("xwininfo", "-root", "-tree"), "the tray host did not start")
        return self

    def tray_icon(self):
        """The program's 22 x 22 icon in the XEmbed tray."""
        def icon():
            m = re.search(r"^\s*(0x[0-9a-f]+) \"Tockwise\".*22x22", quiet("xwininfo", "-root", "-tree"), re.M)
            return m and m.group(1)
        try:
            return wait_for(icon, "no Tockwise icon in the tray")
        except AssertionError:
            if self.tray is None or self.tray.poll() is None:
                raise
            self.start_tray(*self.tray_options)  # the host ended under load; the icon docks again
            return wait_for(icon, "no Tockwise icon in the tray, after the tray host was started again")

    def start_session_bus(self):
        """The session bus, one for the run: a screen reader's library stays with the first bus it met."""
        global _SESSION
        if _SESSION is None:
            _SESSION = list(_bus("--session"))
            atexit.register(lambda: [p.terminate() for p in _SESSION[1:]])
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = _SESSION[0]
        # What the bus starts on demand (a notification server) belongs to this test's desktop.
        # A bus just forked may not take the call yet on a busy machine.
        wait_for(lambda: subprocess.run(["dbus-update-activation-environment", "DISPLAY", "XDG_CONFIG_HOME",
                                         "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME"],
                                        capture_output=True).returncode == 0,
                 "the session bus did not take this desktop's environment", every=0.2)
        return self

    def start_system_bus(self):
        """A bus of the test's own for stand-ins of system services."""
        os.environ["DBUS_SYSTEM_BUS_ADDRESS"], p = _bus("--config-file=/usr/share/dbus-1/session.conf")
        self.procs.append(p)
        return self

    def start_reader(self):
        """The accessibility bus (one for the run, as the session bus); the program then shows its tree."""
        global _READER
        self.start_session_bus()
        if _READER is None:
            launcher = next((line for line in run("dpkg", "-L", "at-spi2-core").split()
                             if line.endswith("/at-spi-bus-launcher")), None)
            assert launcher, "at-spi-bus-launcher not found (package at-spi2-core)"
            # Away from any display and test folder: it would end with the
            # first test's X server, its socket with the first test's folder.
            env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
            env["XDG_RUNTIME_DIR"] = tempfile.mkdtemp(prefix="tockwise-a11y.")
            _SESSION.append(subprocess.Popen([launcher, "--launch-immediately"], stdout=subprocess.DEVNULL,
                                             stderr=subprocess.DEVNULL, env=env))
            _READER = Reader()
        os.environ["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        _READER.popups.clear()
        _READER.focused.clear()
        _READER._app = None
        self.reader = _READER
        return self.reader

    def start_panel(self):
        """An Xfce panel at the bottom left holding only its StatusNotifierItem tray (start_session_bus first)."""
        channel = self.work / "config" / "xfce4" / "xfconf" / "xfce-perchannel-xml"
        channel.mkdir(parents=True, exist_ok=True)
        shutil.copy(SERVERS / "xfce4-panel.xml", channel)
        self.spawn("xfce4-panel", log="panel.log")
        wait_for(lambda: "boolean true" in bus_property(WATCHER, "/StatusNotifierWatcher", WATCHER,
                                                         "IsStatusNotifierHostRegistered"),
                 "the Xfce panel registered no StatusNotifierItem host", 30)
        return self

    def item_service(self):
        """The bus name of the program's StatusNotifierItem, once it registered one."""
        def look():
            m = re.search(r'string "([^"/]*)/StatusNotifierItem"',
                          bus_property(WATCHER, "/StatusNotifierWatcher", WATCHER, "RegisteredStatusNotifierItems"))
            return m and m.group(1)
        return wait_for(look, "the program registered no StatusNotifierItem")

    def start_sound(self, server="pulseaudio"):
        """A sound server (PulseAudio, or PipeWire with its PulseAudio server and session manager) whose default output
        is a null sink; False where none can be started."""
        if server == "pipewire":
            for n, name in enumerate(("pipewire", "wireplumber", "pipewire-pulse")):
                self.spawn(name, log=f"{name}.log", env={"XDG_STATE_HOME": str(self.work / "state")})
                n or wait_for(lambda: (self.work / "run" / "pipewire-0").exists(), "PipeWire did not start", 30)
            # A sound server of the machine's: slow to come up on a busy one.
            wait_for(lambda: "on PipeWire" in quiet("pactl", "info"), "PipeWire's PulseAudio server did not start", 30)
            run("pactl", "load-module", "module-null-sink", "sink_name=nullsink")
        elif not all(shutil.which(t) for t in ("pulseaudio", "pactl", "pacat", "parec")):
            return False
        else:
            self.spawn("pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                       "--load=module-null-sink sink_name=nullsink", "--load=module-native-protocol-unix",
                       log="pulseaudio.log")
        try:
            wait_for(lambda: subprocess.run(["pactl", "set-default-sink", "nullsink"], capture_output=True)
                     .returncode == 0, "no sound server")
        except AssertionError:
            return False
        return True

    def record(self, name="sound.wav"):
        """Records the null sink until stop_recording; a stream of silence keeps the sink mixing in small steps."""
        self.spawn("pacat", "--playback", "--latency-msec=20", "--raw", "--format=s16le", "--rate=44100",
                   "--channels=2", "/dev/zero")
        self.recorder = self.spawn("parec", "-d", "nullsink.monitor", "--latency-msec=20", "--file-format=wav",
                                   self.work / name)
        return self.work / name

    def stop_recording(self):
        self.recorder.send_signal(signal.SIGINT)
        self.recorder.wait(10)

    def server(self, script, *args, bus=None, log=None):
        """A stand-in service of tests/servers (given the address of a bus, "session" or "system"), once it prints
        "ready"; told on its standard input what a user does; p.seen(pattern, what) waits for a line of its log."""
        log = self.work / (log or f"{pathlib.Path(script).stem}.{len(self.procs)}.log")
        args = (os.environ[f"DBUS_{bus.upper()}_BUS_ADDRESS"], *args) if bus else args
        p = self.spawn("/usr/bin/python3", SERVERS / script, *args, log=log.name, stdin=subprocess.PIPE, text=True)
        wait_for(lambda: "ready" in _read(log) or p.poll() is not None, f"{script} did not start")
        assert p.poll() is None, f"{script} ended: {_read(log)}"
        p.log, p.seen = log, lambda pattern, what: wait_for(lambda: re.search(pattern, _read(log), re.M), what)
        return p

    def install(self):
        self.prog.mkdir(exist_ok=True)
        shutil.copy(PROGRAM, self.prog)
        if (chime := PROGRAM.parent / "Chime1.wav").exists():
            shutil.copy(chime, self.prog)
        return self

    def write_settings(self, **values):
        """The settings file as the program keeps it; keys as stored ("Last%20Check")."""
        self.settings.parent.mkdir(parents=True, exist_ok=True)
        lines = ["[Digital%20Clock]"] + [f"{k.replace(' ', '%20')}={v}" for k, v in values.items()]
        self.settings.write_text("\n".join(lines) + "\n")

    def setting(self, key):
        m = re.search(rf"^{re.escape(key.replace(' ', '%20'))}=(.*)$", _read(self.settings), re.M)
        return m and m.group(1)

    def cli(self, *args, stdin=None, env=None, timeout=60):
        """The command line, as a person types it: (status, output, errors)."""
        p = subprocess.run([str(self.prog / "tockwise"), *map(str, args)], input=stdin, capture_output=True,
                           text=True, timeout=timeout, env=dict(os.environ, **(env or {})))
        return p.returncode, p.stdout, p.stderr

    def clock(self, *args, at=None, env=None, **kw):
        return Clock(self, args, at, env, **kw)


class Clock:
    """The program; at (seconds since 1970) fakes its clock, which set() moves. Its trace lines are events."""

    def __init__(self, desk, args=(), at=None, env=None, poll=False, trace=True):
        self.desk = desk
        # A log of each start's own, so that one start's events are not taken for another's.
        logs = (desk.work / f"clock{n or ''}.log" for n in range(99))
        self.log = next(log for log in logs if not log.exists())
        self.offset_file = desk.work / "faketime.rc"
        extra = {"TOCKWISE_TRACE": "1"} if trace else {}
        if poll:
            extra["TOCKWISE_POLL_CLOCK"] = "1"  # the kernel cancels no timer for a faked jump
        if at is not None:
            self.set(at)
            extra.update(LD_PRELOAD=faketime_lib(), FAKETIME_TIMESTAMP_FILE=str(self.offset_file),
                         FAKETIME_NO_CACHE="1", FAKETIME_DONT_FAKE_MONOTONIC="1")
        extra.update(env or {})
        self.proc = desk.spawn(desk.prog / "tockwise", *args, log=self.log.name, env=extra)
        self.pid = self.proc.pid

    def set(self, when):
        """From now on the program reads when (seconds since 1970) as the present."""
        tmp = self.offset_file.with_suffix(".new")
        tmp.write_text("%+.3f" % (when - time.time()))
        tmp.replace(self.offset_file)

    def now(self):
        """The program's present, in seconds since 1970."""
        return time.time() + float(_read(self.offset_file) or 0)

    def wait_until(self, when):
        """Until the program's present is when, a moment a few seconds ahead."""
        wait_for(lambda: self.now() >= when, f"the program's clock did not reach {when}", when - self.now() + LIMIT)

    def traces(self, kind, ms=False):
        """The texts (or the milliseconds) of the trace lines of a kind."""
        lines = re.findall(rf"^tockwise-trace {re.escape(kind)} (\d+) ?(.*)$", _read(self.log), re.M)
        return [int(at) if ms else text for at, text in lines]

    def wait_for(self, kind, count=1, what=None, timeout=LIMIT):
        """Waits until count lines of kind were traced; their texts."""
        return wait_for(lambda: len(t := self.traces(kind)) >= count and t,
                        what or f"the clock traced {count} {kind!r} line(s), it had {self.traces(kind)}", timeout)

    def window(self, what="the clock window did not appear"):
        return window("Tockwise", (200, 70), self.pid, what)

    def alive(self):
        return self.proc.poll() is None

    def ends(self, what="the program did not end"):
        """Waits for the program to end by itself; its exit status."""
        return wait_for(lambda: not self.alive(), what) and self.status(self.proc.returncode)

    def status(self, code):  # the leak checker crashing at the exit is no fault of the program's (test.sh shows it)
        log = re.search(r"log_path=([^:]+)", os.environ.get("ASAN_OPTIONS", ""))
        return 0 if code and log and "LeakSanitizer has encountered a fatal" in _read(f"{log[1]}.{self.pid}") else code

    def stop(self, sig=signal.SIGTERM, timeout=LIMIT):
        """Signals the program and waits for its end; its exit status."""
        if self.alive():
            self.proc.send_signal(sig)
        try:
            return self.status(self.proc.wait(timeout))
        except subprocess.TimeoutExpired:
            raise AssertionError(f"the program did not end within {timeout:g} s of {signal.Signals(sig).name}")

    def menu(self, item, x=100):
        """A right click on the shaped clock (only a mouse can), then the item of its menu."""
        wid = self.window()
        self.desk.reader.app()  # on the accessibility bus, so that the menu is heard
        click(wid, x, 35, button=3)
        self.desk.reader.choose(item, f"a right click on the clock showed no menu with {item!r}")


WATCHER = "org.kde.StatusNotifierWatcher"


def bus_property(service, path, interface, name):
    """A session bus property as dbus-send prints it; empty when it cannot be read."""
    return quiet("dbus-send", "--session", "--print-reply", f"--dest={service}", path,
                 "org.freedesktop.DBus.Properties.Get", f"string:{interface}", f"string:{name}")


def sounds(wav):
    """[(start, end)] ms of each sound after a second of quiet (in 10 ms steps), and the recording's length in ms."""
    data = _read(wav, bytes)
    if b"data" not in data:
        return [], 0
    channels, rate = struct.unpack_from("<HI", data, data.index(b"fmt ") + 10)
    samples, step = data[data.index(b"data") + 8:], rate // 100 * channels
    v = array.array("h", samples[:len(samples) // 2 * 2])
    loud = [k * 10 for k in range(len(v) // step) if max(map(abs, v[k * step:(k + 1) * step])) > 300]
    gaps = [i for i in range(1, len(loud)) if loud[i] - loud[i - 1] > 1000]  # where a sound begins after quiet
    return [(loud[a], loud[b - 1]) for a, b in zip([0] + gaps, gaps + [len(loud)]) if loud], len(v) // step * 10


def faketime_lib():
    assert (found := next(pathlib.Path("/usr/lib").glob("*/faketime/libfaketime.so.1"), None)), "no libfaketime.so.1"
    return str(found)


class Reader:
    """The program's controls as AT-SPI shows them: found by role and name, pressed by their action, read as text."""

    def __init__(self):
        import pyatspi  # Debian's own, for /usr/bin/python3
        from gi.repository import GLib
        self.atspi = pyatspi
        self.context = GLib.MainContext.default()
        # A pop-up menu is no child of the application; a screen reader hears
        # of it when it is shown.
        self.popups = []
        self.focused = []  # (role, name) of each object given the focus, in turn
        self._app = None
        pyatspi.Registry.registerEventListener(self._shown, "object:state-changed:showing")
        pyatspi.Registry.registerEventListener(self._focus, "object:state-changed:focused")

    def _shown(self, event):
        with contextlib.suppress(Exception):
            if event.detail1 and event.source.getRoleName() == "popup menu":
                self.popups.append(event.source)

    def _focus(self, event):
        with contextlib.suppress(Exception):
            if event.detail1:
                self.focused.append((event.source.getRoleName(), event.source.name))

    def pump(self):
        """Takes in what the program announced (and keeps the tree as it is now)."""
        while self.context.pending():
            self.context.iteration(False)

    def app(self):
        # The one found last while it answers: a slow program (the sanitizers')
        # is not asked to name itself again at every look.
        with contextlib.suppress(Exception):
            if self._app is not None and self._app.name == "Tockwise":
                return self._app

        def look():
            self.pump()
            return next((a for a in self.atspi.Registry.getDesktop(0) if a is not None and a.name == "Tockwise"), None)
        self._app = wait_for(look, "the program is not on the accessibility bus")
        return self._app

    def choose(self, item, what=None):
        """The item of the menu open now, as a screen reader's user picks it: Down until it is heard, then Return."""
        def menu():
            self.pump()
            for m in reversed(self.popups):
                with contextlib.suppress(Exception):
                    if self.has(m, "showing") and next(self.all("menu item", item, m), None):
                        return m
        m = wait_for(menu, what or f"no open menu offers {item!r}")
        for _ in range(m.childCount + 1):
            heard = len(self.focused)
            key("Down")
            wait_for(lambda: self.pump() or len(self.focused) > heard, f"Down in the menu with {item!r} moved nowhere")
            if self.focused[-1] == ("menu item", item):
                key("Return")
                wait_for(lambda: self.pump() or not self.has(m, "showing"), f"the menu stayed open after {item!r}")
                return
        raise AssertionError(f"Down never reached {item!r} in the menu")

    def menus(self):
        """The menus open now, after a question to the program while it runs: all it announced before is heard."""
        with contextlib.suppress(Exception):
            self._app.name if self._app else self.app()
        self.pump()
        return [m for m in self.popups if self.has(m, "showing")]

    def all(self, role=None, name=None, within=None):
        """What is in the tree of that role and name (a text, or a test of it)."""
        def walk(o):
            yield o
            for child in (c for c in map(o.getChildAtIndex, range(o.childCount)) if c is not None):
                yield from walk(child)
        self.pump()
        for o in walk(within or self.app()):
            with contextlib.suppress(Exception):  # an object gone while the tree was read
                if (role is None or o.getRoleName() == role) and (name is None or (
                        name(o.name) if callable(name) else o.name == name)):
                    yield o

    def find(self, role, name=None, within=None, what=None, timeout=LIMIT, showing=True):
        def first():
            for o in self.all(role, name, within):
                if not showing or o.getState().contains(self.atspi.STATE_SHOWING):
                    return o
        return wait_for(first, what or f"no {role} named {name!r} could be found", timeout)

    def press(self, role, name=None, within=None, what=None, action=None):
        o = self.find(role, name, within, what)
        actions = o.queryAction()
        names = [actions.getName(i).lower() for i in range(actions.nActions)]
        for wanted in (action,) if action else ("press", "click", "activate", "toggle", "showmenu"):
            if wanted in names:
                assert actions.doAction(names.index(wanted)), f"the {role} {name!r} did not take {wanted!r}"
                return o
        raise AssertionError(f"the {role} {name!r} offers no press action, only {names}")

    def new_alarm(self, name=""):
        """"Add New" of the open alarm list: the editor, with the name typed into it."""
        self.press("push button", "Add New", what='no alarm list with "Add New" was shown')
        window(*EDITOR, what='"Add New" showed no editor')
        self.focus("text", "Name")
        type_text(name)

    def rows(self, list_name, role="list"):
        """The rows of a list as a screen reader reads them (a blank one left out)."""
        return [o.name for o in self.all("list item", None, self.find(role, list_name)) if o.name]

    def labelled_by(self, o):
        return [r.getTarget(0).name for r in o.getRelationSet()
                if r.getRelationType() == self.atspi.RELATION_LABELLED_BY]

    def has(self, o, state):  # False for an object gone
        with contextlib.suppress(Exception):
            return o.getState().contains(getattr(self.atspi, "STATE_" + state.upper()))
        return False

    def gone(self, role, name=None, what=None):
        """Waits until nothing of that role and name is on screen."""
        wait_for(lambda: not any(self.has(o, "showing") for o in self.all(role, name)),
                 what or f"the {role} {name!r} stayed on screen")

    def extents(self, o):
        """(x, y, width, height) of an object on screen."""
        e = o.queryComponent().getExtents(self.atspi.DESKTOP_COORDS)
        return e.x, e.y, e.width, e.height

    def click(self, o, button=1, repeat=1):
        """A click in the middle of an object, for what only a mouse does (a row, a tray message)."""
        x, y, w, h = self.extents(o)
        run("xdotool", "mousemove", x + w // 2, y + h // 2, "click", "--repeat", repeat, "--delay", 120, button)

    def focus(self, role, name=None, within=None):
        """Gives a control the keyboard focus, as Tab would; what is typed then goes to it."""
        o = self.find(role, name, within)
        o.queryComponent().grabFocus()
        self.wait_state(o, "focused", what=f"the {role} {name!r} did not take the focus")
        return o

    def wait_state(self, o, state, on=True, what=None):
        wait_for(lambda: self.pump() or self.has(o, state) == on,
                 what or f"{o.getRoleName()} {o.name!r} is {'not ' if on else ''}{state}")

    def text(self, o):
        return (t := o.queryText()).getText(0, t.characterCount)


def _bus(*config):
    """A bus daemon of the test's own: its address, and its process."""
    p = subprocess.Popen(["dbus-daemon", *config, "--nofork", "--print-address=1"], stdout=subprocess.PIPE, text=True)
    return p.stdout.readline().strip(), p


def _read(path, kind=str):
    try:
        return pathlib.Path(path).read_text(errors="replace") if kind is str else pathlib.Path(path).read_bytes()
    except OSError:
        return kind()
