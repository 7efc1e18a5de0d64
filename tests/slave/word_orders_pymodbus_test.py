"""All four byte and word orders against an independent peer: pymodbus's
BinaryPayloadBuilder and BinaryPayloadDecoder with byteorder and wordorder.
vantor serves values from a register map, pymodbus decodes them; pymodbus
writes values, headless zelmor reads them with --format; zelmor writes in
every order and pymodbus decodes what arrived. Bad maps stop vantor with the
line and column of the fault."""
import os
import subprocess
import sys
import tempfile
import unittest

from pymodbus.client import ModbusTcpClient
from pymodbus.constants import Endian
from pymodbus.payload import BinaryPayloadBuilder, BinaryPayloadDecoder

import vantor_process

VANTOR = None
ZELMOR = None

# Order name -> (byteorder, wordorder) as pymodbus names them: the byte order
# inside each register and the order of the registers.
ORDERS = {
    "ABCD": (Endian.Big, Endian.Big),
    "CDAB": (Endian.Big, Endian.Little),
    "BADC": (Endian.Little, Endian.Big),
    "DCBA": (Endian.Little, Endian.Little),
}

# (map type, zelmor format stem, pymodbus encode/decode suffix, registers, value)
TYPES = [
    ("float32", "float", "32bit_float", 2, -1234.5),
    ("int32", "long", "32bit_int", 2, -123456789),
    ("uint32", "unsigned-long", "32bit_uint", 2, 4023456789),
    ("float64", "double", "64bit_float", 4, 6.02214076e23),
]

CLASSIC = {("float", "ABCD"): "float-inverse", ("float", "CDAB"): "float",
           ("long", "ABCD"): "long-inverse", ("long", "CDAB"): "long",
           ("double", "ABCD"): "double-inverse", ("double", "CDAB"): "double"}


def format_name(stem, order):
    return CLASSIC.get((stem, order), stem + "-" + order.lower())


def layout():
    """Every type in every order, each at its own address: (type row, order, address)."""
    address = 0
    for row in TYPES:
        for order in ORDERS:
            yield row, order, address
            address += row[3]


def zelmor(args, timeout=20):
    result = subprocess.run([ZELMOR, "--headless"] + args, capture_output=True, timeout=timeout)
    return result.returncode, result.stdout.decode(), result.stderr.decode()


class WordOrders(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.TemporaryDirectory()
        rows = ["table,address,type,order,name,unit,scale,value"]
        for (kind, _, _, _, value), order, address in layout():
            rows.append("holding registers,%d,%s,%s,%s %s,,1,%r" % (address, kind, order, kind, order, value))
        cls.map_path = os.path.join(cls.directory.name, "orders.csv")
        with open(cls.map_path, "w") as f:
            f.write("\n".join(rows) + "\n")
        # The map's definitions, and free registers for the writes at 200.
        cls.vantor = vantor_process.Vantor(VANTOR, ["--map", "1=" + cls.map_path, "--slave", "1:3:200:100",
                                                    "--tcp", "127.0.0.1:0"])
        cls.port = cls.vantor.tcp_port()
        cls.client = ModbusTcpClient("127.0.0.1", port=cls.port)
        assert cls.client.connect()

    @classmethod
    def tearDownClass(cls):
        cls.client.close()
        cls.vantor.stop()
        cls.directory.cleanup()

    def registers(self, address, count):
        rr = self.client.read_holding_registers(address, count, slave=1)
        self.assertFalse(rr.isError(), rr)
        return rr.registers

    def test_vantor_serves_map_values_as_pymodbus_decodes_them(self):
        for (kind, _, suffix, count, value), order, address in layout():
            byteorder, wordorder = ORDERS[order]
            decoder = BinaryPayloadDecoder.fromRegisters(self.registers(address, count), byteorder=byteorder,
                                                         wordorder=wordorder)
            self.assertEqual(getattr(decoder, "decode_" + suffix)(), value, (kind, order))

    def test_zelmor_reads_what_pymodbus_wrote_in_every_order(self):
        for (kind, stem, suffix, count, value), order, _ in layout():
            byteorder, wordorder = ORDERS[order]
            builder = BinaryPayloadBuilder(byteorder=byteorder, wordorder=wordorder)
            getattr(builder, "add_" + suffix)(value)
            written = builder.to_registers()
            self.assertFalse(self.client.write_registers(240, written, slave=1).isError())
            name = format_name(stem, order)
            status, out, err = zelmor(["--tcp", "127.0.0.1:%d" % self.port, "--poll", "1:3:240:%d:100" % count,
                                       "--format", name, "--count", "1"])
            self.assertEqual(status, 0, err)
            fields = out.strip().splitlines()[-1].split(",")
            self.assertEqual(fields[1], "<40241>", out)
            self.assertAlmostEqual(float(fields[2]), value, delta=abs(value) * 1e-6, msg=(name, out))

    def test_pymodbus_decodes_what_zelmor_wrote_in_every_order(self):
        for (kind, stem, suffix, count, value), order, _ in layout():
            name = format_name(stem, order)
            text = "%d" % value if isinstance(value, int) else repr(value)
            status, out, err = zelmor(["--tcp", "127.0.0.1:%d" % self.port, "--format", name,
                                       "--write", "1:16:260:%s" % text])
            self.assertEqual(status, 0, err + out)
            byteorder, wordorder = ORDERS[order]
            decoder = BinaryPayloadDecoder.fromRegisters(self.registers(260, count), byteorder=byteorder,
                                                         wordorder=wordorder)
            got = getattr(decoder, "decode_" + suffix)()
            if kind == "float32":
                self.assertAlmostEqual(got, value, delta=abs(value) * 1e-6, msg=name)
            else:
                self.assertEqual(got, value, name)


class BadMaps(unittest.TestCase):
    def test_a_bad_map_stops_vantor_with_its_line_and_column(self):
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "bad.csv")
            with open(path, "w") as f:
                f.write("table,address,type,order,name,unit,scale,value\n"
                        "holding registers,0,int16,,a,,,1\n"
                        "holding registers,1,uint16,,b,,,70000\n")
            result = subprocess.run([VANTOR, "--headless", "--map", path, "--tcp", "127.0.0.1:0"],
                                    capture_output=True, timeout=10)
            self.assertNotEqual(result.returncode, 0)
            self.assertIn("line 3, column 8 (value): 70000 is outside uint16 (0..65535)", result.stderr.decode())


if __name__ == "__main__":
    VANTOR = sys.argv.pop(1)
    ZELMOR = sys.argv.pop(1)
    unittest.main()
