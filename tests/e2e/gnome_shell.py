"""Talks to a GNOME Shell on the session bus, as the desktop's own parts do.

    gnome_shell.py windows         prints the windows GNOME Shell lists (org.gnome.Shell.Introspect),
                                   one JSON object a line: title, wm-class (a Wayland window's app
                                   id), app-id (the desktop entry GNOME matched it to, or
                                   "window:N" when none), width, height, has-focus
    gnome_shell.py keyboard        a keyboard through mutter's remote desktop interface, as a
                                   remote desktop client has it: reads lines of steps, and
                                   answers "." once it has taken each (and once it is there);
                                   a step is "+CODE" (down), "-CODE" (up) or a pause in seconds,
                                   CODE being evdev's

Introspect answers only the screen-sharing portal's backends: this owns one of their names on the
test's private bus first. Runs on Debian's own python3, which has the GObject bindings.
"""
import json
import sys
import time

from gi.repository import Gio, GLib

PORTAL = "org.freedesktop.impl.portal.desktop.gnome"
REMOTE_DESKTOP = "org.gnome.Mutter.RemoteDesktop"


def call(bus, name, path, interface, method, args=None):
    return bus.call_sync(name, path, interface, method, args, None, Gio.DBusCallFlags.NONE, 10000, None).unpack()


def windows(bus):
    reply, = call(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                  GLib.Variant("(su)", (PORTAL, 4)))  # DBUS_NAME_FLAG_DO_NOT_QUEUE
    if reply != 1:
        sys.exit("gnome_shell.py: could not own " + PORTAL)
    # The shell learns the new owner of the name from a signal; ask until it has.
    for _ in range(50):
        try:
            listed, = call(bus, "org.gnome.Shell.Introspect", "/org/gnome/Shell/Introspect",
                           "org.gnome.Shell.Introspect", "GetWindows")
            break
        except GLib.Error as error:
            if "AccessDenied" not in error.message:
                raise
            time.sleep(0.1)
    else:
        sys.exit("gnome_shell.py: GNOME Shell refuses to list its windows")
    for window in listed.values():
        print(json.dumps(window, ensure_ascii=False, sort_keys=True))


def keyboard(bus):
    """The keyboard stays for as long as standard input is open, as a real one stays plugged in:
    a client binds its keyboard when the seat gets one, and would lose the first key of each."""
    session, = call(bus, REMOTE_DESKTOP, "/org/gnome/Mutter/RemoteDesktop", REMOTE_DESKTOP, "CreateSession")
    interface = REMOTE_DESKTOP + ".Session"
    call(bus, REMOTE_DESKTOP, session, interface, "Start")
    print(".", flush=True)
    try:
        for line in sys.stdin:
            for step in line.split():
                if step[0] in "+-":
                    call(bus, REMOTE_DESKTOP, session, interface, "NotifyKeyboardKeycode",
                         GLib.Variant("(ub)", (int(step[1:]), step[0] == "+")))
                else:
                    time.sleep(float(step))
            print(".", flush=True)
    finally:
        call(bus, REMOTE_DESKTOP, session, interface, "Stop")


def main():
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    if sys.argv[1:2] == ["windows"]:
        windows(bus)
    elif sys.argv[1:2] == ["keyboard"]:
        keyboard(bus)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
