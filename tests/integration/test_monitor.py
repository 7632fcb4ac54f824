"""The debug channel beside monitors that misbehave: none of them may hold kalmo up."""
import os
import signal
import socket
import subprocess
import sys
import threading
import unittest

from kalmo_harness import Monitor, KalmoTestCase, hex_text

IMAGE = bytes((i * 5 + 1) & 0xFF for i in range(600))

# A monitor as a process of its own, so it can be stopped as Ctrl-Z stops one: it listens, prints
# its port, and accepts and reads every client, one after the other.
READING_MONITOR = r"""
import socket, sys
server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(5)
print(server.getsockname()[1], flush=True)
while True:
    connection, _ = server.accept()
    while connection.recv(4096):
        pass
    connection.close()
"""


class QueueFullMonitor:
    """A listener that never accepts, its accept queue filled with connections never taken."""

    def __init__(self):
        self.server = socket.socket()
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(0)
        self.port = self.server.getsockname()[1]
        self.waiting = []
        for _ in range(64):
            client = socket.socket()
            client.settimeout(0.3)
            self.waiting.append(client)
            try:
                client.connect(("127.0.0.1", self.port))
            except (socket.timeout, BlockingIOError):
                return
        raise RuntimeError("the accept queue did not fill")

    def close(self):
        for client in self.waiting:
            client.close()
        self.server.close()


class SilentMonitor:
    """A listener that accepts every client and never reads a byte."""

    def __init__(self):
        self.server = socket.socket()
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(5)
        self.port = self.server.getsockname()[1]
        self.connections = []
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while True:
            try:
                connection, _ = self.server.accept()
            except OSError:
                return
            self.connections.append(connection)

    def close(self):
        self.server.close()
        for connection in self.connections:
            connection.close()


class BesideAMonitor(KalmoTestCase):
    RUNS_AFTER_THE_QUEUE = 8  # more runs than a stopped monitor's accept queue holds

    def setUp(self):
        super().setUp()
        self.sim = self.simulator()
        self.hex_path = self.write_file("image.hex", hex_text(IMAGE))
        # What the runs take without a monitor (nothing listens on port 1); the slower of two.
        self.plain_mp = max(self.mp(1).seconds for _ in range(2))
        self.plain_burn = max(self.burn(1).seconds for _ in range(2))

    def mp(self, port):
        result = self.run_kalmo(self.sim.path, "-mp", env={"KALMO_DEBUG_PORT": str(port)})
        self.assertEqual(result.status, 0)
        return result

    def burn(self, port):
        result = self.run_kalmo(self.sim.path, "-b", self.hex_path, env={"KALMO_DEBUG_PORT": str(port)})
        self.assertEqual(result.status, 0)
        self.assertIn(b"Fertig/finished.\n", result.stdout)
        return result

    def assert_not_held_up(self, port, mp_runs=1):
        for run in range(mp_runs):
            seconds = self.mp(port).seconds
            self.assertLessEqual(seconds, 1.1 * self.plain_mp + 0.3, "-mp run %d took %.2f s" % (run, seconds))
        seconds = self.burn(port).seconds
        self.assertLessEqual(seconds, 1.1 * self.plain_burn + 0.3, "burn took %.2f s" % seconds)

    def test_monitor_that_never_accepts(self):
        monitor = QueueFullMonitor()
        try:
            self.assert_not_held_up(monitor.port)
        finally:
            monitor.close()

    def test_monitor_that_is_stopped(self):
        process = subprocess.Popen([sys.executable, "-c", READING_MONITOR], stdout=subprocess.PIPE)
        try:
            port = int(process.stdout.readline())
            os.kill(process.pid, signal.SIGSTOP)
            self.assert_not_held_up(port, mp_runs=self.RUNS_AFTER_THE_QUEUE)
        finally:
            os.kill(process.pid, signal.SIGCONT)
            process.kill()
            process.wait()
            process.stdout.close()

    def test_monitor_that_never_reads(self):
        monitor = SilentMonitor()
        try:
            self.assert_not_held_up(monitor.port, mp_runs=3)
        finally:
            monitor.close()

    def test_monitor_that_reads_gets_every_line(self):
        monitor = Monitor()
        self.burn(monitor.port)
        monitor.close()
        self.assertIn(b" ### \xf6ffne Serial Port " + self.sim.path.encode() + b"\r\n", monitor.data)
        self.assertRegex(monitor.data, rb"Dauer/duration: \d+ms\r\n")
        self.assertNotIn(b"verworfen", monitor.data)
        self.assertTrue(monitor.data.endswith(b"\r\n"))


if __name__ == "__main__":
    unittest.main()
