#!/usr/bin/python3
"""Soak of both headless programs: vantor serving 32 definitions with auto change
to 20 pymodbus client threads and to zelmor polling 32 polls at its fastest, for a
given time. Every value read is checked against the pattern the definitions
follow; RSS, threads and descriptors of both programs are sampled every minute.

    /usr/bin/python3 bench/soak/soak.py [--minutes 30] [--build build] [--clients 20]

The definitions (.vnd files written by build/bench/soak/soak_definitions through
vantor's encoder) hold, for unit u, register k = u * 1000 + 7 * k, every register
flagged "Auto increment": all of them step by one every 500 ms. A read of one definition therefore shows v[k] - v[0] = 7k, or 7k - 1
while an auto-change step is half done (it sets the registers one after another).
Exit status 0 when no read failed and no value broke the pattern.
"""
import argparse
import os
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time

from pymodbus.client import ModbusTcpClient

UNITS = 32
LENGTH = 10
STEP = 7


def table_of(unit):  # as soak_definitions writes them
    return 3 if unit % 2 else 4  # holding registers for odd units, input registers for even


def pattern_ok(values):
    if len(values) != LENGTH:
        return False
    for k in range(1, LENGTH):
        diff = (values[k] - values[0]) & 0xFFFF
        if diff not in (STEP * k, STEP * k - 1):
            return False
    return True


# ---- clients ----------------------------------------------------------------------
class Counts:
    def __init__(self):
        self.lock = threading.Lock()
        self.reads = 0
        self.errors = 0
        self.bad_values = 0
        self.first_problem = ""
        self.steps = 0  # the most auto-change steps seen on a first register

    def saw(self, unit, first):
        with self.lock:
            self.steps = max(self.steps, (first - unit * 1000) & 0xFFFF)

    def add(self, reads=0, errors=0, bad=0, problem=""):
        with self.lock:
            self.reads += reads
            self.errors += errors
            self.bad_values += bad
            if problem and not self.first_problem:
                self.first_problem = problem


def client_thread(index, port, stop, counts):
    client = ModbusTcpClient("127.0.0.1", port=port, timeout=3)
    client.connect()
    unit = 1 + index % UNITS
    last = {}
    while not stop.is_set():
        read = client.read_holding_registers if table_of(unit) == 3 else client.read_input_registers
        try:
            reply = read(0, LENGTH, slave=unit)
        except Exception as error:  # a dropped connection counts as an error
            counts.add(errors=1, problem=f"client {index} unit {unit}: {error}")
            client.close()
            client.connect()
            continue
        if reply.isError():
            counts.add(errors=1, problem=f"client {index} unit {unit}: {reply}")
        else:
            values = reply.registers
            bad = not pattern_ok(values)
            # The first register never steps back (16-bit wrap allowed).
            if unit in last and ((values[0] - last[unit]) & 0xFFFF) > 0x8000:
                bad = True
            last[unit] = values[0]
            counts.saw(unit, values[0])
            counts.add(reads=1, bad=int(bad), problem=f"client {index} unit {unit}: {values}" if bad else "")
        unit = 1 + unit % UNITS
    client.close()


def zelmor_reader(stream, counts):
    # "12:00:05,<40001>,1000,1007,..." per completed poll, or an error text.
    line_form = re.compile(r"^[^,]*,<[34]0001>,(.*)$")
    for line in stream:
        match = line_form.match(line.strip())
        if not match:
            counts.add(errors=1, problem=f"zelmor: {line.strip()}")
            continue
        try:
            values = [int(v) & 0xFFFF for v in match.group(1).split(",")]
        except ValueError:
            counts.add(errors=1, problem=f"zelmor: {line.strip()}")
            continue
        bad = not pattern_ok(values)
        counts.add(reads=1, bad=int(bad), problem=f"zelmor: {line.strip()}" if bad else "")


# ---- sampling ---------------------------------------------------------------------
def sample(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            fields = dict(line.split(":", 1) for line in status if ":" in line)
        rss_kb = int(fields["VmRSS"].split()[0])
        threads = int(fields["Threads"])
        descriptors = len(os.listdir(f"/proc/{pid}/fd"))
        return rss_kb, threads, descriptors
    except (OSError, KeyError, ValueError):
        return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--minutes", type=float, default=30)
    parser.add_argument("--build", default="build")
    parser.add_argument("--clients", type=int, default=20)
    args = parser.parse_args()
    vantor = os.path.join(args.build, "slave/app/vantor")
    zelmor = os.path.join(args.build, "master/app/zelmor")
    work = tempfile.mkdtemp(prefix="soak-")
    subprocess.run([os.path.join(args.build, "bench/soak/soak_definitions"), work, str(UNITS), str(LENGTH),
                    str(STEP)], check=True)
    files = [os.path.join(work, f"unit{unit}.vnd") for unit in range(1, UNITS + 1)]

    errlog = open(os.path.join(work, "vantor.err"), "w+")
    slave = subprocess.Popen([vantor, "--headless", *files, "--tcp", "127.0.0.1:0"], stderr=errlog,
                             stdout=subprocess.DEVNULL)
    port = None
    for _ in range(300):
        errlog.seek(0)
        found = re.search(r"serving (\d+) definitions on [\d.]+:(\d+)", errlog.read())
        if found:
            port = int(found.group(2))
            print(f"vantor: {found.group(0)}", flush=True)
            break
        if slave.poll() is not None:
            break
        time.sleep(0.1)
    if port is None:
        errlog.seek(0)
        print("vantor did not start:", errlog.read(), file=sys.stderr)
        slave.kill()
        return 1

    polls = []
    for unit in range(1, UNITS + 1):
        polls += ["--poll", f"{unit}:{table_of(unit)}:0:{LENGTH}:20"]
    # A long response time-out: the machine may be shared; a late reply is still an answer.
    master = subprocess.Popen([zelmor, "--headless", "--tcp", f"127.0.0.1:{port}", "--delay-between-polls", "0",
                               "--timeout", "5000", "--format", "unsigned", *polls], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True)
    client_counts, zelmor_counts = Counts(), Counts()
    stop = threading.Event()
    threads = [threading.Thread(target=client_thread, args=(i, port, stop, client_counts), daemon=True)
               for i in range(args.clients)]
    for t in threads:
        t.start()
    reader = threading.Thread(target=zelmor_reader, args=(master.stdout, zelmor_counts), daemon=True)
    reader.start()

    print("minute  vantor rss/thr/fd     zelmor rss/thr/fd     client reads  zelmor lines  errors  bad", flush=True)
    samples = []
    start = time.monotonic()
    minute = 0
    while True:
        s_rss, m_rss = sample(slave.pid), sample(master.pid)
        samples.append((s_rss, m_rss))
        errors = client_counts.errors + zelmor_counts.errors
        bad = client_counts.bad_values + zelmor_counts.bad_values
        print(f"{minute:6d}  {str(s_rss):20s}  {str(m_rss):20s}  {client_counts.reads:12d}  "
              f"{zelmor_counts.reads:12d}  {errors:6d}  {bad:3d}", flush=True)
        if minute >= args.minutes or slave.poll() is not None or master.poll() is not None:
            break
        minute += 1
        time.sleep(max(0.0, start + 60 * minute - time.monotonic()) if minute <= args.minutes else 0)
        if minute > args.minutes:
            break

    stop.set()
    for t in threads:
        t.join(timeout=10)
    alive = slave.poll() is None and master.poll() is None
    master.send_signal(signal.SIGTERM)
    slave.send_signal(signal.SIGTERM)
    master.wait(timeout=10)
    slave.wait(timeout=10)
    reader.join(timeout=5)
    elapsed = time.monotonic() - start
    print(f"\n{elapsed / 60:.1f} min; clients: {client_counts.reads} reads ({client_counts.reads / elapsed:.0f}/s), "
          f"{client_counts.errors} errors, {client_counts.bad_values} bad values; zelmor: {zelmor_counts.reads} "
          f"poll lines ({zelmor_counts.reads / elapsed:.0f}/s), {zelmor_counts.errors} errors, "
          f"{zelmor_counts.bad_values} bad values; up to {client_counts.steps} auto-change steps seen")
    for who, counts in (("clients", client_counts), ("zelmor", zelmor_counts)):
        if counts.first_problem:
            print(f"first problem ({who}): {counts.first_problem}")
    valid = [(s, m) for s, m in samples if s and m]
    if len(valid) >= 2:
        first, last = valid[min(1, len(valid) - 1)], valid[-1]
        print(f"RSS from minute 1 to the end: vantor {first[0][0]} -> {last[0][0]} kB, "
              f"zelmor {first[1][0]} -> {last[1][0]} kB; descriptors vantor {first[0][2]} -> {last[0][2]}, "
              f"zelmor {first[1][2]} -> {last[1][2]}")
    ok = alive and client_counts.errors == 0 and zelmor_counts.errors == 0 and \
        client_counts.bad_values == 0 and zelmor_counts.bad_values == 0
    print("soak:", "ok" if ok else "FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
