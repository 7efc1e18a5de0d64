"""pymodbus as an independent master against headless vantor with injected
faults: what pymodbus sees matches the faults vantor marks in its traffic, and
the same seed hits the same requests again."""
import sys
import time
import unittest

from pymodbus.client import ModbusSerialClient, ModbusTcpClient
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.pdu import ExceptionResponse

import vantor_process

VANTOR = None


def tcp_client(vantor, timeout=0.3):
    # pymodbus cannot connect with a time-out below one second; shorten it after.
    client = ModbusTcpClient("127.0.0.1", port=vantor.tcp_port(), timeout=1, retries=0)
    assert client.connect()
    client.params.timeout = timeout
    return client


def outcomes(client, count, slave=1):
    """True for every read that failed."""
    failed = []
    for _ in range(count):
        try:
            response = client.read_holding_registers(0, 2, slave=slave)
            failed.append(response.isError())
        except Exception:  # pymodbus raises on some time-outs
            failed.append(True)
        if failed[-1]:
            client.close()
            client.params.timeout = 1
            assert client.connect()
            client.params.timeout = 0.3
    return failed


class TcpFaults(unittest.TestCase):
    def run_dropping(self, seed):
        vantor = vantor_process.Vantor(VANTOR, ["--slave", "1:3:0:10", "--tcp", "127.0.0.1:0", "--drop", "30",
                                                "--seed", str(seed), "--traffic"])
        client = tcp_client(vantor)
        try:
            failed = outcomes(client, 40)
        finally:
            client.close()
            self.assertEqual(vantor.stop(), 0)
        return failed, vantor.output.count("Tx:[fault: dropped]")

    def test_drops_repeat_with_the_seed_and_are_marked(self):
        first, marked = self.run_dropping(11)
        self.assertEqual(sum(first), marked)
        self.assertTrue(3 < marked < 25, marked)
        again, _ = self.run_dropping(11)
        self.assertEqual(again, first)
        other, _ = self.run_dropping(12)
        self.assertNotEqual(other, first)

    def test_exception_range_busy_and_delay(self):
        vantor = vantor_process.Vantor(VANTOR, ["--slave", "1:3:0:100", "--slave", "2:3:0:10", "--slave", "3:3:0:10",
                                                "--tcp", "127.0.0.1:0", "--exception", "1=3@50-59",
                                                "--busy", "2=3:10", "--delay", "3=50", "--traffic"])
        client = tcp_client(vantor, timeout=1)
        try:
            self.assertFalse(client.read_holding_registers(40, 10, slave=1).isError())
            response = client.read_holding_registers(45, 10, slave=1)
            self.assertIsInstance(response, ExceptionResponse)
            self.assertEqual(response.exception_code, 3)
            response = client.read_holding_registers(0, 1, slave=2)
            self.assertIsInstance(response, ExceptionResponse)
            self.assertEqual(response.exception_code, 6)
            for _ in range(5):
                begin = time.monotonic()
                self.assertFalse(client.read_holding_registers(0, 1, slave=3).isError())
                self.assertGreaterEqual(time.monotonic() - begin, 0.049)
        finally:
            client.close()
            self.assertEqual(vantor.stop(), 0)
        self.assertEqual(vantor.output.count("[fault: exception]"), 1)
        self.assertEqual(vantor.output.count("[fault: busy]"), 1)
        self.assertEqual(vantor.output.count("[fault: delayed 50 ms]"), 5)


class RtuFaults(unittest.TestCase):
    def run_corrupting(self, seed):
        modem = vantor_process.NullModem()
        vantor = vantor_process.Vantor(VANTOR, ["--slave", "1:3:0:10", "--serial", modem.path_a, "--baud", "19200",
                                                "--corrupt", "30", "--seed", str(seed), "--traffic"])
        client = ModbusSerialClient(modem.path_b, framer=ModbusRtuFramer, baudrate=19200, timeout=1, retries=0)
        assert client.connect()
        try:
            failed = []
            for _ in range(20):
                try:
                    failed.append(client.read_holding_registers(0, 2, slave=1).isError())
                except Exception:
                    failed.append(True)
                time.sleep(0.02)  # let a spoilt frame end before the next request
        finally:
            client.close()
            self.assertEqual(vantor.stop(), 0)
            modem.close()
        return failed, vantor.output.count("[fault: corrupted]")

    def test_wrong_crc_is_refused_as_seeded(self):
        first, marked = self.run_corrupting(4)
        self.assertEqual(sum(first), marked)
        self.assertGreater(marked, 2)
        again, _ = self.run_corrupting(4)
        self.assertEqual(again, first)


if __name__ == "__main__":
    VANTOR = sys.argv.pop(1)
    unittest.main(verbosity=2)
