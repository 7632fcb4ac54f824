"""Runs the built kalmo program against the programmer simulator on a pseudo-terminal.

The programs come from the environment (KALMO_BIN, KALMO_SIM, set by CTest). Every test gets a
simulator of its own with a transcript of every byte both ways, and runs kalmo with KALMO_PORT
pointing at the simulator's terminal.
"""
import os
import pty
import select
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest

KALMO = os.environ.get("KALMO_BIN", "kalmo")
SIM = os.environ.get("KALMO_SIM", "kalmo-sim")

PREAMBLE = bytes([0xE6, 0xB5, 0xBA, 0xB9, 0xB2, 0xB3, 0xA9])
BANNER = b"Tellu Kalmo - Version 1.2\n\n"


def hex_record(address, data, record_type=0):
    body = bytes([len(data), (address >> 8) & 0xFF, address & 0xFF, record_type]) + bytes(data)
    return ":" + body.hex().upper() + "%02X" % ((-sum(body)) & 0xFF)


def hex_text(image):
    """Intel HEX text of an image up to 64 KiB, 16 bytes a record."""
    lines = [hex_record(a, image[a:a + 16]) for a in range(0, len(image), 16)]
    return "\r\n".join(lines + [":00000001FF"]) + "\r\n"


def burn_commands(received):
    """What the device received, cut into commands: ('B', n), ('g', n), ('A', hi, lo), ('p',) for a
    preamble command with its token p, and single letters."""
    result, i = [], 0
    while i < len(received):
        if received.startswith(PREAMBLE, i):
            result.append(("preamble", received[i + len(PREAMBLE):i + len(PREAMBLE) + 1].decode("latin-1")))
            i += len(PREAMBLE) + 1
            continue
        letter = chr(received[i])
        if letter in "Bg":
            n = received[i + 1] * 256 + received[i + 2]
            result.append((letter, n))
            i += 4 + (n if letter == "B" else 0)
        elif letter == "A":
            result.append(("A", received[i + 1], received[i + 2]))
            i += 3
        else:
            result.append((letter,))
            i += 1
    return result


def block_sizes(received, letter="B"):
    """The sizes of the received blocks of one kind: 'B' written, 'g' read."""
    return [c[1] for c in burn_commands(received) if c[0] == letter]


class Simulator:
    """kalmo-sim as a child process; the transcript file tells what crossed the line."""

    def __init__(self, workdir, *options):
        self.transcript_path = os.path.join(workdir, "transcript-%d.txt" % id(self))
        self.flash_path = os.path.join(workdir, "flash-%d.bin" % id(self))
        self.process = subprocess.Popen(
            [SIM, "--transcript", self.transcript_path, "--dump-flash", self.flash_path] + list(options),
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.path = self.process.stdout.readline().decode().strip()
        if not self.path:
            raise RuntimeError("simulator did not start: " + self.process.stderr.read().decode())

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()
        self.process.stderr.close()

    def runs(self):
        """The transcript as a list of (direction, bytes): '>' to the device, '<' from it."""
        if not os.path.exists(self.transcript_path):
            return []
        result = []
        with open(self.transcript_path) as f:
            for line in f:
                line = line.strip()
                if not line:
                    continue
                direction, _, rest = line.partition(" ")
                data = bytes(int(x, 16) for x in rest.split())
                if result and result[-1][0] == direction:
                    result[-1] = (direction, result[-1][1] + data)
                else:
                    result.append((direction, data))
        return result

    def received(self):
        return b"".join(data for direction, data in self.runs() if direction == ">")

    def sent(self):
        return b"".join(data for direction, data in self.runs() if direction == "<")

    def flash(self):
        with open(self.flash_path, "rb") as f:
            return f.read()


class Result:
    def __init__(self, status, stdout, seconds):
        self.status = status
        self.stdout = stdout
        self.seconds = seconds


class KalmoTestCase(unittest.TestCase):
    """A temporary folder, simulators that are stopped at the end, and kalmo runs."""

    def setUp(self):
        self.workdir = tempfile.mkdtemp(prefix="kalmo-it-")
        self.simulators = []

    def tearDown(self):
        for simulator in self.simulators:
            simulator.stop()
        shutil.rmtree(self.workdir, ignore_errors=True)

    def simulator(self, *options):
        simulator = Simulator(self.workdir, *options)
        self.simulators.append(simulator)
        return simulator

    def write_file(self, name, text):
        path = os.path.join(self.workdir, name)
        with open(path, "w", newline="") as f:
            f.write(text)
        return path

    def environment(self, port, extra=None):
        env = dict(os.environ)
        env["KALMO_PORT"] = port
        env.setdefault("KALMO_DEBUG_PORT", "1")  # nothing listens there: the debug channel stays quiet
        env["LC_ALL"] = "C"
        if extra:
            env.update(extra)
        return env

    def run_kalmo(self, port, *args, timeout=60, env=None):
        start = time.monotonic()
        process = subprocess.run([KALMO] + list(args), stdout=subprocess.PIPE, stdin=subprocess.DEVNULL,
                                 env=self.environment(port, env), timeout=timeout, cwd=self.workdir)
        return Result(process.returncode, process.stdout, time.monotonic() - start)

    def header(self, port):
        return BANNER + b"Tovalink an/at " + port.encode() + b"\n"


class Terminal:
    """kalmo on a pseudo-terminal of its own, for the dialog: keys in, screen out."""

    def __init__(self, args, env, cwd):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(cwd)
            os.execve(KALMO, [KALMO] + list(args), env)
        self.output = b""
        self.status = None

    def read_until(self, needle, timeout=10):
        deadline = time.monotonic() + timeout
        while needle not in self.output:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise AssertionError("screen never showed %r; it showed %r" % (needle, self.output[-400:]))
            ready, _, _ = select.select([self.fd], [], [], remaining)
            if ready:
                try:
                    data = os.read(self.fd, 4096)
                except OSError:
                    data = b""
                if not data:
                    raise AssertionError("program ended before %r; it showed %r" % (needle, self.output[-400:]))
                self.output += data
        return self.output

    def key(self, byte):
        os.write(self.fd, bytes([byte]) if isinstance(byte, int) else byte)

    def wait(self, timeout=15):
        deadline = time.monotonic() + timeout
        while True:
            ready, _, _ = select.select([self.fd], [], [], 0.2)
            if ready:
                try:
                    data = os.read(self.fd, 4096)
                    self.output += data
                except OSError:
                    pass
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.status = os.waitstatus_to_exitcode(status)
                os.close(self.fd)
                return self.status
            if time.monotonic() > deadline:
                os.kill(self.pid, signal.SIGKILL)
                os.waitpid(self.pid, 0)
                os.close(self.fd)
                raise AssertionError("dialog did not end; screen: %r" % self.output[-400:])


class Monitor:
    """A debug monitor: a TCP listener on a local port (a free one unless given) that collects every byte."""

    def __init__(self, close_after_accept=False, port=0):
        self.server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.server.bind(("127.0.0.1", port))
        self.server.listen(5)
        self.port = self.server.getsockname()[1]
        self.data = b""
        self.close_after_accept = close_after_accept
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        try:
            connection, _ = self.server.accept()
        except OSError:
            return
        with connection:
            if self.close_after_accept:
                return
            while True:
                chunk = connection.recv(4096)
                if not chunk:
                    return
                self.data += chunk

    def close(self):
        self.server.close()
        self.thread.join(5)
