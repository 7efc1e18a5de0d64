#!/usr/bin/python3
"""pymodbus (Debian's) as the Modbus ASCII reference of the serial benchmark.

  pymodbus_ascii.py server DEVICE BAUD        serves 200 holding registers of slave 1
  pymodbus_ascii.py client DEVICE BAUD REGS SECONDS
                                              reads REGS registers of slave 1 for SECONDS,
                                              prints "COUNT SECONDS" (completed reads, time)
"""
import asyncio
import logging
import sys
import time

from pymodbus.client import ModbusSerialClient
from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server import StartAsyncSerialServer
from pymodbus.transaction import ModbusAsciiFramer


async def serve(device, baud):
    block = ModbusSequentialDataBlock(0, list(range(200)))
    context = ModbusServerContext(slaves=ModbusSlaveContext(hr=block, zero_mode=True), single=True)
    server = await StartAsyncSerialServer(context=context, framer=ModbusAsciiFramer, port=device,
                                          baudrate=baud, defer_start=True)
    await server.start()
    print("ready", flush=True)
    await server.serve_forever()


def poll(device, baud, registers, seconds):
    client = ModbusSerialClient(device, framer=ModbusAsciiFramer, baudrate=baud, timeout=2)
    assert client.connect()
    client.read_holding_registers(0, registers, slave=1)  # the first read opens the line
    count = 0
    start = time.monotonic()
    while time.monotonic() - start < seconds:
        if not client.read_holding_registers(0, registers, slave=1).isError():
            count += 1
    print(count, time.monotonic() - start, flush=True)


def main():
    logging.basicConfig(level=logging.CRITICAL)
    if sys.argv[1] == "server":
        asyncio.run(serve(sys.argv[2], int(sys.argv[3])))
    else:
        poll(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5]))


if __name__ == "__main__":
    main()
