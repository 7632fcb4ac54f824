"""Runs the Windows build under Wine against the programmer simulator.

One Wine prefix serves the whole run (KALMO_WINE_PREFIX); its wine server is kept alive for the run,
because the registry key HARDWARE\\DEVICEMAP\\SERIALCOMM is volatile in Wine and the services keep
running only as long as the server lives. A simulator's pseudo-terminal becomes a COM port through
the prefix's dosdevices/comN link. The driver services are a small service program of the tests
(stay_service.exe) installed under the driver's service names with Wine's own sc.exe, and the
port's SERIALCOMM value is written with Wine's reg.exe.

The environment names the programs: KALMO_WINE (the loader: /usr/lib/wine/wine64 for the 64-bit
build, /usr/lib/wine/wine for the 32-bit one), KALMO_WIN_BUILD (the Windows build folder of that
word size), KALMO_EXE (the kalmo.exe under test: the 32-bit pass runs the release program),
KALMO_STAY_SERVICE (stay_service.exe), KALMO_SIM (the native kalmo-sim); the simulator classes come
from tests/integration/kalmo_harness.py, which must be on PYTHONPATH. scripts/wine-e2e.sh sets them.
"""
import atexit
import os
import pty
import re
import select
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import tty
import unittest

from kalmo_harness import BANNER, PREAMBLE, Simulator, burn_commands  # noqa: F401 (re-exported for the tests)

WINE = os.environ.get("KALMO_WINE", "/usr/lib/wine/wine64")
WINESERVER = os.environ.get("KALMO_WINESERVER", "/usr/lib/wine/wineserver")
BUILD = os.environ.get("KALMO_WIN_BUILD", "build/win64")
KALMO_EXE = os.environ.get("KALMO_EXE", os.path.join(BUILD, "kalmo.exe"))
COMPORT_TEST_EXE = os.environ.get("KALMO_COMPORT_TEST", os.path.join(BUILD, "tests", "zcomport_wine_test.exe"))
STAY_SERVICE = os.environ.get("KALMO_STAY_SERVICE", os.path.join(BUILD, "tests", "wine", "stay_service.exe"))
PREFIX = os.path.abspath(os.environ.get("KALMO_WINE_PREFIX", os.path.join(BUILD, "wine-e2e-prefix")))

COM_NUMBER = 5
COM_PORT = "COM%d" % COM_NUMBER
SERIALCOMM = "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM"
DRIVER_VALUE = "\\Device\\Silabser0"
BUS_SERVICE, PORT_SERVICE = "slabbus", "slabser"
# Wine's console reads a lone Esc as the start of an escape sequence and swallows it together with
# the next key; two of them arrive as one Esc key.
ESC_KEY = b"\x1b\x1b"


def wine_environment(extra=None):
    env = dict(os.environ)
    env.pop("KALMO_PORT", None)  # the Windows program finds its port the Windows way
    env["WINEPREFIX"] = PREFIX
    env["WINEDEBUG"] = "-all"
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    env.setdefault("KALMO_DEBUG_PORT", "1")  # nothing listens there: the debug channel stays quiet
    env["LC_ALL"] = "C"
    if extra:
        env.update(extra)
    return env


def run_captured(args, env, cwd, timeout):
    """Runs a program to its end; its output goes through files, not pipes, so that a background
    program it leaves behind (Wine starts some) cannot hold the run open."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(args, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        try:
            status = process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            raise
        out.seek(0)
        err.seek(0)
        return status, out.read(), err.read()


class WinePrefix:
    """The run's prefix: created once, its server kept alive until the run ends."""

    started = False
    driver_in_place = False  # cleared by every change that takes the driver's pieces away

    @classmethod
    def start(cls):
        if cls.started:
            return
        env = wine_environment()
        if not os.path.exists(os.path.join(PREFIX, "system.reg")):
            os.makedirs(PREFIX, exist_ok=True)
            subprocess.run([WINE, "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=300, check=True)
            subprocess.run([WINESERVER, "-w"], env=env, timeout=300)
        # A persistent server: the volatile registry and the running services outlive each program.
        # Its output goes to a log: it takes the first pseudo-terminal it opens as its controlling
        # terminal, and when a simulator ends, the hang-up makes it print a dump of its objects.
        with open(PREFIX + "-wineserver.log", "ab") as log:
            subprocess.run([WINESERVER, "-p"], env=env, timeout=60, check=True, stdin=subprocess.DEVNULL,
                           stdout=log, stderr=log)
        # The first program of the session starts Wine's own background programs (the service
        # manager among them); they must not inherit the output of a test's program.
        subprocess.run([WINE, "cmd", "/c", "exit"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300, check=True)
        cls.started = True
        atexit.register(cls.stop)

    @classmethod
    def stop(cls):
        if cls.started:
            subprocess.run([WINESERVER, "-k"], env=wine_environment(), timeout=60)
            cls.started = False
            cls.driver_in_place = False

    @staticmethod
    def run(args, check=True, timeout=120, env=None, cwd=None):
        status, stdout, stderr = run_captured([WINE] + list(args), env or wine_environment(), cwd, timeout)
        if check and status != 0:
            raise AssertionError("wine %s failed (%d): %r %r" % (" ".join(args), status, stdout[-400:], stderr[-400:]))
        return subprocess.CompletedProcess(args, status, stdout, stderr)

    @staticmethod
    def map_com_port(number, device):
        """COMn of the prefix becomes the given device (a simulator's pseudo-terminal)."""
        link = os.path.join(PREFIX, "dosdevices", "com%d" % number)
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(device, link)

    @classmethod
    def set_serialcomm(cls, name, port):
        cls.run(["reg", "add", SERIALCOMM, "/v", name, "/t", "REG_SZ", "/d", port, "/f"])

    @classmethod
    def delete_serialcomm(cls, name):
        cls.driver_in_place = False
        cls.run(["reg", "delete", SERIALCOMM, "/v", name, "/f"], check=False)

    @classmethod
    def serialcomm(cls):
        return cls.run(["reg", "query", SERIALCOMM]).stdout.decode("latin-1")

    @classmethod
    def service_state(cls, name):
        """RUNNING, STOPPED, ... or None when the service is not installed."""
        process = cls.run(["sc", "query", name], check=False)
        match = re.search(rb"STATE\s*:\s*\d+\s+(\w+)", process.stdout)
        return match.group(1).decode() if process.returncode == 0 and match else None

    @classmethod
    def install_service(cls, name):
        if cls.service_state(name) is None:
            target = os.path.join(PREFIX, "drive_c", "kalmo-tests")
            os.makedirs(target, exist_ok=True)
            shutil.copy(STAY_SERVICE, os.path.join(target, "stay_service.exe"))
            cls.run(["sc", "create", name, "binPath=", "C:\\kalmo-tests\\stay_service.exe"])

    @classmethod
    def start_service(cls, name):
        cls.install_service(name)
        if cls.service_state(name) != "RUNNING":
            cls.run(["sc", "start", name])
        cls.wait_for_state(name, "RUNNING")

    @classmethod
    def stop_service(cls, name):
        cls.driver_in_place = False
        if cls.service_state(name) == "RUNNING":
            cls.run(["sc", "stop", name])
        cls.wait_for_state(name, "STOPPED")

    @classmethod
    def delete_service(cls, name):
        cls.driver_in_place = False
        if cls.service_state(name) is not None:
            cls.stop_service(name)
            cls.run(["sc", "delete", name])
        cls.wait_for_state(name, None)

    @classmethod
    def wait_for_state(cls, name, wanted, timeout=20):
        deadline = time.monotonic() + timeout
        state = cls.service_state(name)
        while state != wanted:
            if time.monotonic() > deadline:
                raise AssertionError("service %s stays %s, not %s" % (name, state, wanted))
            time.sleep(0.2)
            state = cls.service_state(name)

    @classmethod
    def install_driver(cls, port=COM_PORT):
        """What the bridge's driver leaves behind: its two services running and the port's value."""
        if cls.driver_in_place:
            return
        for name in (BUS_SERVICE, PORT_SERVICE):
            cls.start_service(name)
        cls.set_serialcomm(DRIVER_VALUE, port)
        cls.driver_in_place = True


class EchoPort:
    """A pseudo-terminal whose far end sends every byte straight back."""

    def __init__(self):
        self.master, self.slave = pty.openpty()
        tty.setraw(self.slave)  # no echo of its own, no line editing, no byte translation
        self.path = os.ttyname(self.slave)
        self.stop_read, self.stop_write = os.pipe()
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while True:
            ready, _, _ = select.select([self.master, self.stop_read], [], [])
            if self.stop_read in ready:
                return
            try:
                data = os.read(self.master, 4096)
            except OSError:
                data = b""
            if data:
                os.write(self.master, data)

    def stop(self):
        os.write(self.stop_write, b"x")
        self.thread.join(5)
        for fd in (self.master, self.slave, self.stop_read, self.stop_write):
            os.close(fd)


class Result:
    def __init__(self, status, stdout, seconds):
        self.status = status
        self.stdout = stdout
        self.seconds = seconds


class WineTestCase(unittest.TestCase):
    """The shared prefix with the driver in place, a temporary folder and simulators on COM5."""

    def setUp(self):
        WinePrefix.start()
        WinePrefix.install_driver()
        self.workdir = tempfile.mkdtemp(prefix="kalmo-wine-")
        self.simulators = []

    def tearDown(self):
        for simulator in self.simulators:
            simulator.stop()
        shutil.rmtree(self.workdir, ignore_errors=True)

    def simulator(self, *options):
        """A simulator that the prefix's COM5 leads to."""
        simulator = Simulator(self.workdir, *options)
        self.simulators.append(simulator)
        WinePrefix.map_com_port(COM_NUMBER, simulator.path)
        return simulator

    def write_file(self, name, data):
        path = os.path.join(self.workdir, name)
        with open(path, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode("latin-1"))
        return path

    def run_windows(self, program, *args, timeout=120, env=None):
        start = time.monotonic()
        status, stdout, _ = run_captured([WINE, program] + list(args), wine_environment(env), self.workdir, timeout)
        return Result(status, stdout, time.monotonic() - start)

    def run_kalmo(self, *args, **kwargs):
        return self.run_windows(os.path.abspath(KALMO_EXE), *args, **kwargs)

    def header(self, port=COM_PORT):
        return BANNER + b"Tovalink an/at " + port.encode() + b"\n"


class WineDialog:
    """kalmo.exe with a console for its keys and a pipe for its output.

    Standard input is a pseudo-terminal, from which Wine makes the program's console, so _getch
    reads the keys written here; standard output is a pipe, so the bytes the program writes arrive
    unchanged (the console would only show its rendering of them).
    """

    def __init__(self, args=(), env=None, cwd=None):
        read_end, write_end = os.pipe()
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            try:
                os.dup2(write_end, 1)
                os.close(read_end)
                os.close(write_end)
                if cwd:
                    os.chdir(cwd)
                os.execve(WINE, [WINE, os.path.abspath(KALMO_EXE)] + list(args), wine_environment(env))
            finally:
                os._exit(127)
        os.close(write_end)
        self.out = read_end
        self.output = b""
        self.status = None

    def _pump(self, timeout):
        """Reads what came on the pipe; drains the console's rendering so it never blocks."""
        ready, _, _ = select.select([self.out, self.fd], [], [], timeout)
        for fd in ready:
            try:
                data = os.read(fd, 4096)
            except OSError:
                data = b""
            if fd == self.out:
                if not data:
                    return False
                self.output += data
        return True

    def read_until(self, needle, timeout=20):
        deadline = time.monotonic() + timeout
        while needle not in self.output:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise AssertionError("output never showed %r; it showed %r" % (needle, self.output[-400:]))
            if not self._pump(remaining):
                raise AssertionError("program ended before %r; it showed %r" % (needle, self.output[-400:]))
        return self.output

    def key(self, data):
        os.write(self.fd, bytes([data]) if isinstance(data, int) else data)

    def wait(self, timeout=30):
        deadline = time.monotonic() + timeout
        open_pipe = True
        while True:
            if open_pipe:
                open_pipe = self._pump(0.2)
            else:
                time.sleep(0.05)
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                while open_pipe and self._pump(0.2):
                    pass
                self.status = os.waitstatus_to_exitcode(status)
                self.close()
                return self.status
            if time.monotonic() > deadline:
                os.kill(self.pid, signal.SIGKILL)
                os.waitpid(self.pid, 0)
                self.close()
                raise AssertionError("dialog did not end; output: %r" % self.output[-400:])

    def close(self):
        for fd in (self.out, self.fd):
            try:
                os.close(fd)
            except OSError:
                pass


def hex_image(text):
    """The flash image of an Intel HEX text with data records below 64 KiB (gaps read as 0xFF)."""
    image = bytearray()
    for line in text.splitlines():
        line = line.strip()
        if not line.startswith(":") or line[7:9] != "00":
            continue
        record = bytes.fromhex(line[1:])
        count, address = record[0], record[1] * 256 + record[2]
        if len(image) < address + count:
            image.extend(b"\xff" * (address + count - len(image)))
        image[address:address + count] = record[4:4 + count]
    return bytes(image)
