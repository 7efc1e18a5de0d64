"""Simulated values of headless vantor read by pymodbus: a ramp and a float sine
checked against their formulas at two times (within one refresh), random values
inside their bounds, coils that toggle, recorded values played into part of a
definition at their recorded times, rules kept beside a .vnd file (which stays as
it is), and refused --simulate options and rule files."""
import math
import os
import struct
import subprocess
import sys
import tempfile
import time
import unittest

from pymodbus.client import ModbusTcpClient

import vantor_process

VANTOR = None
REFRESH_SLACK = 0.8  # one 500 ms refresh and scheduling


def signed(word):
    return word - 65536 if word > 32767 else word


class Served:
    """vantor with its arguments and a pymodbus client; `window(t)` is the range of
    elapsed seconds a value read at monotonic time t may stand for."""

    def __init__(self, args):
        self.started = time.monotonic()
        self.vantor = vantor_process.Vantor(VANTOR, args + ["--tcp", "0"])
        self.ready = time.monotonic()
        self.client = ModbusTcpClient("127.0.0.1", port=self.vantor.tcp_port())
        self.client.connect()

    def window(self, t):
        return max(0.0, t - self.ready - REFRESH_SLACK), t - self.started

    def close(self):
        self.client.close()
        self.vantor.stop()


def in_range_of(value, formula, window, tolerance):
    """True when some elapsed time in the window gives the value."""
    low, high = window
    samples = [formula(low + (high - low) * k / 400) for k in range(401)]
    return min(samples) - tolerance <= value <= max(samples) + tolerance


class Simulate(unittest.TestCase):
    def test_ramp_and_sine_follow_their_formulas(self):
        served = Served(["--slave", "1:3:0:10",
                         "--simulate", "1:3:0:ramp:0:10000:20000",
                         "--simulate", "1:3:2-3:sine:100:50:3000:float-inverse"])
        ramp = lambda s: 10000.0 * ((s * 1000.0) % 20000.0) / 20000.0
        sine = lambda s: 100.0 + 50.0 * math.sin(2.0 * math.pi * ((s * 1000.0) % 3000.0) / 3000.0)
        try:
            readings = []
            for pause in (1.0, 1.7):
                time.sleep(pause)
                registers = served.client.read_holding_registers(0, 4, slave=1).registers
                t = time.monotonic()
                value = struct.unpack(">f", struct.pack(">HH", registers[2], registers[3]))[0]
                self.assertTrue(in_range_of(registers[0], ramp, served.window(t), 1.0),
                                (registers[0], served.window(t)))
                self.assertTrue(in_range_of(value, sine, served.window(t), 1e-3), (value, served.window(t)))
                readings.append(registers[0])
            self.assertGreater(readings[1], readings[0])  # it moves with time
        finally:
            served.close()

    def test_random_values_stay_in_bounds_and_change(self):
        served = Served(["--slave", "2:4:100:10", "--seed", "9", "--simulate", "2:4:100-109:random:-20:20"])
        try:
            seen = set()
            for _ in range(4):
                values = [signed(w) for w in served.client.read_input_registers(100, 10, slave=2).registers]
                self.assertTrue(all(-20 <= v <= 20 for v in values), values)
                seen.add(tuple(values))
                time.sleep(0.6)
            self.assertGreater(len(seen), 1)
        finally:
            served.close()

    def test_coils_toggle(self):
        served = Served(["--slave", "1:1:0:16", "--simulate", "1:1:0-7:toggle:400"])
        try:
            states = set()
            for _ in range(8):
                bits = served.client.read_coils(0, 16, slave=1).bits[:16]
                self.assertEqual(len(set(bits[:8])), 1, bits)  # the range moves together
                self.assertFalse(any(bits[8:]), bits)           # the rest is left alone
                states.add(bits[0])
                time.sleep(0.35)
            self.assertEqual(states, {False, True})
        finally:
            served.close()

    def test_recorded_values_follow_their_times_beside_other_rules(self):
        # Unit 1's registers 10-11 change 1.5 s in and the recording loops after 3 s;
        # served at slave id 6 (the recording's only unit), next to a toggle.
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "dev:1.csv")
            with open(path, "w") as f:
                f.write("time,elapsed ms,unit,table,address,count,values\n"
                        "t,0,1,holding registers,400011,2,1111 2222\n"
                        "t,1500,1,holding registers,400011,2,3333 4444\n")
            served = Served(["--slave", "6:3:8:6", "--simulate", "6:3:10-11:recording:" + path,
                             "--simulate", "6:3:13:toggle:100000"])
            try:
                expected = lambda s: [0x1111, 0x2222] if (s * 1000.0) % 3000.0 < 1500.0 else [0x3333, 0x4444]
                seen = set()
                for pause in (0.3, 2.0, 1.6):
                    time.sleep(pause)
                    registers = served.client.read_holding_registers(8, 6, slave=6).registers
                    low, high = served.window(time.monotonic())
                    if expected(low) == expected(high):  # not at a change
                        self.assertEqual(registers[2:4], expected(high), (low, high))
                    seen.add(tuple(registers[2:4]))
                    self.assertEqual([registers[0], registers[1], registers[4], registers[5]], [0, 0, 0, 0])
                self.assertEqual(seen, {(0x1111, 0x2222), (0x3333, 0x4444)})
            finally:
                served.close()
            result = subprocess.run([VANTOR, "--headless", "--slave", "6:3:8:6", "--tcp", "0",
                                     "--simulate", "6:3:12:recording:" + path], capture_output=True, timeout=10)
            self.assertEqual(result.returncode, 2)
            self.assertIn("the recording holds no reads of unit 1, table 3, addresses 12-12", result.stderr.decode())
            result = subprocess.run([VANTOR, "--headless", "--slave", "6:3:8:6", "--tcp", "0",
                                     "--simulate", "6:3:10:recording:" + path + ".gone"],
                                    capture_output=True, timeout=10)
            self.assertEqual(result.returncode, 1)
            self.assertIn("dev:1.csv.gone", result.stderr.decode())

    def test_rules_beside_a_vnd_file(self):
        with tempfile.TemporaryDirectory() as directory:
            vnd = os.path.join(directory, "pump.vnd")
            image = struct.pack("<10H", *range(1, 11))
            with open(vnd, "wb") as f:
                f.write(vantor_process.vnd_image(10, 3, 10, 4, image))
            with open(vnd, "rb") as f:
                before = f.read()
            with open(vnd + ".sim", "w") as f:
                f.write("# rules\n4:3:12:toggle:100000\n\n4:3:14-15:ramp:-8:-8:1000:long\n")
            served = Served([vnd])
            try:
                registers = served.client.read_holding_registers(10, 10, slave=4).registers
            finally:
                served.close()
            # Registers 12 and 14-15 are simulated (toggle starts at 0, long -8 in CDAB);
            # the rest keep the file's values.
            self.assertEqual(registers, [1, 2, 0, 4, 0xFFF8, 0xFFFF, 7, 8, 9, 10])
            with open(vnd, "rb") as f:
                self.assertEqual(f.read(), before)
            with open(vnd + ".sim", "w") as f:
                f.write("4:3:12:toggle:100\n4:3:30:toggle:100\n")
            result = subprocess.run([VANTOR, "--headless", vnd, "--tcp", "0"], capture_output=True, timeout=10)
            self.assertEqual(result.returncode, 1)
            self.assertIn("pump.vnd.sim: the definition does not hold 4:3:30:toggle:100", result.stderr.decode())
            with open(vnd + ".sim", "w") as f:
                f.write("4:3:12:toggle\n")
            result = subprocess.run([VANTOR, "--headless", vnd, "--tcp", "0"], capture_output=True, timeout=10)
            self.assertEqual(result.returncode, 1)
            self.assertIn("pump.vnd.sim: line 1: expected toggle:PERIOD_MS", result.stderr.decode())
            os.remove(vnd + ".sim")
            os.mkdir(vnd + ".sim")  # there, but not rules: refused rather than ignored
            result = subprocess.run([VANTOR, "--headless", vnd, "--tcp", "0"], capture_output=True, timeout=10)
            self.assertEqual(result.returncode, 1)
            self.assertIn("pump.vnd.sim: not a file", result.stderr.decode())

    def test_bad_options_stop_before_serving(self):
        cases = [
            (["--simulate", "1:3:0:wobble:1"], "KIND is random, ramp, sine, toggle or recording"),
            (["--simulate", "1:3:0:recording:"], "expected recording:FILE"),
            (["--simulate", "1:3:0:toggle:0"], "toggle:PERIOD_MS"),
            (["--simulate", "1:3:0:random:5:1"], "MIN <= MAX"),
            (["--simulate", "1:3:0:ramp:0:x:100"], "ramp:MIN:MAX:PERIOD_MS"),
            (["--simulate", "1:3:5-2:toggle:100"], "LAST from ADDRESS"),
            (["--simulate", "1:3:8-10:toggle:100"], "no definition of slave id 1, table 3 holds addresses 8-10"),
            (["--simulate", "2:3:0:toggle:100"], "no definition of slave id 2"),
            (["--simulate", "1:3:0-2:sine:0:1:100:float"], "float values take 2 registers each; the range holds 3"),
        ]
        for args, reason in cases:
            result = subprocess.run([VANTOR, "--headless", "--slave", "1:3:0:10", "--tcp", "0"] + args,
                                    capture_output=True, timeout=10)
            self.assertEqual(result.returncode, 2, args)
            self.assertIn(reason, result.stderr.decode(), args)
            self.assertNotIn("serving", result.stderr.decode(), args)


if __name__ == "__main__":
    VANTOR = sys.argv.pop(1)
    unittest.main()
