"""A port that does not open for the user who runs kalmo: no right to the device, or another program
holds it. kalmo runs as the user nobody (the tests run as root, whom no file mode refuses) on the
simulator's terminal, which the test gives the owner, group and mode that a serial device has."""
import fcntl
import grp
import os
import pwd
import subprocess
import termios
import unittest

from kalmo_harness import KALMO, PREAMBLE, KalmoTestCase


def not_opened(port):
    """The messages of a port that did not open, before any hint."""
    text = b"Der Port " + port + b" konnte nicht ge\xf6ffnet werden."
    return (b"Fehler: Verbindung mit Port " + port + b" konnte nicht ge\xf6ffnet werden.\n" + text + b"\n"
            + b"Error: cant connect to " + port + b"\n" + text + b"\n")


def no_right(port, group=None):
    if group is None:
        return (b"Hinweis: Ihnen fehlt das Recht, den Port " + port + b" zu benutzen.\n"
                + b"Hint: you have no right to use the port " + port + b".\n")
    return (b"Hinweis: Ihnen fehlt das Recht, den Port " + port + b" zu benutzen; Mitglieder der Gruppe " + group
            + b" haben es. Beitreten mit: sudo usermod -aG " + group + b" $USER, danach neu anmelden.\n"
            + b"Hint: you have no right to use the port " + port + b"; members of the group " + group
            + b" have it. Join with: sudo usermod -aG " + group + b" $USER, then log in again.\n")


def held(port):
    return (b"Hinweis: Der Port " + port + b" ist von einem anderen Programm belegt.\n"
            + b"Hint: the port " + port + b" is held by another program.\n")


@unittest.skipUnless(os.geteuid() == 0, "needs root to run kalmo as another user")
class PortAccess(KalmoTestCase):
    def setUp(self):
        super().setUp()
        self.nobody = pwd.getpwnam("nobody")
        try:
            self.dialout = grp.getgrnam("dialout").gr_gid
        except KeyError:
            self.skipTest("no dialout group here")
        # The temporary folder is root's alone; kalmo as nobody starts in it all the same.
        os.chmod(self.workdir, 0o755)

    def device(self, mode, gid=None):
        """A simulator whose terminal belongs to root and the group (dialout unless given), with the mode."""
        sim = self.simulator()
        os.chown(sim.path, 0, self.dialout if gid is None else gid)
        os.chmod(sim.path, mode)
        return sim

    def run_as_nobody(self, port, *args, groups=()):
        env = self.environment(port, {"HOME": self.workdir})
        return subprocess.run([KALMO] + list(args), stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, env=env,
                              cwd=self.workdir, timeout=60, user=self.nobody.pw_uid, group=self.nobody.pw_gid,
                              extra_groups=list(groups))

    def test_a_user_without_the_right_is_told_which_group_to_join(self):
        sim = self.device(0o660)
        port = sim.path.encode()
        result = self.run_as_nobody(sim.path, "-mp")
        self.assertEqual(result.stdout, self.header(sim.path) + not_opened(port) + no_right(port, b"dialout"))
        self.assertEqual(result.returncode, 1)
        self.assertEqual(sim.received(), b"")

        # The advice works: a member of the group uses the port.
        result = self.run_as_nobody(sim.path, "-mp", groups=[self.dialout])
        self.assertEqual(result.stdout, self.header(sim.path))
        self.assertEqual(result.returncode, 0)
        self.assertEqual(sim.received(), PREAMBLE + b"p")

    def test_no_group_is_named_where_joining_it_would_not_help(self):
        # (mode, owning group): the group may not read and write, or the group is root's.
        for mode, gid in ((0o600, None), (0o620, None), (0o660, 0)):
            with self.subTest(mode=oct(mode), gid=gid):
                sim = self.device(mode, gid)
                port = sim.path.encode()
                result = self.run_as_nobody(sim.path, "-mp")
                self.assertEqual(result.stdout, self.header(sim.path) + not_opened(port) + no_right(port))
                self.assertEqual(result.returncode, 1)

    def test_a_port_held_by_another_program_is_named_as_such(self):
        # Another program holds the terminal with a lock (refused to root as well), or with exclusive
        # use of the terminal (which root may pass, so kalmo runs as a member of the device's group).
        for hold in ("lock", "exclusive"):
            with self.subTest(hold=hold):
                sim = self.device(0o660)
                port = sim.path.encode()
                holder = os.open(sim.path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
                try:
                    if hold == "lock":
                        fcntl.flock(holder, fcntl.LOCK_EX | fcntl.LOCK_NB)
                        result = self.run_kalmo(sim.path, "-mp")
                        status = result.status
                    else:
                        fcntl.ioctl(holder, termios.TIOCEXCL)
                        result = self.run_as_nobody(sim.path, "-mp", groups=[self.dialout])
                        status = result.returncode
                finally:
                    os.close(holder)
                self.assertEqual(result.stdout, self.header(sim.path) + not_opened(port) + held(port))
                self.assertEqual(status, 1)
                self.assertEqual(sim.received(), b"")


if __name__ == "__main__":
    unittest.main()
