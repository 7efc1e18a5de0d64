"""pymodbus as an independent master asks headless vantor what it is: read
device identification (43/14) in every category and with continuation, report
slave id (17), diagnostics (08) with the link's real counts, 07 and 0B; over
Modbus/TCP, an RTU serial line (where a spoiled CRC is counted), RTU over TCP
(a spoiled CRC too) and Modbus/UDP (a malformed or oversized datagram)."""
import socket
import sys
import time
import unittest

from pymodbus.client import ModbusSerialClient, ModbusTcpClient, ModbusUdpClient
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.diag_message import (ClearCountersRequest, RestartCommunicationsOptionRequest,
                                   ReturnBusCommunicationErrorCountRequest, ReturnBusExceptionErrorCountRequest,
                                   ReturnBusMessageCountRequest, ReturnDiagnosticRegisterRequest,
                                   ReturnQueryDataRequest, ReturnSlaveBusCharacterOverrunCountRequest,
                                   ReturnSlaveMessageCountRequest, ReturnSlaveNoResponseCountRequest)
from pymodbus.mei_message import ReadDeviceInformationRequest
from pymodbus.other_message import (GetCommEventCounterRequest, ReadExceptionStatusRequest,
                                    ReportSlaveIdRequest)
from pymodbus.pdu import ExceptionResponse

import vantor_process

VANTOR = None
PRIVATE = "p" * 200  # two of these do not fit one reply
IDENTITY = ["--identity", "3:VendorName=Acme Pumps", "--identity", "3:ProductName=Pump X",
            "--identity", "3:0x80=" + PRIVATE, "--identity", "3:129=" + PRIVATE.upper()]


class IdentifyChecks:
    """The same checks for every link; self.client is connected to vantor, slave id 3."""

    def read_id(self, code, object_id=0, slave=3):
        return self.client.execute(ReadDeviceInformationRequest(code, object_id, unit=slave))

    def test_categories_and_continuation(self):
        basic = self.read_id(1)
        self.assertFalse(basic.isError(), basic)
        self.assertEqual(basic.information[0], b"Acme Pumps")
        self.assertEqual(basic.information[1], b"vantor")
        self.assertIn(2, basic.information)
        regular = self.read_id(2)
        self.assertEqual(regular.information[4], b"Pump X")
        self.assertEqual(regular.conformity, 0x83)
        first = self.read_id(3)
        self.assertEqual(first.more_follows, 0xFF)
        self.assertEqual(first.next_object_id, 0x81)
        self.assertEqual(first.information[0x80], PRIVATE.encode())
        rest = self.read_id(3, first.next_object_id)
        self.assertEqual(rest.more_follows, 0)
        self.assertEqual(rest.information[0x81], PRIVATE.upper().encode())
        single = self.read_id(4, 4)
        self.assertEqual(single.information, {4: b"Pump X"})
        other = self.read_id(1, slave=4)
        self.assertEqual(other.information[0], b"vantor", "slave id 4 keeps the defaults")

    def test_identification_exceptions(self):
        missing = self.read_id(4, 5)
        self.assertIsInstance(missing, ExceptionResponse)
        self.assertEqual(missing.exception_code, 2)
        bad_code = self.read_id(9)
        self.assertIsInstance(bad_code, ExceptionResponse)
        self.assertEqual(bad_code.exception_code, 3)

    def test_report_slave_id_and_status(self):
        rr = self.client.execute(ReportSlaveIdRequest(unit=3))
        self.assertFalse(rr.isError(), rr)
        # pymodbus keeps every byte after the count: id, run indicator, text.
        self.assertEqual(rr.identifier[:2], b"\x03\xff")
        self.assertTrue(rr.identifier[2:].startswith(b"Acme Pumps vantor "), rr.identifier)
        status = self.client.execute(ReadExceptionStatusRequest(unit=3))
        self.assertEqual(status.status, 0)
        events = self.client.execute(GetCommEventCounterRequest(unit=3))
        self.assertTrue(events.status)

    def count(self, request_class):
        """One counter; the requests are built by class (pymodbus 3.0's diag_*
        helpers put the slave id into the data field)."""
        return self.client.execute(request_class(unit=3)).message[0]

    def test_diagnostics_counts_of_the_link(self):
        self.assertEqual(self.client.execute(ReturnQueryDataRequest(0x1234, unit=3)).message, (0x1234,))
        self.assertFalse(self.client.execute(ClearCountersRequest(unit=3)).isError())
        self.client.read_holding_registers(50, 1, slave=3)  # exception 2
        self.client.read_holding_registers(0, 2, slave=3)
        # Messages are counted as they arrive, the one asking included; the
        # clear zeroed them as it was served, its own reply is one event.
        self.assertEqual(self.count(ReturnBusMessageCountRequest), 3)
        self.assertEqual(self.count(ReturnBusExceptionErrorCountRequest), 1)
        self.assertEqual(self.count(ReturnSlaveMessageCountRequest), 5)
        events = self.client.execute(GetCommEventCounterRequest(unit=3))
        self.assertEqual(events.count, 5, "answered without exception: the clear, the good read, three 08s")
        unsupported = self.client.execute(ReturnDiagnosticRegisterRequest(unit=3))
        self.assertIsInstance(unsupported, ExceptionResponse)
        self.assertEqual(unsupported.exception_code, 1)
        self.assertFalse(self.client.execute(RestartCommunicationsOptionRequest(unit=3)).isError())
        self.assertEqual(self.count(ReturnBusExceptionErrorCountRequest), 0)


class TcpIdentify(IdentifyChecks, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.vantor = vantor_process.Vantor(VANTOR, ["--slave", "3:3:0:10", "--slave", "4:3:0:10",
                                                    "--tcp", "127.0.0.1:0"] + IDENTITY)
        cls.client = ModbusTcpClient("127.0.0.1", port=cls.vantor.tcp_port(), timeout=2)
        assert cls.client.connect()

    @classmethod
    def tearDownClass(cls):
        cls.client.close()
        assert cls.vantor.stop() == 0


class RtuIdentify(IdentifyChecks, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.modem = vantor_process.NullModem()
        cls.vantor = vantor_process.Vantor(VANTOR, ["--slave", "3:3:0:10", "--slave", "4:3:0:10",
                                                    "--serial", cls.modem.path_a, "--baud", "19200"] + IDENTITY)
        cls.client = ModbusSerialClient(cls.modem.path_b, framer=ModbusRtuFramer, baudrate=19200, timeout=2)
        assert cls.client.connect()

    @classmethod
    def tearDownClass(cls):
        cls.client.close()
        assert cls.vantor.stop() == 0
        cls.modem.close()

    def test_spoiled_crc_is_a_bus_communication_error(self):
        self.assertFalse(self.client.execute(ClearCountersRequest(unit=3)).isError())
        self.client.socket.write(b"\x03\x03\x00\x00\x00\x01\x00\x00")  # wrong CRC
        time.sleep(0.3)
        self.assertEqual(self.count(ReturnBusCommunicationErrorCountRequest), 1)
        self.assertEqual(self.count(ReturnBusMessageCountRequest), 2, "the two count requests; not the spoiled one")


class SpoiledFrameCounts:
    """A good request, a frame the link cannot take (self.send_spoiled) and an
    exception, read back with 08: the network server counts them as the serial
    line does."""

    def test_good_spoiled_and_exception_requests_are_counted(self):
        self.assertFalse(self.client.execute(ClearCountersRequest(unit=3)).isError())
        self.assertFalse(self.client.read_holding_registers(0, 2, slave=3).isError())
        self.send_spoiled()
        time.sleep(0.3)  # a stream must not join the spoiled bytes to the next request
        self.assertIsInstance(self.client.read_holding_registers(50, 1, slave=3), ExceptionResponse)
        self.assertEqual(self.count(ReturnBusMessageCountRequest), 3, "the read, the exception, this 08")
        self.assertEqual(self.count(ReturnBusCommunicationErrorCountRequest), 1)
        self.assertEqual(self.count(ReturnBusExceptionErrorCountRequest), 1)
        self.assertEqual(self.count(ReturnSlaveMessageCountRequest), 6)
        self.assertEqual(self.count(ReturnSlaveNoResponseCountRequest), 0)
        events = self.client.execute(GetCommEventCounterRequest(unit=3))
        self.assertEqual(events.count, 7, "the clear, the good read and five 08s")


class NetworkIdentify(IdentifyChecks, SpoiledFrameCounts):
    option = None

    @classmethod
    def make_client(cls, port):
        raise NotImplementedError

    @classmethod
    def setUpClass(cls):
        cls.vantor = vantor_process.Vantor(VANTOR, ["--slave", "3:3:0:10", "--slave", "4:3:0:10",
                                                    cls.option, "127.0.0.1:0"] + IDENTITY)
        cls.port = cls.vantor.tcp_port()
        cls.client = cls.make_client(cls.port)
        assert cls.client.connect()

    @classmethod
    def tearDownClass(cls):
        cls.client.close()
        assert cls.vantor.stop() == 0


class RtuOverTcpIdentify(NetworkIdentify, unittest.TestCase):
    option = "--rtu-over-tcp"

    @classmethod
    def make_client(cls, port):
        return ModbusTcpClient("127.0.0.1", port=port, framer=ModbusRtuFramer, timeout=2)

    def send_spoiled(self):
        self.client.socket.sendall(b"\x03\x03\x00\x00\x00\x01\x00\x00")  # wrong CRC


class UdpIdentify(NetworkIdentify, unittest.TestCase):
    option = "--udp"

    @classmethod
    def make_client(cls, port):
        return ModbusUdpClient("127.0.0.1", port=port, timeout=2)

    def send_datagram(self, data):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.sendto(data, ("127.0.0.1", self.port))

    def send_spoiled(self):
        # The length field counts one byte more than the datagram holds.
        self.send_datagram(b"\x00\x07\x00\x00\x00\x07\x03\x03\x00\x00\x00\x01")

    def test_oversized_datagram_is_an_overrun(self):
        self.assertFalse(self.client.execute(ClearCountersRequest(unit=3)).isError())
        self.send_datagram(b"\x00\x08\x00\x00\x01\x2c\x03\x10" + bytes(292))
        self.assertEqual(self.count(ReturnSlaveBusCharacterOverrunCountRequest), 1)
        self.assertEqual(self.count(ReturnBusCommunicationErrorCountRequest), 0)
        self.assertEqual(self.count(ReturnBusMessageCountRequest), 3, "the three 08s; not the oversized one")


if __name__ == "__main__":
    VANTOR = sys.argv.pop(1)
    unittest.main(verbosity=2)
