"""An independent Modbus server (pymodbus) for the master engine's interoperability tests.

Usage: modbus_peer_server.py tcp PORT | rtu DEVICE | ascii DEVICE

Tables (protocol addresses from 0): coil i is on when i % 3 == 0, discrete
input i when i % 2 == 1, holding register i holds 1000 + i, input register i
holds 2000 + i. For serial devices the line "READY" is printed once the
device is open.
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
    slave = ModbusSlaveContext(
        co=ModbusSequentialDataBlock(0, [i % 3 == 0 for i in range(SIZE)]),
        di=ModbusSequentialDataBlock(0, [i % 2 == 1 for i in range(SIZE)]),
        hr=ModbusSequentialDataBlock(0, [1000 + i for i in range(SIZE)]),
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
    mode, where = sys.argv[1], sys.argv[2]
    if mode == "tcp":
        StartTcpServer(context=make_context(), address=("127.0.0.1", int(where)))
    else:
        framer = ModbusRtuFramer if mode == "rtu" else ModbusAsciiFramer
        asyncio.run(serve_serial(where, framer))


if __name__ == "__main__":
    main()
