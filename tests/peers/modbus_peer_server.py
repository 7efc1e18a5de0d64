"""An independent Modbus server (pymodbus) for the master engine's and zelmor's tests.

Usage: modbus_peer_server.py tcp PORT | rtu DEVICE | ascii DEVICE
                             | rtu-over-tcp PORT | udp PORT
                             [--host ADDRESS] [--delay-ms MS] [--format-samples]

Tables (protocol addresses from 0), 400 items of each; addresses beyond
answer with exception 2: coil i is on when i % 3 == 0, discrete input i when
i % 2 == 1, holding register i holds 1000 + i, input register i holds 2000 + i.

--format-samples: holding registers 0..3 hold 0x0000, 0x3F80 (the float 1.0,
low word first), 0xFFFF and 5 instead, for the display formats.
--delay-ms: every request is answered that many milliseconds late (a slow
slave for the response-time figures).

Device identification (43/14): VendorName "pymodbus peer", ProductCode "PEER",
MajorMinorRevision "3.0", ProductName "Peer Server", and private objects 0x80
and 0x81 of 200 bytes each ("a" * 200, "b" * 200), more than one reply holds.

On a serial device (19200 baud) the line "READY" is printed once it is open;
rtu-over-tcp (RTU frames with their CRC on a TCP stream, as a serial-to-Ethernet
gateway passes them) and udp (Modbus/UDP) print it once they listen.
--host: the address to listen on (default 127.0.0.1; "::1" for IPv6).
"""
import argparse
import asyncio
import logging
import time

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.device import ModbusDeviceIdentification
from pymodbus.server import (StartAsyncSerialServer, StartAsyncTcpServer, StartAsyncUdpServer,
                             StartTcpServer)
from pymodbus.transaction import ModbusAsciiFramer, ModbusRtuFramer

SIZE = 400
FORMAT_SAMPLES = [0x0000, 0x3F80, 0xFFFF, 5]


class SlowBlock(ModbusSequentialDataBlock):
    """A data block that takes its time: the server answers only after it."""

    delay = 0.0

    def getValues(self, address, count=1):
        if self.delay:
            time.sleep(self.delay)
        return super().getValues(address, count)


def make_context(delay_ms, format_samples):
    SlowBlock.delay = delay_ms / 1000.0
    holding = [1000 + i for i in range(SIZE)]
    if format_samples:
        holding[:len(FORMAT_SAMPLES)] = FORMAT_SAMPLES
    slave = ModbusSlaveContext(
        co=SlowBlock(0, [i % 3 == 0 for i in range(SIZE)]),
        di=SlowBlock(0, [i % 2 == 1 for i in range(SIZE)]),
        hr=SlowBlock(0, holding),
        ir=SlowBlock(0, [2000 + i for i in range(SIZE)]),
        zero_mode=True)
    return ModbusServerContext(slaves=slave, single=True)


def make_identity():
    return ModbusDeviceIdentification(info={0x00: "pymodbus peer", 0x01: "PEER", 0x02: "3.0",
                                            0x04: "Peer Server", 0x80: "a" * 200, 0x81: "b" * 200})


async def serve_serial(context, device, framer):
    server = await StartAsyncSerialServer(context=context, framer=framer, port=device, identity=make_identity(),
                                          baudrate=19200, defer_start=True)
    await server.start()
    print("READY", flush=True)
    await server.serve_forever()


async def serve_network(context, mode, host, port):
    if mode == "udp":
        server = await StartAsyncUdpServer(context=context, identity=make_identity(), address=(host, port),
                                           defer_start=True)
    else:
        server = await StartAsyncTcpServer(context=context, identity=make_identity(), address=(host, port),
                                           framer=ModbusRtuFramer,
                                           defer_start=True)
    task = asyncio.create_task(server.serve_forever())
    await server.serving
    print("READY", flush=True)
    await task


def main():
    logging.basicConfig(level=logging.CRITICAL)
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=("tcp", "rtu", "ascii", "rtu-over-tcp", "udp"))
    parser.add_argument("where", help="TCP port on 127.0.0.1, or the serial device")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--delay-ms", type=int, default=0)
    parser.add_argument("--format-samples", action="store_true")
    args = parser.parse_args()
    context = make_context(args.delay_ms, args.format_samples)
    if args.mode == "tcp":
        StartTcpServer(context=context, identity=make_identity(), address=(args.host, int(args.where)))
    elif args.mode in ("rtu-over-tcp", "udp"):
        asyncio.run(serve_network(context, args.mode, args.host, int(args.where)))
    else:
        framer = ModbusRtuFramer if args.mode == "rtu" else ModbusAsciiFramer
        asyncio.run(serve_serial(context, args.where, framer))


if __name__ == "__main__":
    main()
