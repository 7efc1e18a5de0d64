"""zelmor and vantor driven over a private session bus.

The driver re-runs itself under dbus-run-session with a bus configuration that
activates the programs of the build tree, and with a profile directory of its
own. The Modbus peers are headless vantor (for zelmor) and pymodbus (reading
what a client put into vantor). The shipped example scripts run as they are."""
import argparse
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "slave"))

ARGS = None
ZELMOR = "example.orvane.Zelmor"
VANTOR = "example.orvane.Vantor"


def parse_arguments(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--bus-config", required=True)
    parser.add_argument("--zelmor", required=True)
    parser.add_argument("--vantor", required=True)
    parser.add_argument("--scripts", required=True)
    parser.add_argument("--only", choices=["zelmor", "vantor"])
    return parser.parse_known_args(argv)


def run_under_private_bus(argv):
    """Never the developer's bus: a fresh one, a fresh profile and runtime directory."""
    top = tempfile.mkdtemp(prefix="automation-test-")
    runtime = os.path.join(top, "runtime")
    os.makedirs(runtime, mode=0o700)
    env = dict(os.environ)
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    env.update(XDG_CONFIG_HOME=os.path.join(top, "config"), XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="offscreen",
               AUTOMATION_TEST_INNER="1")
    try:
        return subprocess.call(["dbus-run-session", "--config-file=" + ARGS.bus_config, "--", sys.executable,
                                os.path.abspath(__file__)] + argv, env=env)
    finally:
        shutil.rmtree(top, ignore_errors=True)


# ---------------------------------------------------------------- helpers (inner)

def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write_profile(program, comm_setup):
    directory = os.path.join(os.environ["XDG_CONFIG_HOME"], "Orvane")
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, program + ".conf"), "w") as f:
        f.write("[CommSetup]\n")
        for key, value in comm_setup.items():
            f.write("%s=%s\n" % (key, value))


def wait_until(predicate, timeout=10.0, what="condition"):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


def name_owned(name):
    import dbus
    daemon = dbus.Interface(dbus.SessionBus().get_object("org.freedesktop.DBus", "/org/freedesktop/DBus"),
                            "org.freedesktop.DBus")
    return bool(daemon.NameHasOwner(name))


def start_server(executable, name):
    """The program started by the test as a hidden automation server, once it owns its name."""
    process = subprocess.Popen([executable, "--automation"], stderr=subprocess.PIPE)
    wait_until(lambda: name_owned(name) or process.poll() is not None, what=name)
    if process.poll() is not None:
        raise AssertionError("%s did not start: %s" % (executable, process.stderr.read().decode()))
    return process


def wait_for_result(read, timeout=10.0):
    """Polls a result property while it is 10 (no reply yet) or 6 (the program's
    connect at start may still be under way)."""
    deadline = time.monotonic() + timeout
    code = int(read())
    while code in (10, 6) and time.monotonic() < deadline:
        time.sleep(0.05)
        code = int(read())
    return code


def pymodbus_client(port):
    from pymodbus.client import ModbusTcpClient
    client = ModbusTcpClient("127.0.0.1", port=port, timeout=2)
    wait_until(client.connect, what="Modbus/TCP connection to port %d" % port)
    return client


class Document:
    """A document object reached through a connection of its own (a client that can leave)."""

    def __init__(self, connection, service, root):
        import dbus
        application = dbus.Interface(connection.get_object(service, root), service + ".Application")
        self.path = application.CreateDocument()
        proxy = connection.get_object(service, self.path)
        self.interface = service + ".Document"
        self.call = dbus.Interface(proxy, self.interface)
        self.properties = dbus.Interface(proxy, dbus.PROPERTIES_IFACE)

    def get(self, name):
        return self.properties.Get(self.interface, name)

    def set(self, name, value):
        self.properties.Set(self.interface, name, value)


def private_connection():
    import dbus.bus
    return dbus.bus.BusConnection(os.environ["DBUS_SESSION_BUS_ADDRESS"])


def check_document_limit(case, executable, service, root):
    """32 documents fill the engine's slots; the 33rd CreateDocument is refused at once with an
    error (no box waits inside the call), and a slot freed by Close serves a new document."""
    import dbus
    server = start_server(executable, service)
    try:
        connection = private_connection()
        application = dbus.Interface(connection.get_object(service, root), service + ".Application")
        paths = [application.CreateDocument(timeout=5) for _ in range(32)]
        started = time.monotonic()
        with case.assertRaises(dbus.exceptions.DBusException) as refused:
            application.CreateDocument(timeout=5)
        case.assertLess(time.monotonic() - started, 2.0)
        case.assertEqual(refused.exception.get_dbus_name(), "org.freedesktop.DBus.Error.LimitsExceeded")
        case.assertIn("No more data resources", refused.exception.get_dbus_message())

        dbus.Interface(connection.get_object(service, paths[0]), service + ".Document").Close()

        def create_again():
            try:
                return application.CreateDocument(timeout=5)
            except dbus.exceptions.DBusException as error:
                case.assertEqual(error.get_dbus_name(), "org.freedesktop.DBus.Error.LimitsExceeded")
                return None
        path = wait_until(create_again, what="a document in the freed slot")
        case.assertNotIn(path, paths)
        # The creating client leaves: its 32 hidden documents close and the program ends.
        connection.close()
        case.assertEqual(server.wait(timeout=20), 0)
    finally:
        if server.poll() is None:
            server.kill()
            server.wait()


def words_of(fmt, value):
    """The 16-bit words of a value, least significant first (independent of the program's code)."""
    raw = struct.pack("<" + fmt, value)
    return list(struct.unpack("<%dH" % (len(raw) // 2), raw))


# ------------------------------------------------------------------ zelmor

class ZelmorAutomation(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        import vantor_process
        cls.directory = tempfile.TemporaryDirectory()
        # Holding registers 0..59: 100 + i, with the float 1.5 in registers 2 and 3 (low word first).
        registers = [100 + i for i in range(60)]
        registers[2:4] = words_of("f", 1.5)
        path = os.path.join(cls.directory.name, "registers.vnd")
        with open(path, "wb") as f:
            f.write(vantor_process.vnd_image(0, 3, 60, 1, b"".join(struct.pack("<H", r) for r in registers)))
        cls.registers = registers
        cls.peer = vantor_process.Vantor(ARGS.vantor, [path, "--slave", "1:1:0:100", "--tcp", "127.0.0.1:0"])
        cls.port = cls.peer.tcp_port()
        cls.reader = pymodbus_client(cls.port)

    @classmethod
    def tearDownClass(cls):
        cls.reader.close()
        cls.peer.stop()
        cls.directory.cleanup()

    def connected_profile(self):
        write_profile("zelmor", {"Port": 8, "IPAddress": "127.0.0.1", "ServicePort": self.port, "AutoEnable": 1})

    def test_example_script_through_activation(self):
        self.connected_profile()
        self.assertFalse(name_owned(ZELMOR))
        script = os.path.join(ARGS.scripts, "zelmor-automation-example.py")
        done = subprocess.run([sys.executable, script, "--length", "10", "--setpoint", "21.5", "--write-address", "20"],
                              capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        lines = done.stdout.splitlines()
        self.assertIn("ReadResult 0", lines)
        for i in (0, 5, 9):
            self.assertIn("register %d = %d" % (i, self.registers[i]), lines)
        self.assertIn("register 3 = %d" % words_of("f", 1.5)[1], lines)
        self.assertIn("float 1 = 1.5", lines)
        self.assertIn("WriteResult 0", lines)
        rr = self.reader.read_holding_registers(20, 2, slave=1)
        self.assertFalse(rr.isError(), rr)
        self.assertEqual(rr.registers, words_of("f", 21.5))
        # Started for the script and left by it: the hidden program ends.
        wait_until(lambda: not name_owned(ZELMOR), what="zelmor to leave the bus")

    def test_members_against_a_connected_slave(self):
        import dbus
        self.connected_profile()
        server = start_server(ARGS.zelmor, ZELMOR)
        try:
            doc = Document(dbus.SessionBus(), ZELMOR, "/example/orvane/Zelmor")
            self.assertEqual(doc.call.CreateRequest(1, 3, 0, 12, 100), 1)
            self.assertEqual(wait_for_result(lambda: doc.get("ReadResult")), 0)

            # Getters over the polled values, against values decoded here.
            raw = struct.pack("<12H", *self.registers[:12])
            self.assertEqual(doc.call.Register(9), 109)
            self.assertEqual(doc.call.Long(1), struct.unpack("<i", raw[4:8])[0])
            self.assertEqual(doc.call.LongInv(1), struct.unpack("<i", raw[6:8] + raw[4:6])[0])
            self.assertEqual(doc.call.Float(1), 1.5)
            self.assertEqual(doc.call.Double(1), struct.unpack("<d", raw[8:16])[0])
            reversed_words = struct.pack("<4H", *reversed(self.registers[4:8]))
            self.assertEqual(doc.call.DoubleInv(1), struct.unpack("<d", reversed_words)[0])
            self.assertEqual(doc.call.Register(127), 0)
            self.assertEqual(doc.call.Coil(2000), 0)
            self.assertEqual(doc.call.Double(31), 0.0)

            # Word orders in the write buffer, as the slave receives them.
            doc.call.SetFloat(0, 1.0)
            doc.call.SetFloatInv(1, 1.0)
            doc.call.SetDouble(1, 1.0)
            doc.call.SetDoubleInv(2, 1.0)
            doc.call.SetLong(6, 0x12345678)
            doc.call.SetLongInv(7, 0x12345678)
            doc.call.SetRegister(127, 7)  # outside: changes nothing
            self.assertFalse(doc.call.PresetMultipleRegisters(1, 30, 128))
            self.assertFalse(doc.call.PresetMultipleRegisters(1, 30, 0))
            self.assertTrue(doc.call.PresetMultipleRegisters(1, 30, 16))
            self.assertEqual(wait_for_result(lambda: doc.get("WriteResult")), 0)
            expected = ([0x0000, 0x3F80] + [0x3F80, 0x0000] + [0, 0, 0, 0x3FF0] + [0x3FF0, 0, 0, 0] +
                        [0x5678, 0x1234] + [0x1234, 0x5678])
            self.assertEqual(self.reader.read_holding_registers(30, 16, slave=1).registers, expected)

            # The other byte and word orders by format number: float BADC read over
            # the polled registers, unsigned long DCBA and double BADC written.
            self.assertEqual(doc.call.ValueInFormat(1, 10), struct.unpack(">f", raw[4:8])[0])
            self.assertEqual(doc.call.ValueInFormat(1, 0), 0.0)  # a 16-bit format has no such value
            doc.call.SetValueInFormat(0, 19, 4000000000.0)
            doc.call.SetValueInFormat(1, 12, 2.5)
            self.assertTrue(doc.call.PresetMultipleRegisters(1, 50, 8))
            self.assertEqual(wait_for_result(lambda: doc.get("WriteResult")), 0)
            self.assertEqual(self.reader.read_holding_registers(50, 8, slave=1).registers,
                             [0x0028, 0x6BEE, 0x3F80, 0x0000, 0x0440, 0, 0, 0])

            doc.call.SetRegister(0, -2)
            self.assertTrue(doc.call.PresetSingleRegister(1, 29))
            self.assertEqual(wait_for_result(lambda: doc.get("WriteResult")), 0)
            self.assertEqual(self.reader.read_holding_registers(29, 1, slave=1).registers, [0xFFFE])

            doc.call.SetCoil(0, 1)
            doc.call.SetCoil(1, 0)
            doc.call.SetCoil(2, 7)
            self.assertTrue(doc.call.ForceMultipleCoils(1, 50, 3))
            self.assertEqual(wait_for_result(lambda: doc.get("WriteResult")), 0)
            self.assertTrue(doc.call.ForceSingleCoil(1, 60))
            self.assertEqual(wait_for_result(lambda: doc.get("WriteResult")), 0)
            bits = self.reader.read_coils(50, 11, slave=1).bits
            self.assertEqual(bits[:3], [True, False, True])
            self.assertTrue(bits[10])

            # A coil poll reads them back through Coil.
            self.assertEqual(doc.call.CreateRequest(1, 1, 50, 3, 100), 1)
            self.assertEqual(wait_for_result(lambda: doc.get("ReadResult")), 0)
            self.assertEqual([int(doc.call.Coil(i)) for i in range(3)], [1, 0, 1])

            doc.set("DisplayFormat", dbus.Int32(4))
            doc.set("DisplayFormat", dbus.Int32(20))  # 10..19 are the other byte and word orders
            self.assertEqual(doc.get("DisplayFormat"), 4)
            doc.set("DisplayFormat", dbus.Int32(12))
            self.assertEqual(doc.get("DisplayFormat"), 12)
            doc.set("DisplayFormat", dbus.Int32(4))

            # Bad input from the bus (the signature forces the wrong types onto the wire): errors, never a crash.
            for bad in (lambda: doc.call.Register("x", signature="s"), lambda: doc.call.Register(1, signature="i"),
                        lambda: doc.call.CreateRequest(1, 3, signature="ii"),
                        lambda: doc.call.NoSuchMember(), lambda: doc.get("NoSuchProperty")):
                with self.assertRaises(dbus.exceptions.DBusException):
                    bad()
            self.assertEqual(doc.call.Register(-1), 0)

            doc.call.Close()
            with self.assertRaises(dbus.exceptions.DBusException) as closed:
                doc.call.Register(0)
            self.assertIn("Unknown", closed.exception.get_dbus_name())
            # That was the last document of a hidden server.
            self.assertEqual(server.wait(timeout=10), 0)
        finally:
            if server.poll() is None:
                server.kill()
                server.wait()

    def test_disconnected_checks_and_lifetime(self):
        write_profile("zelmor", {"Port": 8, "IPAddress": "127.0.0.1", "ServicePort": self.port, "AutoEnable": 0})
        server = start_server(ARGS.zelmor, ZELMOR)
        try:
            connection = private_connection()
            doc = Document(connection, ZELMOR, "/example/orvane/Zelmor")
            self.assertEqual(doc.call.CreateRequest(1, 3, 0, 128, 1000), 0)
            self.assertEqual(doc.call.CreateRequest(1, 1, 0, 2000, 1000), 1)
            for refused in ((0, 3, 0, 10, 1000), (1, 5, 0, 10, 1000), (1, 3, 65536, 10, 1000), (1, 3, 0, 10, 19),
                            (1, 1, 0, 2001, 1000)):
                self.assertEqual(doc.call.CreateRequest(*refused), 0, refused)
            # AutoEnable 0: a hidden server does not connect.
            self.assertEqual(doc.get("ReadResult"), 6)
            self.assertEqual(doc.get("WriteResult"), 6)

            # A second hidden instance cannot serve the name and does not stay.
            second = subprocess.run([ARGS.zelmor, "--automation"], capture_output=True, text=True, timeout=30)
            self.assertNotEqual(second.returncode, 0)
            self.assertIn("served by another instance", second.stderr)

            # The creating client leaves the bus: its hidden document closes and the program ends.
            connection.close()
            self.assertEqual(server.wait(timeout=10), 0)

            # After ShowWindow the program is the user's: it outlives the client.
            server = start_server(ARGS.zelmor, ZELMOR)
            connection = private_connection()
            doc = Document(connection, ZELMOR, "/example/orvane/Zelmor")
            doc.call.ShowWindow()
            connection.close()
            time.sleep(1.0)
            self.assertIsNone(server.poll())
            self.assertTrue(name_owned(ZELMOR))
        finally:
            if server.poll() is None:
                server.send_signal(signal.SIGTERM)
                server.wait(timeout=10)

    def test_document_limit_answers_with_an_error(self):
        write_profile("zelmor", {"Port": 8, "IPAddress": "127.0.0.1", "ServicePort": self.port, "AutoEnable": 0})
        check_document_limit(self, ARGS.zelmor, ZELMOR, "/example/orvane/Zelmor")


# ------------------------------------------------------------------ vantor

class VantorAutomation(unittest.TestCase):
    def setUp(self):
        self.port = free_port()
        write_profile("vantor", {"Port": 8, "AutoEnable": 1, "ListenAddress": "127.0.0.1", "ListenPort": self.port})

    def test_example_script_fills_a_slave_that_pymodbus_reads(self):
        self.assertFalse(name_owned(VANTOR))
        script = os.path.join(ARGS.scripts, "vantor-automation-example.py")
        filler = subprocess.Popen([sys.executable, script, "--hold", "60"], stdout=subprocess.PIPE, text=True)
        try:
            self.assertEqual(filler.stdout.readline().strip(), "ready")
            reader = pymodbus_client(self.port)
            try:
                expected = [1000 + i for i in range(20)]
                expected[10:12] = words_of("f", 1.5)
                self.assertEqual(reader.read_holding_registers(0, 20, slave=1).registers, expected)
                self.assertEqual(reader.read_coils(100, 16, slave=1).bits[:16], [i % 2 == 1 for i in range(16)])
            finally:
                reader.close()
        finally:
            filler.send_signal(signal.SIGTERM)
            filler.wait(timeout=10)
        # The filling client has gone: the activated, hidden vantor ends.
        wait_until(lambda: not name_owned(VANTOR), what="vantor to leave the bus")

    def test_members_and_checks(self):
        import dbus
        server = start_server(ARGS.vantor, VANTOR)
        try:
            bus = dbus.SessionBus()
            inputs = Document(bus, VANTOR, "/example/orvane/Vantor")
            self.assertEqual(inputs.call.CreateSlave(1, 3, 0, 128), 0)
            for refused in ((0, 3, 0, 10), (1, 5, 0, 10), (1, 1, 0, 2001), (1, 4, 65536, 10)):
                self.assertEqual(inputs.call.CreateSlave(*refused), 0, refused)
            self.assertEqual(inputs.call.CreateSlave(2, 4, 10, 5), 1)
            inputs.call.SetRegister(0, -1)
            inputs.call.SetRegister(4, 0x1234)
            inputs.call.SetRegister(127, 5)
            self.assertEqual(inputs.call.Register(127), 0)
            self.assertEqual(inputs.call.Register(4), 0x1234)

            holding = Document(bus, VANTOR, "/example/orvane/Vantor")
            self.assertEqual(holding.call.CreateSlave(3, 3, 0, 10), 1)
            coils = Document(bus, VANTOR, "/example/orvane/Vantor")
            self.assertEqual(coils.call.CreateSlave(3, 1, 0, 20), 1)
            coils.call.SetCoil(3, 9)
            coils.call.SetCoil(4095, 1)
            self.assertEqual(coils.call.Coil(4096), 0)

            reader = pymodbus_client(self.port)
            try:
                self.assertEqual(reader.read_input_registers(10, 5, slave=2).registers, [0xFFFF, 0, 0, 0, 0x1234])
                self.assertEqual(reader.read_coils(0, 5, slave=3).bits[:5], [False, False, False, True, False])
                # A master's write reaches the document's values.
                self.assertFalse(reader.write_register(4, 77, slave=3).isError())
                wait_until(lambda: holding.call.Register(4) == 77, what="the written register in the document")
            finally:
                reader.close()

            holding.set("DisplayFormat", dbus.Int32(20))  # 10..19 are the other byte and word orders
            self.assertEqual(holding.get("DisplayFormat"), 0)
            holding.set("DisplayFormat", dbus.Int32(19))
            self.assertEqual(holding.get("DisplayFormat"), 19)
            holding.call.SetValueInFormat(1, 19, 4000000000.0)  # unsigned long DCBA at registers 2 and 3
            self.assertEqual(holding.call.ValueInFormat(1, 19), 4000000000.0)
            self.assertEqual([int(holding.call.Register(i)) & 0xFFFF for i in (2, 3)], [0x0028, 0x6BEE])
            holding.set("DisplayFormat", dbus.Int32(0))
            with self.assertRaises(dbus.exceptions.DBusException):
                holding.call.SetRegister("a", 1, signature="sn")
            with self.assertRaises(dbus.exceptions.DBusException):
                holding.set("DisplayFormat", "four")

            for doc in (inputs, holding, coils):
                doc.call.Close()
            with self.assertRaises(dbus.exceptions.DBusException):
                inputs.call.Register(0)
            # The last document of a hidden server is gone.
            self.assertEqual(server.wait(timeout=10), 0)
        finally:
            if server.poll() is None:
                server.kill()
                server.wait()

    def test_document_limit_answers_with_an_error(self):
        check_document_limit(self, ARGS.vantor, VANTOR, "/example/orvane/Vantor")


def main():
    global ARGS
    ARGS, rest = parse_arguments(sys.argv[1:])
    if "AUTOMATION_TEST_INNER" not in os.environ:
        return run_under_private_bus(sys.argv[1:])
    loader = unittest.TestLoader()
    cases = {"zelmor": ZelmorAutomation, "vantor": VantorAutomation}
    chosen = [cases[ARGS.only]] if ARGS.only else list(cases.values())
    suite = unittest.TestSuite(loader.loadTestsFromTestCase(case) for case in chosen)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
