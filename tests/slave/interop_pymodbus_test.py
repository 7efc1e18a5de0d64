"""pymodbus as an independent master against headless vantor over Modbus/TCP, RTU
over TCP, Modbus/UDP (IPv4, IPv6 and a host name) and over a serial line in RTU
and ASCII framing: every supported function, values and exception codes."""
import os
import struct
import sys
import tempfile
import unittest

from pymodbus.client import ModbusSerialClient, ModbusTcpClient, ModbusUdpClient
from pymodbus.framer.ascii_framer import ModbusAsciiFramer
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.other_message import GetCommEventLogRequest
from pymodbus.pdu import ExceptionResponse

import vantor_process

VANTOR = None


def definitions(directory):
    """Discrete inputs and input registers come from .vnd files with known values."""
    inputs = os.path.join(directory, "inputs.vnd")
    with open(inputs, "wb") as f:
        f.write(vantor_process.vnd_image(100, 2, 50, 1, [1 if i % 3 == 0 else 0 for i in range(50)]))
    registers = os.path.join(directory, "registers.vnd")
    image = b"".join(struct.pack("<H", 3 * i + 1) for i in range(20))
    with open(registers, "wb") as f:
        f.write(vantor_process.vnd_image(300, 4, 20, 1, image))
    return [inputs, registers, "--slave", "1:1:0:100", "--slave", "1:3:0:200"]


class FunctionChecks:
    """The same checks for every framing; self.client is connected to vantor."""

    def exception_code(self, response):
        self.assertTrue(response.isError(), response)
        self.assertIsInstance(response, ExceptionResponse)
        return response.exception_code

    def test_reads_from_files(self):
        rr = self.client.read_input_registers(300, 20, slave=1)
        self.assertFalse(rr.isError(), rr)
        self.assertEqual(rr.registers, [3 * i + 1 for i in range(20)])
        rr = self.client.read_discrete_inputs(100, 50, slave=1)
        self.assertFalse(rr.isError(), rr)
        self.assertEqual(rr.bits[:50], [i % 3 == 0 for i in range(50)])

    def test_coils(self):
        self.assertFalse(self.client.write_coil(5, True, slave=1).isError())
        pattern = [bool((i * 7) % 3) for i in range(17)]
        self.assertFalse(self.client.write_coils(10, pattern, slave=1).isError())
        rr = self.client.read_coils(0, 27, slave=1)
        self.assertFalse(rr.isError(), rr)
        self.assertTrue(rr.bits[5])
        self.assertFalse(rr.bits[4])
        self.assertEqual(rr.bits[10:27], pattern)
        self.assertFalse(self.client.write_coil(5, False, slave=1).isError())
        self.assertFalse(self.client.read_coils(5, 1, slave=1).bits[0])

    def test_registers(self):
        self.assertFalse(self.client.write_register(7, 0x0012, slave=1).isError())
        self.assertFalse(self.client.mask_write_register(address=7, and_mask=0x00F2, or_mask=0x0025,
                                                         unit=1).isError())
        self.assertFalse(self.client.write_registers(20, list(range(1, 11)), slave=1).isError())
        rr = self.client.read_holding_registers(0, 30, slave=1)
        self.assertFalse(rr.isError(), rr)
        self.assertEqual(rr.registers[7], 0x0017)
        self.assertEqual(rr.registers[20:30], list(range(1, 11)))
        rr = self.client.readwrite_registers(read_address=20, read_count=5, write_address=20,
                                             write_registers=[0xFFFF, 9, 9], unit=1)
        self.assertFalse(rr.isError(), rr)
        self.assertEqual(rr.registers, [0xFFFF, 9, 9, 4, 5])
        rr = self.client.read_holding_registers(75, 125, slave=1)
        self.assertEqual(len(rr.registers), 125)

    def test_exceptions(self):
        self.assertEqual(self.exception_code(self.client.read_holding_registers(199, 2, slave=1)), 2)
        self.assertEqual(self.exception_code(self.client.read_holding_registers(0, 126, slave=1)), 3)
        self.assertEqual(self.exception_code(self.client.read_coils(0, 2001, slave=1)), 3)
        self.assertEqual(self.exception_code(self.client.write_register(200, 1, slave=1)), 2)
        self.assertEqual(self.exception_code(self.client.read_discrete_inputs(99, 1, slave=1)), 2)
        # 07 is served now (identify_pymodbus_test); 0C is not.
        self.assertEqual(self.exception_code(self.client.execute(GetCommEventLogRequest(unit=1))), 1)
        # After the exceptions the slave answers normally.
        self.assertFalse(self.client.read_holding_registers(0, 1, slave=1).isError())


class TcpInterop(FunctionChecks, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.TemporaryDirectory()
        cls.vantor = vantor_process.Vantor(VANTOR, definitions(cls.directory.name) + ["--tcp", "127.0.0.1:0"])
        cls.client = ModbusTcpClient("127.0.0.1", port=cls.vantor.tcp_port(), timeout=2)
        assert cls.client.connect()

    @classmethod
    def tearDownClass(cls):
        cls.client.close()
        assert cls.vantor.stop() == 0
        cls.directory.cleanup()

    def test_unserved_unit_gets_no_answer(self):
        self.client.params.timeout = 0.5
        try:
            self.assertTrue(self.client.read_holding_registers(0, 1, slave=2).isError())
        finally:
            self.client.params.timeout = 2
        self.client.close()
        self.assertTrue(self.client.connect())
        self.assertFalse(self.client.read_holding_registers(0, 1, slave=1).isError())


class NetworkInterop(FunctionChecks):
    """vantor serving `option` on `listen`; the pymodbus client from make_client."""
    option = None
    listen = None

    @classmethod
    def make_client(cls, port):
        raise NotImplementedError

    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.TemporaryDirectory()
        cls.vantor = vantor_process.Vantor(VANTOR, definitions(cls.directory.name) + [cls.option, cls.listen])
        cls.client = cls.make_client(cls.vantor.tcp_port())
        assert cls.client.connect()

    @classmethod
    def tearDownClass(cls):
        cls.client.close()
        assert cls.vantor.stop() == 0
        cls.directory.cleanup()


class RtuOverTcpInterop(NetworkInterop, unittest.TestCase):
    option, listen = "--rtu-over-tcp", "127.0.0.1:0"

    @classmethod
    def make_client(cls, port):
        return ModbusTcpClient("127.0.0.1", port=port, framer=ModbusRtuFramer, timeout=2)

    def test_ready_line_names_the_transport(self):
        self.assertRegex(self.vantor.ready_line, r"^vantor: serving 4 definitions on RTU over TCP 127\.0\.0\.1:\d+$")


class UdpInterop(NetworkInterop, unittest.TestCase):
    option, listen = "--udp", "127.0.0.1:0"

    @classmethod
    def make_client(cls, port):
        return ModbusUdpClient("127.0.0.1", port=port, timeout=2)

    def test_ready_line_names_the_transport(self):
        self.assertRegex(self.vantor.ready_line, r"^vantor: serving 4 definitions on Modbus/UDP 127\.0\.0\.1:\d+$")


class Ipv6Interop(NetworkInterop, unittest.TestCase):
    option, listen = "--tcp", "[::1]:0"

    @classmethod
    def make_client(cls, port):
        return ModbusTcpClient("::1", port=port, timeout=2)


class Ipv6UdpInterop(NetworkInterop, unittest.TestCase):
    option, listen = "--udp", "[::1]:0"

    @classmethod
    def make_client(cls, port):
        return ModbusUdpClient("::1", port=port, timeout=2)

    def test_ready_line_names_the_transport(self):
        self.assertRegex(self.vantor.ready_line, r"^vantor: serving 4 definitions on Modbus/UDP \[::1\]:\d+$")


class HostNameInterop(NetworkInterop, unittest.TestCase):
    option, listen = "--rtu-over-tcp", "localhost:0"

    @classmethod
    def make_client(cls, port):
        return ModbusTcpClient("localhost", port=port, framer=ModbusRtuFramer, timeout=2)


class SerialInterop(FunctionChecks):
    framer = None
    extra = []

    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.TemporaryDirectory()
        cls.modem = vantor_process.NullModem()
        cls.vantor = vantor_process.Vantor(
            VANTOR, definitions(cls.directory.name) + ["--serial", cls.modem.path_a, "--baud", "19200"] + cls.extra)
        cls.client = ModbusSerialClient(cls.modem.path_b, framer=cls.framer, baudrate=19200, timeout=2)
        assert cls.client.connect()

    @classmethod
    def tearDownClass(cls):
        cls.client.close()
        assert cls.vantor.stop() == 0
        cls.modem.close()
        cls.directory.cleanup()


class RtuInterop(SerialInterop, unittest.TestCase):
    framer = ModbusRtuFramer


class AsciiInterop(SerialInterop, unittest.TestCase):
    framer = ModbusAsciiFramer
    extra = ["--ascii"]


if __name__ == "__main__":
    VANTOR = sys.argv.pop(1)
    unittest.main(verbosity=2)
