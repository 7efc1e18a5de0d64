#!/usr/bin/python3
"""Fills a simulated slave in vantor over the session bus with Debian's python3-dbus.

Creates a slave document with holding registers and one with coils, stores
values that a connected master reads at once, and keeps the documents until
the master has read them (Enter, or --hold seconds). vantor must be running,
or be startable by D-Bus activation; with "Auto Connect" enabled it starts its
link by itself.

    /usr/bin/python3 vantor-automation-example.py [--slave 1] [--hold 30]
"""
import argparse
import sys
import time

import dbus

SERVICE = "example.orvane.Vantor"
APPLICATION = "example.orvane.Vantor.Application"
DOCUMENT = "example.orvane.Vantor.Document"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--slave", type=int, default=1)
    parser.add_argument("--hold", type=float, default=None,
                        help="seconds to keep the slave (default: until Enter)")
    args = parser.parse_args()

    bus = dbus.SessionBus()
    application = dbus.Interface(bus.get_object(SERVICE, "/example/orvane/Vantor"), APPLICATION)

    registers = dbus.Interface(bus.get_object(SERVICE, application.CreateDocument()), DOCUMENT)
    # Table 3: holding registers 0..19 of the slave.
    if registers.CreateSlave(args.slave, 3, 0, 20) != 1:
        print("CreateSlave refused the definition", file=sys.stderr)
        return 2
    for i in range(20):
        registers.SetRegister(i, 1000 + i)
    # A float 1.5 (0x3FC00000) in registers 10 and 11, low word first.
    registers.SetRegister(10, 0x0000)
    registers.SetRegister(11, 0x3FC0)

    coils = dbus.Interface(bus.get_object(SERVICE, application.CreateDocument()), DOCUMENT)
    # Table 1: coils 100..115.
    coils.CreateSlave(args.slave, 1, 100, 16)
    for i in range(16):
        coils.SetCoil(i, i % 2)
    print("ready", flush=True)

    # The documents last as long as this client is on the bus.
    if args.hold is None:
        sys.stdin.readline()
    else:
        time.sleep(args.hold)
    registers.Close()
    coils.Close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
