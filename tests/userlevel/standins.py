"""Stand-ins for the desktop's services on the test's private buses, noting each call in a log.

  standins.py portal LOG      the desktop portal on the session bus: GlobalShortcuts (SIGUSR1
                              presses every bound shortcut) and Inhibit
  standins.py logind LOG ADDR logind's Manager.Inhibit on the bus at ADDR (a private system bus)
"""

import os
import signal
import sys
import time

from gi.repository import Gio, GLib

PORTAL_XML = """<node>
<interface name="org.freedesktop.portal.GlobalShortcuts">
  <method name="CreateSession"><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
  <method name="BindShortcuts"><arg type="o" direction="in"/><arg type="a(sa{sv})" direction="in"/>
    <arg type="s" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
  <signal name="Activated"><arg type="o"/><arg type="s"/><arg type="t"/><arg type="a{sv}"/></signal>
</interface>
<interface name="org.freedesktop.portal.Inhibit">
  <method name="Inhibit"><arg type="s" direction="in"/><arg type="u" direction="in"/>
    <arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
</interface></node>"""
REQUEST_XML = """<node><interface name="org.freedesktop.portal.Request"><method name="Close"/></interface></node>"""
LOGIND_XML = """<node><interface name="org.freedesktop.login1.Manager">
  <method name="Inhibit"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="s" direction="in"/>
    <arg type="s" direction="in"/><arg type="h" direction="out"/></method>
</interface></node>"""
PATH = "/org/freedesktop/portal/desktop"

log_path = sys.argv[2]
bound = []  # (connection, session, shortcut ids)
keep = []   # GLib sources and registrations that must live on


def note(line):
    with open(log_path, "a") as f:
        f.write(line + "\n")


def handle(sender, kind, token):
    return f"{PATH}/{kind}/{sender[1:].replace('.', '_')}/{token}"


def respond(conn, path, results):
    conn.emit_signal(None, path, "org.freedesktop.portal.Request", "Response",
                     GLib.Variant("(ua{sv})", (0, results)))
    return False


def portal_call(conn, sender, path, iface, method, params, invocation):
    args = params.unpack()
    if method == "CreateSession":
        options = args[0]
        request = handle(sender, "request", options["handle_token"])
        session = handle(sender, "session", options["session_handle_token"])
        note(f"session {session}")
        invocation.return_value(GLib.Variant("(o)", (request,)))
        GLib.idle_add(respond, conn, request, {"session_handle": GLib.Variant("s", session)})
    elif method == "BindShortcuts":
        session, shortcuts, _parent, options = args
        for shortcut_id, props in shortcuts:
            note(f"bind {shortcut_id} {props.get('description', '')}")
        bound.append((conn, session, [s[0] for s in shortcuts]))
        request = handle(sender, "request", options["handle_token"])
        invocation.return_value(GLib.Variant("(o)", (request,)))
        GLib.idle_add(respond, conn, request, {})
    elif method == "Inhibit":
        _window, flags, options = args
        request = handle(sender, "request", f"inhibit{time.monotonic_ns()}")
        info = Gio.DBusNodeInfo.new_for_xml(REQUEST_XML).interfaces[0]

        def close(c, s, p, i, m, params2, inv, path=request):
            note(f"portal-release {path}")
            inv.return_value(None)

        keep.append(conn.register_object(request, info, close, None, None))
        note(f"portal-inhibit {flags} {options.get('reason', '')}")
        invocation.return_value(GLib.Variant("(o)", (request,)))


def press(*_):
    for conn, session, ids in bound:
        for shortcut_id in ids:
            note(f"activated {shortcut_id}")
            conn.emit_signal(None, PATH, "org.freedesktop.portal.GlobalShortcuts", "Activated",
                             GLib.Variant("(osta{sv})", (session, shortcut_id, int(time.time() * 1000), {})))
    return True


def logind_call(conn, sender, path, iface, method, params, invocation):
    what, who, why, mode = params.unpack()
    note(f"inhibit {what} {who} {why} {mode}")
    read_end, write_end = os.pipe()
    fds = Gio.UnixFDList.new()
    index = fds.append(write_end)
    os.close(write_end)
    invocation.return_value_with_unix_fd_list(GLib.Variant("(h)", (index,)), fds)

    # The holder closing its descriptor is the release.
    def closed(fd, condition):
        if os.read(fd, 1) == b"":
            note("released")
            os.close(fd)
            return False
        return True

    keep.append(GLib.unix_fd_add_full(GLib.PRIORITY_DEFAULT, read_end, GLib.IOCondition.IN | GLib.IOCondition.HUP,
                                      closed))


def main():
    mode = sys.argv[1]
    if mode == "portal":
        def acquired(conn, name):
            for info in Gio.DBusNodeInfo.new_for_xml(PORTAL_XML).interfaces:
                keep.append(conn.register_object(PATH, info, portal_call, None, None))
            note("ready")

        Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.portal.Desktop", 0, None, acquired, None)
        GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, press)
    else:
        conn = Gio.DBusConnection.new_for_address_sync(
            sys.argv[3], Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
            None, None)
        info = Gio.DBusNodeInfo.new_for_xml(LOGIND_XML).interfaces[0]
        keep.append(conn.register_object("/org/freedesktop/login1", info, logind_call, None, None))
        keep.append(conn)
        Gio.bus_own_name_on_connection(conn, "org.freedesktop.login1", 0, lambda *a: note("ready"), None)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
