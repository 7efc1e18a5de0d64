"""The command line of headless vantor: usage, errors with their exit status and
reason, the ready line, traffic lines and stopping on SIGINT and SIGTERM."""
import os
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import unittest

import vantor_process

VANTOR = None


def run(args, timeout=10):
    result = subprocess.run([VANTOR, "--headless"] + args, capture_output=True, timeout=timeout)
    return result.returncode, result.stdout.decode(), result.stderr.decode()


class Errors(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.directory.cleanup()

    def path(self, name, content):
        path = os.path.join(self.directory.name, name)
        with open(path, "wb") as f:
            f.write(content)
        return path

    def test_help(self):
        status, out, _ = run(["--help"])
        self.assertEqual(status, 0)
        self.assertIn("Usage: vantor --headless", out)
        self.assertIn("--slave ID:TABLE:ADDRESS:LENGTH", out)

    def test_bad_options_exit_2(self):
        for args, text in [(["--bogus"], "unknown option"),
                           (["--slave", "1:5:0:10"], "bad --slave value"),
                           (["--slave", "1:3:0"], "bad --slave value"),
                           (["--slave", "256:3:0:10"], "bad --slave value"),
                           (["--slave", "1:3:0:10", "--tcp", "x:y"], "bad --tcp value"),
                           (["--slave", "1:3:0:10", "--serial", "/dev/null", "--parity", "X"], "bad --parity"),
                           (["--slave", "1:3:0:10", "--baud", "9600"], "need --serial"),
                           (["--slave", "1:3:0:10", "--tcp", "1502", "--serial", "/dev/null"], "either"),
                           (["--slave", "1:3:0:10", "--serial", "/dev/null", "--ignore-unit-id"], "applies to --tcp only"),
                           (["--slave", "1:3:0:10", "--serial", "/dev/null", "--data-bits", "9"], "bad --data-bits"),
                           (["--slave", "1:3:0:10", "--serial", "/dev/null", "--stop-bits", "3"], "bad --stop-bits"),
                           (["--slave", "1:3:0:10", "--tcp", "70000"], "bad --tcp value"),
                           (["--slave", "1:3:0:0"], "bad --slave value"),
                           (["--slave"], "needs a value"),
                           (["--slave", "1:3:0:10", "--delay", "60001"], "bad delay"),
                           (["--slave", "1:3:0:10", "--delay", "80:50"], "MIN not above MAX"),
                           (["--slave", "1:3:0:10", "--exception", "12"], "bad exception"),
                           (["--slave", "1:3:0:10", "--exception", "2@20-10"], "bad exception"),
                           (["--slave", "1:3:0:10", "--drop", "101"], "bad drop rate"),
                           (["--slave", "1:3:0:10", "--corrupt", "-1"], "bad corruption rate"),
                           (["--slave", "1:3:0:10", "--busy", "5:5"], "bad busy burst"),
                           (["--slave", "1:3:0:10", "--drop", "300=10"], "slave id 0-255"),
                           (["--slave", "1:3:0:10", "--drop", "7=10"], "no definition with slave id 7"),
                           (["--slave", "1:3:0:10", "--seed", "x"], "bad --seed"),
                           ([], "no slave definitions")]:
            status, _, err = run(args)
            self.assertEqual(status, 2, args)
            self.assertIn(text, err, args)

    def test_files_and_definitions_that_cannot_be_served_exit_1(self):
        good = vantor_process.vnd_image(0, 3, 10, 1, b"")
        older_bad_table = struct.pack("<3i", 0, 7, 10) + good[16:-44]
        cases = [
            ([self.path("bad.vnd", older_bad_table)], "File format error"),
            ([self.path("short.vnd", good[:5000])], "ends unexpectedly"),
            ([os.path.join(self.directory.name, "missing.vnd")], "No such file"),
            (["--slave", "1:3:0:3000"], "definition refused"),
            (["--slave", "1:3:0:10"] * 33, "definition refused"),
            (["--slave", "1:3:0:10", "--serial", os.path.join(self.directory.name, "ttyNone")],
             "Port not available"),
        ]
        for args, text in cases:
            status, _, err = run(args + ["--tcp", "127.0.0.1:0"] if "--serial" not in args else args)
            self.assertEqual(status, 1, args)
            self.assertIn(text, err, args)

    def test_port_in_use_tells_why(self):
        blocker = socket.socket()
        blocker.bind(("127.0.0.1", 0))
        blocker.listen(1)
        try:
            status, _, err = run(["--slave", "1:3:0:10", "--tcp", "127.0.0.1:%d" % blocker.getsockname()[1]])
        finally:
            blocker.close()
        self.assertEqual(status, 1)
        self.assertIn("Modbus/TCP Connection Failed.", err)
        self.assertIn("Address already in use", err)


class Serving(unittest.TestCase):
    def test_ready_line_traffic_and_sigint(self):
        v = vantor_process.Vantor(VANTOR, ["--slave", "1:3:0:10", "--slave", "2:1:0:8", "--tcp", "127.0.0.1:0",
                                           "--traffic"])
        self.assertRegex(v.ready_line, r"^vantor: serving 2 definitions on 127\.0\.0\.1:\d+$")
        with socket.create_connection(("127.0.0.1", v.tcp_port())) as s:
            s.sendall(bytes([0, 7, 0, 0, 0, 6, 1, 3, 0, 0, 0, 1]))
            reply = s.recv(64)
        self.assertEqual(reply, bytes([0, 7, 0, 0, 0, 5, 1, 3, 2, 0, 0]))
        self.assertEqual(v.stop(signal.SIGINT), 0)
        lines = v.output.splitlines()
        self.assertEqual(lines, ["000000-Rx:00 07 00 00 00 06 01 03 00 00 00 01 ",
                                 "000001-Tx:00 07 00 00 00 05 01 03 02 00 00 "])

    def test_serving_process_holds_no_windowing_library(self):
        # The headless run goes on in a program without Qt: the same process
        # (the pid the caller started), a fraction of the memory.
        v = vantor_process.Vantor(VANTOR, ["--slave", "1:3:0:10", "--tcp", "127.0.0.1:0"])
        with open("/proc/%d/maps" % v.process.pid) as maps:
            libraries = maps.read()
        with socket.create_connection(("127.0.0.1", v.tcp_port())) as s:
            s.sendall(bytes([0, 7, 0, 0, 0, 6, 1, 3, 0, 0, 0, 1]))
            self.assertEqual(s.recv(64), bytes([0, 7, 0, 0, 0, 5, 1, 3, 2, 0, 0]))
        self.assertEqual(v.stop(), 0)
        self.assertNotIn("libQt6", libraries)

    def test_definitions_are_registered_in_command_line_order(self):
        # Two definitions of the same registers: the first registered one answers.
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "values.vnd")
            with open(path, "wb") as f:
                f.write(vantor_process.vnd_image(0, 3, 10, 1, struct.pack("<H", 0x1234)))
            for args, expected in [(["--slave", "1:3:0:10", path], 0), ([path, "--slave", "1:3:0:10"], 0x1234)]:
                v = vantor_process.Vantor(VANTOR, args + ["--tcp", "127.0.0.1:0"])
                with socket.create_connection(("127.0.0.1", v.tcp_port())) as s:
                    s.sendall(bytes([0, 1, 0, 0, 0, 6, 1, 3, 0, 0, 0, 1]))
                    reply = s.recv(64)
                self.assertEqual(v.stop(), 0)
                self.assertEqual(reply[9:11], struct.pack(">H", expected), args)

    def test_older_layout_file_with_table_index_0_serves_coils(self):
        # Files without the 2000 marker store the table as the list index 0..3.
        with tempfile.TemporaryDirectory() as directory:
            current = vantor_process.vnd_image(10, 1, 8, 5, bytes([1, 0, 1, 1]))
            path = os.path.join(directory, "older.vnd")
            with open(path, "wb") as f:
                f.write(struct.pack("<3i", 10, 0, 8) + current[16:-44])
            v = vantor_process.Vantor(VANTOR, [path, "--tcp", "127.0.0.1:0"])
            with socket.create_connection(("127.0.0.1", v.tcp_port())) as s:
                s.sendall(bytes([0, 3, 0, 0, 0, 6, 5, 1, 0, 10, 0, 4]))
                reply = s.recv(64)
            self.assertEqual(v.stop(), 0)
            self.assertEqual(reply, bytes([0, 3, 0, 0, 0, 4, 5, 1, 1, 0x0D]))

    def test_serial_ready_line_and_sigterm(self):
        modem = vantor_process.NullModem()
        try:
            v = vantor_process.Vantor(VANTOR, ["--slave", "1:3:0:10", "--serial", modem.path_a, "--baud", "19200",
                                               "--ascii"])
            self.assertEqual(v.ready_line,
                             "vantor: serving 1 definition on %s (ASCII, 19200-8-N-1)" % modem.path_a)
            self.assertEqual(v.stop(), 0)
            # The line options as the link gets them; parity by letter or by name.
            for parity in ["E", "even"]:
                v = vantor_process.Vantor(VANTOR, ["--slave", "1:3:0:10", "--serial", modem.path_a, "--parity", parity,
                                                   "--data-bits", "7", "--stop-bits", "2"])
                self.assertEqual(v.ready_line, "vantor: serving 1 definition on %s (RTU, 9600-7-E-2)" % modem.path_a)
                self.assertEqual(v.stop(), 0)
        finally:
            modem.close()


if __name__ == "__main__":
    VANTOR = sys.argv.pop(1)
    unittest.main(verbosity=2)
