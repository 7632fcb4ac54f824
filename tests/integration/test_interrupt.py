"""A run that is interrupted: Ctrl-C, SIGTERM and SIGHUP during a burn, a second Ctrl-C, the
dialog cancelled while it waits for a key or while its command runs, the dialog stopped with
Ctrl-Z and continued, and a reader of the output that quits early."""
import os
import resource
import signal
import subprocess
import termios
import time
import unittest

from kalmo_harness import KALMO, PREAMBLE, KalmoTestCase, Terminal, hex_text

IMAGE = bytes((i * 13 + 5) & 0xFF for i in range(4096))
IMAGE_300 = bytes((i * 7 + 3) & 0xFF for i in range(300))
CANCELLED = b"Abbruch: der Lauf wurde abgebrochen.\nCancelled: the run was cancelled.\n"
WRITING = b"schreibe/write 4096 Bytes: "
SUCCESS_300 = (b"Programmier-Modus gestartet\n" + b"Chip geloescht / chip ereased\n"
               + b"schreibe/write 300 Bytes: ... OK\n" + b"Vergleiche/verify: ... OK\n" + b"Fertig/finished.\n")
MENU_END = b"x - eXit"
# The longest single wait of a burn (a block read), and start, open, close, a slow build.
BLOCK_READ, SLACK = 5.0, 6.0


def line_state(path):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        return termios.tcgetattr(fd)
    finally:
        os.close(fd)


def set_line_state(path, speed):
    """Puts the line into a state of its own (cooked, at a speed kalmo never uses)."""
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        attrs = termios.tcgetattr(fd)
        attrs[3] |= termios.ICANON | termios.ECHO
        attrs[4] = attrs[5] = speed
        termios.tcsetattr(fd, termios.TCSANOW, attrs)
    finally:
        os.close(fd)


class Interrupted(KalmoTestCase):
    def start_burn(self, sim, stdout=subprocess.PIPE):
        path = self.write_file("image.hex", hex_text(IMAGE))
        return subprocess.Popen([KALMO, "-b", path], stdout=stdout, stdin=subprocess.DEVNULL,
                                env=self.environment(sim.path), cwd=self.workdir)

    def read_until(self, process, needle):
        output = b""
        while needle not in output:
            chunk = os.read(process.stdout.fileno(), 4096)
            if not chunk:
                self.fail("kalmo ended before %r: %r" % (needle, output))
            output += chunk
        return output

    def finish(self, process, timeout):
        """The rest of the output, the status, the seconds it took and the processor time it used."""
        start = time.monotonic()
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        rest, _ = process.communicate(timeout=timeout)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        return rest, process.returncode, time.monotonic() - start, cpu

    def test_cancel_signal_mid_burn_leaves_programming_mode_and_the_line_as_it_was(self):
        for number, status in ((signal.SIGINT, 130), (signal.SIGTERM, 143), (signal.SIGHUP, 129)):
            with self.subTest(signal=number.name):
                # A paced line: the write pass of 4 KiB takes about two seconds.
                sim = self.simulator("--baud", "19200")
                set_line_state(sim.path, termios.B9600)
                state_before = line_state(sim.path)
                process = self.start_burn(sim)
                output = self.read_until(process, WRITING)
                time.sleep(0.3)
                process.send_signal(number)
                rest, code, seconds, cpu = self.finish(process, BLOCK_READ + 30)
                output += rest
                self.assertEqual(code, status, output)
                self.assertTrue(output.endswith(CANCELLED), output)
                self.assertNotIn(b"Fehler", output)
                # The exchange in flight is finished, bounded by its time-out; the rest is skipped.
                self.assertLess(seconds, BLOCK_READ + SLACK)
                self.assertLess(cpu, 0.3 * seconds + 1.5, "the run spins")
                # The programmer was left out of programming mode, and the line as it was found.
                self.assertTrue(sim.received().endswith(b"L"), sim.received()[-20:])
                self.assertEqual(line_state(sim.path), state_before)
                # The next run finds a programmer that burns at once.
                again = self.run_kalmo(sim.path, "-b", self.write_file("small.hex", hex_text(IMAGE_300)))
                self.assertEqual(again.stdout, self.header(sim.path) + SUCCESS_300)
                self.assertEqual(again.status, 0)

    def test_second_ctrl_c_ends_at_once(self):
        # Every block's answer takes 1.5 s: both signals come while one block waits for it.
        sim = self.simulator("--page-write-ms", "1500")
        process = self.start_burn(sim)
        self.read_until(process, WRITING)
        time.sleep(0.2)
        process.send_signal(signal.SIGINT)
        time.sleep(0.2)
        start = time.monotonic()
        process.send_signal(signal.SIGINT)
        rest, _ = process.communicate(timeout=BLOCK_READ + 30)
        self.assertEqual(process.returncode, 130)
        self.assertLess(time.monotonic() - start, 1.0)
        self.assertNotIn(CANCELLED, rest, "the run went on to its end")

    def test_cancel_between_tokens_skips_the_rest(self):
        # The first command's answer comes late; the cancel during it keeps the others from going out.
        sim = self.simulator("--late-ms", "350", "--late-command", "1")
        process = subprocess.Popen([KALMO, "-mp", "-r", "-poff"], stdout=subprocess.PIPE,
                                   stdin=subprocess.DEVNULL, env=self.environment(sim.path), cwd=self.workdir)
        output = self.read_until(process, b"Tovalink an/at ")
        deadline = time.monotonic() + 5
        while PREAMBLE + b"p" not in sim.received() and time.monotonic() < deadline:
            time.sleep(0.02)
        process.send_signal(signal.SIGINT)
        rest, code, _, _ = self.finish(process, 10)
        self.assertEqual(code, 130)
        self.assertEqual(output + rest, self.header(sim.path) + CANCELLED)
        self.assertEqual(sim.received(), PREAMBLE + b"p")

    def test_reader_that_quits_does_not_stop_the_burn(self):
        sim = self.simulator()
        path = self.write_file("image.hex", hex_text(IMAGE))
        kalmo = subprocess.Popen([KALMO, "-b", path], stdout=subprocess.PIPE, stdin=subprocess.DEVNULL,
                                 env=self.environment(sim.path), cwd=self.workdir)
        head = subprocess.Popen(["head", "-c", "100"], stdin=kalmo.stdout, stdout=subprocess.PIPE)
        kalmo.stdout.close()  # only head reads the pipe: when it quits, the pipe is broken
        shown, _ = head.communicate(timeout=30)
        self.assertEqual(kalmo.wait(30), 0)
        self.assertEqual(len(shown), 100)
        self.assertTrue(sim.received().endswith(b"L"))
        sim.stop()
        self.assertEqual(sim.flash()[:len(IMAGE)], IMAGE)


class InterruptedDialog(KalmoTestCase):
    def start(self, sim):
        terminal = Terminal([], self.environment(sim.path), self.workdir)
        terminal.read_until(MENU_END)
        return terminal

    def assertTerminalCooked(self, terminal):
        lflag = termios.tcgetattr(terminal.fd)[3]
        self.assertTrue(lflag & termios.ICANON and lflag & termios.ECHO, "the terminal stays raw")

    def test_ctrl_c_while_the_menu_waits_for_a_key(self):
        sim = self.simulator()
        terminal = self.start(sim)
        terminal.key(0x03)  # the terminal turns it into SIGINT
        terminal.read_until(b"Cancelled: the run was cancelled.")
        self.assertTerminalCooked(terminal)
        self.assertEqual(terminal.wait(), 130)
        self.assertIn(CANCELLED, terminal.output.replace(b"\r", b""))
        self.assertEqual(sim.received(), b"")

    def test_ctrl_c_while_a_command_runs_lets_it_finish(self):
        sim = self.simulator("--late-ms", "350")
        terminal = self.start(sim)
        terminal.key(b"p")
        deadline = time.monotonic() + 5
        while PREAMBLE + b"p" not in sim.received() and time.monotonic() < deadline:
            time.sleep(0.02)
        terminal.key(0x03)
        terminal.read_until(b"Cancelled: the run was cancelled.")
        self.assertEqual(terminal.wait(), 130)
        self.assertNotIn(b"Fehler", terminal.output)
        self.assertEqual(sim.received(), PREAMBLE + b"p")
        self.assertEqual(sim.sent(), b"OK\n", "the answer was awaited")

    def test_continued_after_a_stop_the_menu_takes_single_keys_again(self):
        # SIGSTOP, as the terminal's Ctrl-Z would stop it (the program runs in a session of its
        # own without a shell, where SIGTSTP does not stop).
        sim = self.simulator()
        terminal = self.start(sim)
        time.sleep(0.2)  # the key read has switched the terminal
        os.kill(terminal.pid, signal.SIGSTOP)
        os.waitpid(terminal.pid, os.WUNTRACED)
        # As a shell does when its job stops: its own settings, line mode with echo.
        attrs = termios.tcgetattr(terminal.fd)
        attrs[3] |= termios.ICANON | termios.ECHO
        termios.tcsetattr(terminal.fd, termios.TCSANOW, attrs)
        os.kill(terminal.pid, signal.SIGCONT)
        time.sleep(0.3)
        self.assertFalse(termios.tcgetattr(terminal.fd)[3] & (termios.ICANON | termios.ECHO),
                         "line mode after the continue")
        terminal.output = b""
        terminal.key(b"p")  # no Enter
        terminal.read_until(MENU_END)
        self.assertFalse(terminal.output.startswith(b"p"), "the key was echoed")
        terminal.key(b"x")
        self.assertEqual(terminal.wait(), 0)
        self.assertEqual(sim.received(), PREAMBLE + b"p")

if __name__ == "__main__":
    unittest.main()
