#!/usr/bin/python3
"""Stands in for a desktop's services on a private session bus.

fake_desktop.py ADDRESS portal|screensaver [NAME=STATUS...]

portal: org.freedesktop.portal.Desktop's Inhibit, each returning a request
object whose Close ends it. screensaver: org.freedesktop.ScreenSaver and
org.freedesktop.PowerManagement.Inhibit, Inhibit returning a cookie that
UnInhibit ends. Each NAME=STATUS is a media player org.mpris.MediaPlayer2.NAME
(on a connection of its own, as a real player has) with that PlaybackStatus;
Play and Pause set it. A line "NAME STATUS" on standard input sets it as the
user would. Every call is printed as "TIME WHAT ARGS...". "ready" once all
names are owned."""
import sys
import time

from gi.repository import Gio, GLib

ADDRESS, MODE = sys.argv[1], sys.argv[2]
PLAYERS = dict(arg.split("=", 1) for arg in sys.argv[3:])
FLAGS = Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
loop = GLib.MainLoop()
pending = []


def say(*words):
    print("%.3f %s" % (time.time(), " ".join(str(w) for w in words)), flush=True)


def interface(xml):
    return Gio.DBusNodeInfo.new_for_xml("<node>%s</node>" % xml).interfaces[0]


def own(bus, name):
    pending.append(name)

    def owned(*_):
        pending.remove(name)
        if not pending:
            print("ready", flush=True)

    Gio.bus_own_name_on_connection(bus, name, Gio.BusNameOwnerFlags.NONE, owned, None)


def connect():
    return Gio.DBusConnection.new_for_address_sync(ADDRESS, FLAGS, None, None)


desktop = connect()
if MODE == "portal":
    requests = []
    REQUEST = interface('<interface name="org.freedesktop.portal.Request"><method name="Close"/></interface>')

    def request_call(_b, _s, path, _i, method, _args, invocation):
        say("portal-close", path)
        invocation.return_value(None)

    def portal_call(_b, _s, _p, _i, method, args, invocation):
        window, flags, options = args.unpack()
        path = "/org/freedesktop/portal/desktop/request/tockwise/%d" % (len(requests) + 1)
        requests.append(desktop.register_object(path, REQUEST, request_call, None, None))
        say("portal-inhibit", flags, options.get("reason", ""), path)
        invocation.return_value(GLib.Variant("(o)", (path,)))

    desktop.register_object("/org/freedesktop/portal/desktop", interface(
        '<interface name="org.freedesktop.portal.Inhibit"><method name="Inhibit"><arg type="s" direction="in"/>'
        '<arg type="u" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>'
        '</interface>'), portal_call, None, None)
    own(desktop, "org.freedesktop.portal.Desktop")
else:
    cookies = [0]

    def cookie_call(_b, _s, path, _i, method, args, invocation):
        if method == "Inhibit":
            cookies[0] += 1
            say("inhibit", path, cookies[0], *args.unpack())
            invocation.return_value(GLib.Variant("(u)", (cookies[0],)))
        else:
            say("uninhibit", path, *args.unpack())
            invocation.return_value(None)

    for name, path in (("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver"),
                       ("org.freedesktop.PowerManagement.Inhibit", "/org/freedesktop/PowerManagement/Inhibit")):
        desktop.register_object(path, interface(
            '<interface name="%s"><method name="Inhibit"><arg type="s" direction="in"/><arg type="s" direction="in"/>'
            '<arg type="u" direction="out"/></method><method name="UnInhibit"><arg type="u" direction="in"/></method>'
            '</interface>' % name), cookie_call, None, None)
        own(desktop, name)

PLAYER = interface('<interface name="org.mpris.MediaPlayer2.Player"><method name="Play"/><method name="Pause"/>'
                   '<property name="PlaybackStatus" type="s" access="read"/></interface>')
status = dict(PLAYERS)


def player(name):
    bus = connect()

    def call(_b, _s, _p, _i, method, _args, invocation):
        say(method.lower(), name)
        status[name] = "Playing" if method == "Play" else "Paused"
        invocation.return_value(None)

    def get(_b, _s, _p, _i, prop):
        return GLib.Variant("s", status[name])

    bus.register_object("/org/mpris/MediaPlayer2", PLAYER, call, get, None)
    own(bus, "org.mpris.MediaPlayer2." + name)
    return bus


buses = [player(name) for name in PLAYERS]


def typed(channel, _condition):
    line = channel.readline()
    if not line:
        return GLib.SOURCE_REMOVE
    name, new = line.split()
    status[name] = new
    say("user", name, new)
    return GLib.SOURCE_CONTINUE


GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP, typed)
loop.run()
