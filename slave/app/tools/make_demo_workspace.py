#!/usr/bin/python3
"""Writes a demo workspace for vantor: three slave definitions (.vnd) with some
values on auto-increment / auto-change, and a workspace (.vnw) saved "connected"
as a Modbus/TCP server, so that

    vantor --listen 127.0.0.1:1502 DIR/demo.vnw

opens the three windows and starts serving at once.

usage: make_demo_workspace.py DIR
"""
import os
import struct
import sys

FLAGS = 4096
IMAGE = 4096


def placement(left, top, right, bottom):
    return struct.pack("<11i", 44, 0, 1, -1, -1, -1, -1, left, top, right, bottom)


def vnd(slave_id, table, address, length, display_format, registers=(), bits=(), flags=(), frame=(0, 0, 420, 300)):
    image = bytearray(IMAGE)
    for index, value in registers:
        struct.pack_into("<H", image, 2 * index, value & 0xFFFF)
    for index, value in bits:
        image[index] = 1 if value else 0
    flag_words = [0] * FLAGS
    for index in flags:
        flag_words[index] = 1
    face = b"Courier New"
    out = struct.pack("<7i", 2000, address, table, length, slave_id, display_format, 1)
    out += struct.pack("<2I", 9, 0xFFFFFF)  # text colour, reserved colour
    out += struct.pack("<5i8B", -10, 0, 0, 0, 400, 0, 0, 0, 0, 4, 0, 2, 33)
    out += bytes([len(face)]) + face
    out += struct.pack("<%dI" % FLAGS, *flag_words)
    out += bytes(image)
    out += placement(*frame)
    return out


def vnw(documents, main=(40, 40, 1240, 840)):
    # Settings: TCP/IP, 9600-8-N-1, timeout, DSR, CTS, RTS toggle, RTU, delay, connected, UID.
    out = struct.pack("<i13i", 3000, 8, 2, 1, 0, 0, 1000, 0, 0, 1, 0, 1, 1, 0)
    out += placement(*main)
    for title, path, frame in documents:
        out += placement(*frame)
        out += title.encode().ljust(256, b"\0")[:256]
        out += os.fsencode(path).ljust(260, b"\0")[:260]
    return out


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    directory = os.path.abspath(sys.argv[1])
    os.makedirs(directory, exist_ok=True)
    files = [
        ("holding.vnd", vnd(1, 3, 0, 20, 1, registers=[(0, 100), (1, 65530), (5, 1234)], flags=[0, 1],
                            frame=(0, 0, 420, 330))),
        ("coils.vnd", vnd(1, 1, 0, 16, 0, bits=[(0, 1), (3, 1)], flags=[0, 2], frame=(430, 0, 760, 330))),
        ("float.vnd", vnd(2, 4, 100, 10, 4, registers=[(0, 0x0000), (1, 0x3F80)], flags=[0],
                          frame=(0, 340, 420, 640))),
    ]
    documents = []
    for name, data in files:
        path = os.path.join(directory, name)
        with open(path, "wb") as f:
            f.write(data)
        left, top, right, bottom = struct.unpack_from("<4i", data, len(data) - 16)
        documents.append((name[:-4], path, (left, top, right, bottom)))
    with open(os.path.join(directory, "demo.vnw"), "wb") as f:
        f.write(vnw(documents))
    print(os.path.join(directory, "demo.vnw"))


if __name__ == "__main__":
    main()
