"""An independent Modbus/TCP server (pymodbus) for zelmor's tests.

Usage: zelmor_peer_server.py PORT [DELAY_MS] | rtu DEVICE | ascii DEVICE

With DELAY_MS, every TCP request is answered that many milliseconds late (a
slow slave for the response-time figures).

Holding registers (protocol addresses from 0): 0x0000, 0x3F80 (the float 1.0,
low word first), 0xFFFF, 5, then 1000 + i. Input registers 2000 + i. Coil i is
on when i % 3 == 0. 400 items of each; addresses beyond answer with exception 2.
On a serial device (19200 baud) the line "READY" is printed once it is open.
"""
import asyncio
import logging
import sys
import time

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartAsyncSerialServer, StartTcpServer
from pymodbus.transaction import ModbusAsciiFramer, ModbusRtuFramer

SIZE = 400


class SlowBlock(ModbusSequentialDataBlock):
    """A data block that takes its time: the server answers only after it."""

    delay = 0.0

    def getValues(self, address, count=1):
        if self.delay:
            time.sleep(self.delay)
        return super().getValues(address, count)


def make_context(delay_ms=0):
    SlowBlock.delay = delay_ms / 1000.0
    holding = [0x0000, 0x3F80, 0xFFFF, 5] + [1000 + i for i in range(4, SIZE)]
    slave = ModbusSlaveContext(
        co=SlowBlock(0, [i % 3 == 0 for i in range(SIZE)]),
        di=SlowBlock(0, [i % 2 == 1 for i in range(SIZE)]),
        hr=SlowBlock(0, holding),
        ir=SlowBlock(0, [2000 + i for i in range(SIZE)]),
        zero_mode=True)
    return ModbusServerContext(slaves=slave, single=True)


async def serve_serial(device, framer):
    server = await StartAsyncSerialServer(context=make_context(), framer=framer, port=device,
                                          baudrate=19200, defer_start=True)
    await server.start()
    print("READY", flush=True)
    await server.serve_forever()


def main():
    logging.basicConfig(level=logging.CRITICAL)
    if sys.argv[1] in ("rtu", "ascii"):
        framer = ModbusRtuFramer if sys.argv[1] == "rtu" else ModbusAsciiFramer
        asyncio.run(serve_serial(sys.argv[2], framer))
    else:
        delay_ms = int(sys.argv[2]) if len(sys.argv) > 2 else 0
        StartTcpServer(context=make_context(delay_ms), address=("127.0.0.1", int(sys.argv[1])))


if __name__ == "__main__":
    main()
