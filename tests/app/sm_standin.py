"""A stand-in for the desktop's session manager on a private session bus.

    sm_standin.py LOGFILE

Owns org.gnome.SessionManager, answers Inhibit and Uninhibit as gnome-session does and
writes one line per call to LOGFILE: "Inhibit APP XID REASON FLAGS -> COOKIE" or
"Uninhibit COOKIE". Writes "ready" once it owns the name.
"""
import sys

from gi.repository import Gio, GLib

XML = """
<node>
  <interface name="org.gnome.SessionManager">
    <method name="Inhibit">
      <arg type="s" name="app_id" direction="in"/>
      <arg type="u" name="toplevel_xid" direction="in"/>
      <arg type="s" name="reason" direction="in"/>
      <arg type="u" name="flags" direction="in"/>
      <arg type="u" name="inhibit_cookie" direction="out"/>
    </method>
    <method name="Uninhibit">
      <arg type="u" name="inhibit_cookie" direction="in"/>
    </method>
    <method name="IsInhibited">
      <arg type="u" name="flags" direction="in"/>
      <arg type="b" name="is_inhibited" direction="out"/>
    </method>
  </interface>
</node>
"""

log = open(sys.argv[1], "a", encoding="utf-8", buffering=1)
held = {}
next_cookie = [1000]


def call(conn, sender, path, iface, method, params, inv):
    if method == "Inhibit":
        app, xid, reason, flags = params.unpack()
        next_cookie[0] += 7
        cookie = next_cookie[0]
        held[cookie] = flags
        log.write("Inhibit %s %d %s %d -> %d\n" % (app, xid, reason, flags, cookie))
        inv.return_value(GLib.Variant("(u)", (cookie,)))
    elif method == "Uninhibit":
        (cookie,) = params.unpack()
        log.write("Uninhibit %d\n" % cookie)
        if held.pop(cookie, None) is None:
            inv.return_dbus_error("org.gnome.SessionManager.GeneralError",
                                  "Unable to uninhibit: Invalid cookie")
        else:
            inv.return_value(None)
    elif method == "IsInhibited":
        (flags,) = params.unpack()
        inv.return_value(GLib.Variant("(b)", (any(f & flags for f in held.values()),)))


def acquired(conn, name):
    log.write("ready\n")


def bus_acquired(conn, name):
    info = Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0]
    conn.register_object("/org/gnome/SessionManager", info, call, None, None)


Gio.bus_own_name(Gio.BusType.SESSION, "org.gnome.SessionManager", Gio.BusNameOwnerFlags.NONE,
                 bus_acquired, acquired, lambda *a: sys.exit(1))
GLib.MainLoop().run()
