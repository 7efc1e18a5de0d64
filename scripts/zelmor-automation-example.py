#!/usr/bin/python3
"""Drives zelmor over the session bus with Debian's python3-dbus.

Creates a poll document, polls holding registers, waits for good data, prints
the registers and the first floats, then writes a float set-point with
function 16 and reports the write's result. zelmor must be running (or be
startable by D-Bus activation) and be able to connect: with "Auto Connect"
enabled it connects by itself when started for a client.

    /usr/bin/python3 zelmor-automation-example.py [--slave 1] [--address 0]
        [--length 10] [--setpoint 21.5] [--write-address 20]
"""
import argparse
import sys
import time

import dbus

SERVICE = "example.orvane.Zelmor"
APPLICATION = "example.orvane.Zelmor.Application"
DOCUMENT = "example.orvane.Zelmor.Document"


def wait_for(read, timeout):
    """Polls a result property while it is 10 (no reply yet) or 6 (not connected:
    a program just started for us may still be connecting); returns the last value."""
    deadline = time.monotonic() + timeout
    code = read()
    while code in (10, 6) and time.monotonic() < deadline:
        time.sleep(0.05)
        code = read()
    return code


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--slave", type=int, default=1)
    parser.add_argument("--address", type=int, default=0, help="first holding register (protocol address)")
    parser.add_argument("--length", type=int, default=10)
    parser.add_argument("--setpoint", type=float, default=21.5)
    parser.add_argument("--write-address", type=int, default=20)
    parser.add_argument("--timeout", type=float, default=10.0)
    args = parser.parse_args()

    bus = dbus.SessionBus()
    application = dbus.Interface(bus.get_object(SERVICE, "/example/orvane/Zelmor"), APPLICATION)
    path = application.CreateDocument()
    proxy = bus.get_object(SERVICE, path)
    document = dbus.Interface(proxy, DOCUMENT)
    properties = dbus.Interface(proxy, dbus.PROPERTIES_IFACE)
    print("document", path)

    # Function 3, scan rate 250 ms. 0 means a value was out of range.
    if document.CreateRequest(args.slave, 3, args.address, args.length, 250) != 1:
        print("CreateRequest refused the definition", file=sys.stderr)
        return 2
    # 0: good data; 10: no reply yet; 6: not connected; 128 + n: exception n.
    code = wait_for(lambda: int(properties.Get(DOCUMENT, "ReadResult")), args.timeout)
    print("ReadResult", code)
    if code != 0:
        return 1
    for i in range(args.length):
        print("register %d = %d" % (i, int(document.Register(i))))
    for i in range(args.length // 2):
        print("float %d = %g" % (i, float(document.Float(i))))

    # Two registers, low word first; SetFloatInv would put the high word first.
    document.SetFloat(0, args.setpoint)
    if not document.PresetMultipleRegisters(args.slave, args.write_address, 2):
        print("the scheduler refused the write (another one is pending)", file=sys.stderr)
        return 1
    code = wait_for(lambda: int(properties.Get(DOCUMENT, "WriteResult")), args.timeout)
    print("WriteResult", code)
    document.Close()
    return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
