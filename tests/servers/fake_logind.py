#!/usr/bin/python3
"""Stands in for the system's session manager on a private bus: owns
org.freedesktop.login1 and, at each SIGUSR1, says the computer went to sleep
and woke again (PrepareForSleep true, then false).

Inhibit(what, who, why, mode) hands out the write end of a pipe as the
inhibitor's descriptor, as logind does with a FIFO of its own, and prints
"inhibit TIME WHAT|WHO|WHY|MODE"; once every copy of that end is closed the
read end sees end-of-file and it prints "released TIME"."""
import os
import signal
import sys
import time

from gi.repository import Gio, GLib

bus = Gio.DBusConnection.new_for_address_sync(
    sys.argv[1], Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
loop = GLib.MainLoop()

MANAGER = Gio.DBusNodeInfo.new_for_xml("""
<node><interface name="org.freedesktop.login1.Manager">
  <method name="Inhibit">
    <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="s" direction="in"/>
    <arg type="s" direction="in"/><arg type="h" direction="out"/>
  </method>
  <signal name="PrepareForSleep"><arg type="b"/></signal>
</interface></node>""").interfaces[0]


def released(fd, _condition):
    if os.read(fd, 64):
        return GLib.SOURCE_CONTINUE
    print("released %.3f" % time.time(), flush=True)
    os.close(fd)
    return GLib.SOURCE_REMOVE


def call(_bus, _sender, _path, _interface, method, args, invocation):
    if method != "Inhibit":
        invocation.return_dbus_error("org.freedesktop.DBus.Error.UnknownMethod", method)
        return
    print("inhibit %.3f %s" % (time.time(), "|".join(args.unpack())), flush=True)
    read_end, write_end = os.pipe()
    fds = Gio.UnixFDList.new()
    fds.append(write_end)  # the list holds a copy of its own
    os.close(write_end)
    GLib.io_add_watch(read_end, GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP, released)
    invocation.return_value_with_unix_fd_list(GLib.Variant("(h)", (0,)), fds)


def owned(*_):
    print("ready", flush=True)


def wake():
    for start in (True, False):
        bus.emit_signal(None, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
                        GLib.Variant("(b)", (start,)))
    bus.flush_sync(None)
    return GLib.SOURCE_CONTINUE


bus.register_object("/org/freedesktop/login1", MANAGER, call, None, None)
Gio.bus_own_name_on_connection(bus, "org.freedesktop.login1", Gio.BusNameOwnerFlags.NONE, owned, None)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, wake)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, lambda: loop.quit() or GLib.SOURCE_REMOVE)
loop.run()
