#!/usr/bin/python3
"""Stands in for a desktop's notification server on a private session bus.

fake_notifications.py ADDRESS [CAPABILITY...]

Owns org.freedesktop.Notifications and answers GetCapabilities with the
capabilities given. Each Notify is printed as
"TIME notify ID APP|REPLACES|ICON|SUMMARY|BODY|ACTIONS|HINTS|TIMEOUT", actions
joined by commas, hints as sorted "key=type:value" joined by commas; each
CloseNotification as "TIME close ID". A line on standard input makes the
server act as a user or a server would: "action ID KEY" emits ActionInvoked,
"closed ID REASON" NotificationClosed. "ready" once the name is owned."""
import sys
import time

from gi.repository import Gio, GLib

ADDRESS, CAPABILITIES = sys.argv[1], sys.argv[2:]
FLAGS = Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
PATH = "/org/freedesktop/Notifications"
NAME = "org.freedesktop.Notifications"
XML = """<node><interface name="org.freedesktop.Notifications">
<method name="GetCapabilities"><arg type="as" direction="out"/></method>
<method name="Notify"><arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
<arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
<arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="out"/></method>
<method name="CloseNotification"><arg type="u" direction="in"/></method>
<method name="GetServerInformation"><arg type="s" direction="out"/><arg type="s" direction="out"/>
<arg type="s" direction="out"/><arg type="s" direction="out"/></method>
<signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal>
<signal name="NotificationClosed"><arg type="u"/><arg type="u"/></signal>
</interface></node>"""
bus = Gio.DBusConnection.new_for_address_sync(ADDRESS, FLAGS, None, None)
last = [0]


def say(*words):
    print("%.3f %s" % (time.time(), " ".join(str(w) for w in words)), flush=True)


def call(_b, _sender, _p, _i, method, args, invocation):
    if method == "GetCapabilities":
        invocation.return_value(GLib.Variant("(as)", (CAPABILITIES,)))
    elif method == "GetServerInformation":
        invocation.return_value(GLib.Variant("(ssss)", ("stand-in", "tockwise", "1", "1.2")))
    elif method == "Notify":
        last[0] += 1
        hints = args.get_child_value(6)
        shown = []
        for i in range(hints.n_children()):
            entry = hints.get_child_value(i)
            value = entry.get_child_value(1).get_variant()
            shown.append("%s=%s:%s" % (entry.get_child_value(0).get_string(), value.get_type_string(),
                                       value.unpack()))
        app, replaces, icon, summary, body, actions, _, timeout = args.unpack()
        say("notify", last[0], "|".join(str(f) for f in (app, replaces, icon, summary, body, ",".join(actions),
                                                          ",".join(sorted(shown)), timeout)))
        invocation.return_value(GLib.Variant("(u)", (last[0],)))
    else:
        say("close", *args.unpack())
        invocation.return_value(None)


bus.register_object(PATH, Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0], call, None, None)
Gio.bus_own_name_on_connection(bus, NAME, Gio.BusNameOwnerFlags.NONE, lambda *_: print("ready", flush=True), None)


def typed(channel, _condition):
    line = channel.readline()
    if not line:
        return GLib.SOURCE_REMOVE
    what, ident, arg = line.split()
    if what == "action":
        bus.emit_signal(None, PATH, NAME, "ActionInvoked", GLib.Variant("(us)", (int(ident), arg)))
    else:
        bus.emit_signal(None, PATH, NAME, "NotificationClosed", GLib.Variant("(uu)", (int(ident), int(arg))))
    bus.flush_sync(None)
    say("sent", what, ident, arg)
    return GLib.SOURCE_CONTINUE


GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP, typed)
GLib.MainLoop().run()
