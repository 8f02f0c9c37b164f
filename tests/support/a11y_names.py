#!/usr/bin/python3
"""Prints, as one JSON list, the name of every accessible object of every application on the
accessibility bus of the session bus at ADDRESS: what a screen reader can read of the windows.

    a11y_names.py ADDRESS

Debian's own interpreter runs it, for python3-dbus."""

import json
import sys

import dbus

ACCESSIBLE = "org.a11y.atspi.Accessible"
# Deeper than any window here nests; a cycle in a broken tree ends there.
DEEPEST = 40


def names(bus, owner, path, depth, into):
    node = bus.get_object(owner, path, introspect=False)
    into.append(str(dbus.Interface(node, dbus.PROPERTIES_IFACE).Get(ACCESSIBLE, "Name")))
    if depth < DEEPEST:
        for child_owner, child_path in node.GetChildren(dbus_interface=ACCESSIBLE):
            names(bus, str(child_owner), str(child_path), depth + 1, into)


def main():
    session = dbus.bus.BusConnection(sys.argv[1])
    address = session.get_object("org.a11y.Bus", "/org/a11y/bus").GetAddress(
        dbus_interface="org.a11y.Bus")
    found = []
    names(dbus.bus.BusConnection(str(address)), "org.a11y.atspi.Registry",
          "/org/a11y/atspi/accessible/root", 0, found)
    print(json.dumps(found))


if __name__ == "__main__":
    main()
