"""A recording replayed by headless vantor and read by pymodbus: holding registers
and coils 300 ms apart read at their recorded times, the definitions a recording
needs made for it, a register map's names kept beside the replayed values, a fast
loop that comes round to the first row again, and refused recordings and options."""
import os
import subprocess
import sys
import tempfile
import time
import unittest

from pymodbus.client import ModbusTcpClient

import vantor_process

VANTOR = None
HEADER = "time,elapsed ms,unit,table,address,count,values\n"
GAP = 0.3
# (seconds, holding registers 400001.., coils 000001..)
ROWS = [(0.0, [0x0001, 0x00FF, 0x4148], [1, 0, 0, 1, 1]),
        (0.3, [0x0002, 0x00FE, 0x4149], [0, 1, 0, 1, 0]),
        (0.6, [0x0003, 0x00FD, 0x414A], [1, 1, 1, 0, 0]),
        (0.9, [0x0004, 0x00FC, 0x414B], [0, 0, 0, 0, 1])]


def recording_text(rows):
    text = HEADER
    for seconds, registers, coils in rows:
        ms = int(round(seconds * 1000))
        text += "2026-12-08 11:30:00.000,%d,1,holding registers,400001,3,%s\n" % (
            ms, " ".join("%04X" % r for r in registers))
        text += "2026-12-08 11:30:00.000,%d,1,coils,000001,5,%s\n" % (ms, " ".join(str(b) for b in coils))
    # Unit 7's input registers appear once, in the protocol form of the address.
    return text + "2026-12-08 11:30:00.000,%d,7,input registers,20,1,BEEF\n" % int(rows[-1][0] * 1000)


def due_row(seconds):
    """The row whose values stand at `seconds` after the start (played once)."""
    return max((r for r in ROWS if r[0] <= seconds), key=lambda r: r[0])


class Replay(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.path = os.path.join(self.dir.name, "device.csv")
        with open(self.path, "w") as f:
            f.write(recording_text(ROWS))

    def tearDown(self):
        self.dir.cleanup()

    def serve(self, args):
        self.started = time.monotonic()
        vantor = vantor_process.Vantor(VANTOR, ["--replay", self.path] + args + ["--tcp", "0"])
        self.ready = time.monotonic()
        client = ModbusTcpClient("127.0.0.1", port=vantor.tcp_port())
        client.connect()
        return vantor, client

    def test_reads_at_the_recorded_times_get_the_recorded_values(self):
        vantor, client = self.serve(["--replay-once"])
        try:
            self.assertIn("serving 3 definitions", vantor.ready_line)
            for seconds, _, _ in ROWS:
                # A little after the row's time by the latest clock the replay can have started on.
                delay = self.ready + seconds + 0.05 - time.monotonic()
                if delay > 0:
                    time.sleep(delay)
                before = time.monotonic()
                registers = client.read_holding_registers(0, 3, slave=1).registers
                coils = client.read_coils(0, 5, slave=1).bits[:5]
                after = time.monotonic()
                # The replay clock lies between (before - ready) and (after - started):
                # any row due in that span may stand.
                low, high = before - self.ready, after - self.started
                span = [r for r in ROWS if due_row(low)[0] <= r[0] <= high]
                self.assertIn(tuple(registers), {tuple(r[1]) for r in span}, (seconds, low, high))
                self.assertIn(tuple(int(b) for b in coils), {tuple(r[2]) for r in span}, seconds)
            time.sleep(GAP + 0.2)  # played once: the last values stay
            self.assertEqual(client.read_holding_registers(0, 3, slave=1).registers, ROWS[-1][1])
            self.assertEqual(client.read_input_registers(20, 1, slave=7).registers, [0xBEEF])
            # The definitions made for the recording hold just its reads.
            self.assertTrue(client.read_holding_registers(3, 1, slave=1).isError())
        finally:
            client.close()
            self.assertEqual(vantor.stop(), 0)

    def test_a_fast_loop_comes_round_to_the_first_row_again(self):
        # Speed 10: a pass of 0.9 s + 0.3 s lasts 120 ms.
        vantor, client = self.serve(["--replay-speed", "10"])
        try:
            seen = []
            deadline = time.monotonic() + 2.0
            while time.monotonic() < deadline:
                registers = tuple(client.read_holding_registers(0, 3, slave=1).registers)
                if not seen or seen[-1] != registers:
                    seen.append(registers)
                time.sleep(0.01)
            recorded = [tuple(r[1]) for r in ROWS]
            self.assertTrue(set(seen) <= set(recorded), seen)
            # More values than one pass has: it went round at least once.
            self.assertGreater(len(seen), len(ROWS), seen)
        finally:
            client.close()
            vantor.stop()

    def test_a_register_map_names_the_values_the_recording_fills(self):
        map_path = os.path.join(self.dir.name, "device_map.csv")
        with open(map_path, "w") as f:
            f.write("table,address,type,order,name,unit,scale,value\n"
                    "holding registers,400001,uint16,,Level,,,77\n"
                    "holding registers,400010,uint16,,Setpoint,,,5\n")
        vantor, client = self.serve(["--map", map_path, "--replay-once"])
        try:
            # The map's definition (400001..400010) holds the recorded registers: none is added for them.
            self.assertIn("serving 3 definitions", vantor.ready_line)
            time.sleep(max(0.0, self.ready + 1.0 - time.monotonic()))
            registers = client.read_holding_registers(0, 10, slave=1).registers
            self.assertEqual(registers[:3], ROWS[-1][1])
            self.assertEqual(registers[9], 5)
        finally:
            client.close()
            vantor.stop()

    def test_bad_recordings_and_options_are_refused_before_serving(self):
        bad = os.path.join(self.dir.name, "bad.csv")
        with open(bad, "w") as f:
            f.write(HEADER + "t,0,1,coils,000001,2,1 0\nt,5,1,coils,000001,2,1\n")
        result = subprocess.run([VANTOR, "--headless", "--replay", bad, "--tcp", "0"], capture_output=True,
                                timeout=10)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.decode(),
                         "vantor: %s: line 3, column 7 (values): 2 values expected, the row has 1\n" % bad)
        result = subprocess.run([VANTOR, "--headless", "--replay", self.dir.name, "--tcp", "0"],
                                capture_output=True, timeout=10)
        self.assertEqual(result.returncode, 1)
        self.assertIn("not a regular file", result.stderr.decode())
        # 33 blocks too far apart to share a definition: more than can be served.
        with open(bad, "w") as f:
            f.write(HEADER + "".join("t,0,%d,coils,000001,1,1\n" % unit for unit in range(33)))
        result = subprocess.run([VANTOR, "--headless", "--replay", bad, "--tcp", "0"], capture_output=True,
                                timeout=10)
        self.assertEqual(result.returncode, 1)
        self.assertIn("the recording needs 33 more definitions", result.stderr.decode())
        for args in (["--replay-speed", "0"], ["--replay-speed", "1001"], ["--replay-speed", "x"]):
            result = subprocess.run([VANTOR, "--headless", "--replay", self.path] + args, capture_output=True,
                                    timeout=10)
            self.assertEqual(result.returncode, 2, args)
            self.assertIn("bad --replay-speed value", result.stderr.decode())
        with open(bad, "w") as f:
            f.write(HEADER)
        result = subprocess.run([VANTOR, "--headless", "--replay", bad, "--tcp", "0"], capture_output=True,
                                timeout=10)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.decode(), "vantor: %s: the recording holds no reads\n" % bad)
        result = subprocess.run([VANTOR, "--headless", "--slave", "1:3:0:1", "--replay-once"],
                                capture_output=True, timeout=10)
        self.assertEqual(result.returncode, 2)


if __name__ == "__main__":
    VANTOR = sys.argv.pop(1)
    unittest.main()
