"""An independent Modbus/TCP server (pymodbus) for zelmor's tests.

Usage: zelmor_peer_server.py PORT | rtu DEVICE | ascii DEVICE

Holding registers (protocol addresses from 0): 0x0000, 0x3F80 (the float 1.0,
low word first), 0xFFFF, 5, then 1000 + i. Input registers 2000 + i. Coil i is
on when i % 3 == 0. 400 items of each; addresses beyond answer with exception 2.
On a serial device (19200 baud) the line "READY" is printed once it is open.
"""
import asyncio
import logging
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartAsyncSerialServer, StartTcpServer
from pymodbus.transaction import ModbusAsciiFramer, ModbusRtuFramer

SIZE = 400


def make_context():
    holding = [0x0000, 0x3F80, 0xFFFF, 5] + [1000 + i for i in range(4, SIZE)]
    slave = ModbusSlaveContext(
        co=ModbusSequentialDataBlock(0, [i % 3 == 0 for i in range(SIZE)]),
        di=ModbusSequentialDataBlock(0, [i % 2 == 1 for i in range(SIZE)]),
        hr=ModbusSequentialDataBlock(0, holding),
        ir=ModbusSequentialDataBlock(0, [2000 + i for i in range(SIZE)]),
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
        StartTcpServer(context=make_context(), address=("127.0.0.1", int(sys.argv[1])))


if __name__ == "__main__":
    main()
