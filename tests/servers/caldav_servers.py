"""Calendar servers for the sync journeys: a real Radicale on loopback, as a
user's own server is, with what a phone sends it; fake_caldav.py, which
misbehaves on purpose, with the settings of a program that syncs with it; and
the user's other computers, whose command lines the journeys use. Imported by
the tests (harness is theirs)."""

import base64
import copy
import os
import re
import shlex
import shutil
import signal
import socket
import ssl
import subprocess
import time
import urllib.error
import urllib.request

import pytest

import harness as h

USER, PASSWORD = "me", "secret"


def password_file(desk):
    """The user's password in a file of hers alone, as --sync-setup asks."""
    path = desk.work / "password"
    path.write_text(PASSWORD + "\n")
    path.chmod(0o600)
    return path


@pytest.fixture
def cal(desk):
    """A Radicale of the test's own, the program installed (the journeys import these fixtures)."""
    if not (shutil.which("radicale") and shutil.which("openssl")):
        pytest.skip("radicale or openssl missing")
    return Radicale(desk.install())


@pytest.fixture
def b(desk):
    """The user's second computer, B (the desk's is A)."""
    return home(desk, "b")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Radicale:
    """Radicale with the user me, her calendar to be at url; over TLS with a
    certificate of its own (self-signed) when tls. setup: the command line of
    --sync-setup for it."""

    def __init__(self, desk, tls=False):
        self.desk, port, self.proc = desk, free_port(), None
        self.store = desk.work / ("radicale-tls" if tls else "radicale")
        self.root = f"{'https' if tls else 'http'}://127.0.0.1:{port}/"
        self.url = f"{self.root}{USER}/alarms/"
        self.password = password_file(desk)
        self.setup = f"--sync-setup {self.url} --user {USER} --password-file {shlex.quote(str(self.password))}"
        users = desk.work / "users"
        users.write_text(f"{USER}:{PASSWORD}\n")
        self.args = ["radicale", "--storage-filesystem-folder", self.store, "--server-hosts", f"127.0.0.1:{port}",
                     "--auth-type", "htpasswd", "--auth-htpasswd-filename", users,
                     "--auth-htpasswd-encryption", "plain"]
        self.context = None
        if tls:
            key, cert = desk.work / "key.pem", desk.work / "cert.pem"
            h.run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                  "-days", 2, "-subj", "/CN=127.0.0.1")
            self.args += ["--server-ssl", "True", "--server-certificate", cert, "--server-key", key]
            # The phone and this test trust it; the program must not.
            self.context = ssl.create_default_context()
            self.context.check_hostname, self.context.verify_mode = False, ssl.CERT_NONE
        self.start()

    def start(self):
        self.proc = self.desk.spawn(*self.args, log="radicale.log")
        h.wait_for(lambda: self.request("PROPFIND", self.root, headers={"Depth": "0"}) is not None
                   or self.proc.poll() is not None, "radicale did not start")
        assert self.proc.poll() is None, f"radicale ended: {h._read(self.desk.work / 'radicale.log')[-500:]}"
        return self

    def stop(self):
        self.proc.terminate()
        h.wait_for(lambda: self.proc.poll() is not None, "radicale did not stop")

    def request(self, method, url, data=None, headers=None):
        """The answer's body, None when there is none (refused, not found, no server)."""
        auth = base64.b64encode(f"{USER}:{PASSWORD}".encode()).decode()
        req = urllib.request.Request(url, data, method=method, headers={"Authorization": f"Basic {auth}",
                                                                        **(headers or {})})
        try:
            with urllib.request.urlopen(req, timeout=20, context=self.context) as answer:
                return answer.read().decode()
        except (OSError, urllib.error.URLError):
            return None

    def events(self):
        """The events of the calendar, as files of the store."""
        return sorted((self.store / "collection-root" / USER / "alarms").glob("*.ics"))

    # The phone: another calendar program, which reads and writes events as it likes.
    def phone(self, **rules):
        """Events of the phone's own, NAME=RULE: each at 06:30 from 10 December 2026 on, in NAME.ics (lower case)."""
        for name, rule in rules.items():
            self.put(f"{name.lower()}.ics", event(f"phone-{name.lower()}", name, rule))

    def put(self, name, body):
        assert self.request("PUT", self.url + name, body.encode(), {"Content-Type": "text/calendar"}) is not None, \
            f"the phone could not write its event {name}"

    def get(self, name):
        return self.request("GET", self.url + name)


def event(uid, summary, rule):
    """An event as a phone's calendar writes it: 06:30 from 10 December 2026 on, repeating by the rule."""
    return ("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Phone//EN\r\nBEGIN:VEVENT\r\nUID:%s\r\n"
            "DTSTAMP:20261201T100000Z\r\nDTSTART:20261210T063000\r\nRRULE:FREQ=%s\r\nSUMMARY:%s\r\n"
            "LOCATION:Town hall\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n" % (uid, rule, summary))


def batch(desk, count):
    """An iCalendar file of count one-off events, "Batch 1" ... at 00:01, 00:02, ... of 1 January 2030."""
    path = desk.work / "batch.ics"
    path.write_text("".join(f"BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:Batch {i}\r\nDTSTART:20300101T"
                            f"{i // 60 % 24:02d}{i % 60:02d}00\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"
                            for i in range(1, count + 1)))
    return path


def session_manager(desk):
    """The stand-in session manager on a system bus of the desk's own; a function
    that has it say the computer slept and woke, and gives the time it did."""
    desk.start_system_bus()
    logind = desk.server("fake_logind.py", bus="system")

    def wake():
        woke = time.monotonic()
        logind.send_signal(signal.SIGUSR1)
        return woke
    return wake


def fake(desk, name, *options, last_check=None):
    """fake_caldav.py with those options, and the settings of a program that
    syncs with it; its log of what it did."""
    log = desk.work / f"{name}.log"
    desk.server("fake_caldav.py", desk.work / f"{name}.port", log, *options, log=f"{name}.out")
    port = (desk.work / f"{name}.port").read_text()
    desk.settings.parent.mkdir(parents=True, exist_ok=True)
    desk.settings.write_text("[Digital%20Clock]\n" + (f"Last%20Check={last_check}\n" if last_check else "")
                             + f"Visible=True\n[Sync]\nURL=http://127.0.0.1:{port}/cal/\nUser={USER}\n"
                             f"Password%20File={password_file(desk)}\n")
    return log


# --- the user's computers -------------------------------------------------------

def home(desk, name):
    """Another computer of the same user beside the desk's: a program folder
    and per-user folders of its own (env), its processes ended with the desk's."""
    other = copy.copy(desk)
    other.prog = desk.work / name
    other.env = {v: str(other.prog / v) for v in
                 ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME")}
    for folder in other.env.values():
        os.makedirs(folder, mode=0o700)
    return other.install()


def ok(computer, *commands, status=0, timeout=60):
    """Each command line ("--add Tea --at 16:30 --daily") on a computer in
    turn, its exit status checked; the last one's output, both streams."""
    for command in commands:
        try:
            got, out, err = computer.cli(*shlex.split(command), env=getattr(computer, "env", None), timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"tockwise {command} did not end within {timeout} s") from None
        assert got == status, f"tockwise {command} ended with {got}, not {status}: {out}{err}"
    return out + err


def row(computer, name):
    """The number of the first alarm of that name --list shows."""
    listed = ok(computer, "--list")
    found = re.search(rf"^(\d+)\t.*\t{re.escape(name)}\t", listed, re.M)
    assert found, f"no alarm is named {name!r}: {listed}"
    return found.group(1)


def ended(proc, what, timeout=30):
    """Waits for a process to end; its exit status."""
    h.wait_for(lambda: proc.poll() is not None, what, timeout)
    return proc.returncode


def has(computer, pattern, what, timeout=15):
    """Waits until --list shows a line that matches (a clock starting may not answer at once)."""
    def listing():
        return computer.cli("--list", env=getattr(computer, "env", None))[1]
    h.wait_for(lambda: re.search(pattern, listing(), re.M), f"{what}: {listing()}", timeout)
