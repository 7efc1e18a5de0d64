"""Starting and stopping headless vantor for the interoperability tests, a
null-modem relay between two pseudo-terminals, and .vnd images built by hand."""
import os
import select
import signal
import struct
import subprocess
import threading
import time


class Vantor:
    """vantor --headless as a child process; ready once it prints its serving line."""

    def __init__(self, executable, args, timeout=10.0):
        self.process = subprocess.Popen([executable, "--headless"] + args, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE)
        self.ready_line = self._wait_ready(timeout)

    def _wait_ready(self, timeout):
        deadline = time.monotonic() + timeout
        buffered = b""
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.process.stderr], [], [], 0.1)
            if ready:
                chunk = os.read(self.process.stderr.fileno(), 4096)
                if not chunk:
                    break
                buffered += chunk
                if b"\n" in buffered:
                    line = buffered.split(b"\n")[0].decode()
                    if "serving" not in line:
                        raise RuntimeError("vantor did not start: " + buffered.decode())
                    return line
            elif self.process.poll() is not None:
                break
        self.process.kill()
        raise RuntimeError("vantor did not get ready: " + buffered.decode())

    def tcp_port(self):
        return int(self.ready_line.rsplit(":", 1)[1])

    def stop(self, signal_number=signal.SIGTERM):
        """Signals the process by pid; returns the exit status. What it printed on
        standard output is kept in self.output."""
        self.process.send_signal(signal_number)
        try:
            status = self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            status = None
        self.output = self.process.stdout.read().decode()
        self.process.stdout.close()
        self.process.stderr.close()
        return status


class NullModem:
    """Two pseudo-terminals whose master sides are joined by a relay thread, so
    that two programs can each open a serial device path and talk."""

    def __init__(self):
        self.master_a, slave_a = os.openpty()
        self.master_b, slave_b = os.openpty()
        self.path_a = os.ttyname(slave_a)
        self.path_b = os.ttyname(slave_b)
        # Keep the slave sides open so the masters never see a hang-up.
        self.slaves = (slave_a, slave_b)
        self.running = True
        self.thread = threading.Thread(target=self._relay, daemon=True)
        self.thread.start()

    def _relay(self):
        peers = {self.master_a: self.master_b, self.master_b: self.master_a}
        while self.running:
            ready, _, _ = select.select(list(peers), [], [], 0.05)
            for fd in ready:
                try:
                    data = os.read(fd, 4096)
                except OSError:
                    continue
                if data:
                    os.write(peers[fd], data)

    def close(self):
        self.running = False
        self.thread.join()
        for fd in (self.master_a, self.master_b) + self.slaves:
            os.close(fd)


def vnd_image(address, table, length, slave_id, image, face="Courier New"):
    """A .vnd file of the current layout, field by field."""
    out = struct.pack("<9i", 2000, address, table, length, slave_id, 0, 1, 9, 0xFFFFFF)
    out += struct.pack("<5i8B", -10, 0, 0, 0, 400, 0, 0, 0, 0, 4, 0, 2, 33)
    out += bytes([len(face)]) + face.encode()
    out += bytes(4 * 4096)
    out += bytes(image) + bytes(4096 - len(image))
    out += struct.pack("<11i", 44, 0, 1, -1, -1, -1, -1, 0, 0, 400, 300)
    return out
