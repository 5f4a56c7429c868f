"""A stand-in desktop notification service (org.freedesktop.Notifications) on the session
bus: every notification it is sent becomes one JSON line in the file named by the first
argument. Prints "ready" once it owns the name."""
import json
import sys

from gi.repository import Gio, GLib

XML = """
<node>
  <interface name="org.freedesktop.Notifications">
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/>
      <arg type="u" direction="out"/>
    </method>
    <method name="CloseNotification"><arg type="u" direction="in"/></method>
    <method name="GetCapabilities"><arg type="as" direction="out"/></method>
    <method name="GetServerInformation">
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
    </method>
  </interface>
</node>
"""

out = open(sys.argv[1], "a", encoding="utf-8")
count = 0


def call(conn, sender, path, iface, method, params, invocation):
    global count
    if method == "Notify":
        app, _replaces, _icon, summary, body, actions, hints, timeout = params.unpack()
        count += 1
        out.write(json.dumps({"app": app, "summary": summary, "body": body,
                              "actions": actions, "hints": hints, "timeout": timeout},
                             ensure_ascii=False) + "\n")
        out.flush()
        invocation.return_value(GLib.Variant("(u)", (count,)))
    elif method == "GetCapabilities":
        invocation.return_value(GLib.Variant("(as)", (["body", "actions"],)))
    elif method == "GetServerInformation":
        invocation.return_value(GLib.Variant("(ssss)", ("notifyd", "test", "1", "1.2")))
    else:
        invocation.return_value(None)


def acquired(conn, name):
    print("ready", flush=True)


def bus_acquired(conn, name):
    node = Gio.DBusNodeInfo.new_for_xml(XML)
    conn.register_object("/org/freedesktop/Notifications", node.interfaces[0], call)


def lost(conn, name):
    sys.exit(1)


Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.Notifications",
                 Gio.BusNameOwnerFlags.NONE, bus_acquired, acquired, lost)
GLib.MainLoop().run()
