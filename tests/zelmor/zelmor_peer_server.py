"""An independent Modbus/TCP server (pymodbus) for zelmor's tests.

Usage: zelmor_peer_server.py PORT

Holding registers (protocol addresses from 0): 0x0000, 0x3F80 (the float 1.0,
low word first), 0xFFFF, 5, then 1000 + i. Input registers 2000 + i. Coil i is
on when i % 3 == 0. 400 items of each; addresses beyond answer with exception 2.
"""
import logging
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartTcpServer

SIZE = 400


def main():
    logging.basicConfig(level=logging.CRITICAL)
    holding = [0x0000, 0x3F80, 0xFFFF, 5] + [1000 + i for i in range(4, SIZE)]
    slave = ModbusSlaveContext(
        co=ModbusSequentialDataBlock(0, [i % 3 == 0 for i in range(SIZE)]),
        di=ModbusSequentialDataBlock(0, [i % 2 == 1 for i in range(SIZE)]),
        hr=ModbusSequentialDataBlock(0, holding),
        ir=ModbusSequentialDataBlock(0, [2000 + i for i in range(SIZE)]),
        zero_mode=True)
    StartTcpServer(context=ModbusServerContext(slaves=slave, single=True),
                   address=("127.0.0.1", int(sys.argv[1])))


if __name__ == "__main__":
    main()
