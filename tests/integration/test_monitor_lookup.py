"""The debug monitor is reached without asking a name server: a resolver that never answers, on a
machine whose hosts file does not name localhost, must not hold kalmo up."""
import os
import shutil
import socket
import subprocess
import time
import unittest

from kalmo_harness import KALMO, Monitor, KalmoTestCase

RESOLVER_WAIT_S = 20  # what each unanswered query would cost: far beyond any run's own time


@unittest.skipUnless(os.geteuid() == 0 and shutil.which("unshare"),
                     "needs root and unshare for a private hosts file and resolver")
class MonitorWithoutANameServer(KalmoTestCase):
    def setUp(self):
        super().setUp()
        self.sim = self.simulator()
        # A name server that takes every query and never answers.
        self.silent_dns = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        try:
            self.silent_dns.bind(("127.0.0.1", 53))
        except OSError as error:
            self.silent_dns.close()
            self.skipTest("port 53 is taken: %s" % error)
        self.files = {
            "/etc/hosts": "127.0.0.2 elsewhere\n",
            "/etc/resolv.conf": "nameserver 127.0.0.1\noptions timeout:%d attempts:1\n" % RESOLVER_WAIT_S,
            "/etc/nsswitch.conf": "hosts: files dns\n",
        }

    def tearDown(self):
        self.silent_dns.close()
        super().tearDown()

    def run_isolated(self, *args, env=None):
        """kalmo in a mount namespace of its own that sees the files above in place of the system's."""
        mounts = []
        for index, (target, text) in enumerate(self.files.items()):
            source = self.write_file("etc-%d" % index, text)
            mounts.append("mount --bind %s %s" % (source, target))
        script = " && ".join(mounts) + ' && exec "$@"'
        start = time.monotonic()
        process = subprocess.run(["unshare", "--mount", "--propagation", "private", "sh", "-c", script, "sh",
                                  KALMO] + list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 stdin=subprocess.DEVNULL, env=self.environment(self.sim.path, env),
                                 timeout=3 * RESOLVER_WAIT_S, cwd=self.workdir)
        if process.returncode != 0 and b"mount" in process.stderr:
            self.skipTest("no private mounts here: %r" % process.stderr)
        return process, time.monotonic() - start

    def test_the_monitor_gets_its_lines_without_a_lookup_that_stalls(self):
        monitor = Monitor()
        try:
            process, seconds = self.run_isolated("-mp", env={"KALMO_DEBUG_PORT": str(monitor.port)})
        finally:
            monitor.close()
        self.assertEqual(process.returncode, 0, process.stdout)
        self.assertLess(seconds, RESOLVER_WAIT_S / 2, "the run waited for the name server")
        self.assertIn(b" ### \xf6ffne Serial Port " + self.sim.path.encode() + b"\r\n", monitor.data)

    def test_no_monitor_and_no_name_server_does_not_stall_either(self):
        process, seconds = self.run_isolated("-mp")
        self.assertEqual(process.returncode, 0, process.stdout)
        self.assertLess(seconds, RESOLVER_WAIT_S / 2, "the run waited for the name server")


if __name__ == "__main__":
    unittest.main()
