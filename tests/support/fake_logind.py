#!/usr/bin/python3
"""A logind of the test's own on a private bus, for the sleep inhibitor: it takes the name
org.freedesktop.login1 and answers Manager.Inhibit(what, who, why, mode) with one end of a pipe
of its own, as logind does, and prints a line for each event as it comes:

    ready
    inhibit WHAT|WHO|WHY|MODE @TIME     (TIME: when it was called, as Python's time.time())
    released @TIME                      (the caller closed the descriptor it was given)

    fake_logind.py BUS_ADDRESS        (Debian's python3 with python3-dbus and python3-gi)
"""

import os
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib


def say(line):
    print(line, flush=True)


class Manager(dbus.service.Object):
    @dbus.service.method("org.freedesktop.login1.Manager", in_signature="ssss",
                         out_signature="h")
    def Inhibit(self, what, who, why, mode):
        read_end, write_end = os.pipe()
        say("inhibit %s|%s|%s|%s @%.6f" % (what, who, why, mode, time.time()))

        def closed(fd, condition):
            say("released @%.6f" % time.time())
            os.close(fd)
            return False

        GLib.io_add_watch(read_end, GLib.IO_HUP | GLib.IO_ERR, closed)
        reply = dbus.types.UnixFd(write_end)  # a copy of its own goes to the caller
        os.close(write_end)
        return reply


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(sys.argv[1])
    name = dbus.service.BusName("org.freedesktop.login1", bus)
    Manager(bus, "/org/freedesktop/login1")
    say("ready")
    GLib.MainLoop().run()
    del name


if __name__ == "__main__":
    main()
