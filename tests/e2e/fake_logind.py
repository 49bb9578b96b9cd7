#!/usr/bin/python3
"""Stands in for the system's session manager on a private bus: owns
org.freedesktop.login1 and, at each SIGUSR1, says the computer went to sleep
and woke again (PrepareForSleep true, then false)."""
import signal
import sys

from gi.repository import Gio, GLib

bus = Gio.DBusConnection.new_for_address_sync(
    sys.argv[1], Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
loop = GLib.MainLoop()


def owned(*_):
    print("ready", flush=True)


def wake():
    for start in (True, False):
        bus.emit_signal(None, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
                        GLib.Variant("(b)", (start,)))
    bus.flush_sync(None)
    return GLib.SOURCE_CONTINUE


Gio.bus_own_name_on_connection(bus, "org.freedesktop.login1", Gio.BusNameOwnerFlags.NONE, owned, None)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, wake)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, lambda: loop.quit() or GLib.SOURCE_REMOVE)
loop.run()
