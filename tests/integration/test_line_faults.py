"""Faults on the serial line during a run: the programmer unplugged, noise in its answers, answers
in single bytes, a programmer that stalls, and a debug monitor that hangs up. Every run must end
with the right messages and exit status, within a bound derived from the time-outs it may spend,
without spinning, and leave the line usable for the next run."""
import os
import re
import resource
import subprocess
import time
import unittest

from kalmo_harness import block_sizes, KALMO, PREAMBLE, Monitor, KalmoTestCase, hex_text

IMAGE_300 = bytes((i * 7 + 3) & 0xFF for i in range(300))

# The waits of the burn and of the mode commands, in seconds.
ENTER, ENTER_RETRY, BLOCK_QUERY, ERASE, ADDRESS = 1.0, 5.0, 0.2, 2.0, 2.0
BLOCK_WRITE, BLOCK_READ, LEAVE, MODE = 4.0, 5.0, 1.0, 0.5
# Start, port open and close, and a slow (sanitizer) build.
SLACK = 6.0

STARTED = b"Programmier-Modus gestartet\n"
ERASED = b"Chip geloescht / chip ereased\n"
WRITTEN = b"schreibe/write 300 Bytes: ... OK\n"
VERIFIED = b"Vergleiche/verify: ... OK\n"
FINISHED = b"Fertig/finished.\n"
SUCCESS = STARTED + ERASED + WRITTEN + VERIFIED + FINISHED
NO_BLOCK_MODE = STARTED + b"Fehler: Blockmodus wird nicht unterst\xfctzt.\nError: blockmode was not supported.\n"

# Commands of a burn of 300 bytes in blocks of 128, counted as the simulator counts them.
P, B_QUERY, ERASE_CMD, ADDRESS_WRITE, FIRST_BLOCK = 1, 2, 3, 4, 5
ADDRESS_READ, FIRST_READ, LEAVE_CMD = 8, 9, 12
# Bytes the device has received once a step has gone out.
BYTES_TO_FIRST_BLOCK = 1 + 1 + 1 + 3
BYTES_OF_WRITE_PASS = BYTES_TO_FIRST_BLOCK + 2 * (4 + 128) + (4 + 44)


class LineFaults(KalmoTestCase):
    def burn(self, sim, *extra, env=None):
        path = self.write_file("image.hex", hex_text(IMAGE_300))
        return self.measured(sim.path, "-b", path, *extra, env=env)

    def measured(self, port, *args, env=None):
        """A kalmo run with the processor time it used (the simulator, still running, is not counted)."""
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        result = self.run_kalmo(port, *args, env=env)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        result.cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        return result

    def assertEnded(self, result, stdout, status, waits):
        """The exact output and status, within the time-outs that the run may spend, without spinning."""
        self.assertEqual(result.stdout, stdout)
        self.assertEqual(result.status, status)
        self.assertLess(result.seconds, waits + SLACK)
        self.assertLess(result.cpu, 0.3 * result.seconds + 1.5, "the waits spin")

    def assertFlashed(self, sim):
        sim.stop()
        self.assertEqual(sim.flash()[:300], IMAGE_300)

    def assertLineStillWorks(self, sim):
        """A second run opens the same line and burns: nothing of the failed run stays behind."""
        time.sleep(0.3)
        again = self.burn(sim)
        self.assertEqual(again.stdout, self.header(sim.path) + SUCCESS)
        self.assertEqual(again.status, 0)

    def test_programmer_unplugged_mid_burn(self):
        # (received bytes before the line goes, output after the header, waits that may pass)
        cases = [
            (1, b"Fehler: beim Starten des Programmierungs Modus.\nError: on starting programming mode.\n",
             ENTER + ENTER_RETRY),
            (BYTES_TO_FIRST_BLOCK + 20, STARTED + ERASED + b"schreibe/write 300 Bytes: "
             + b"Fehler: beim Schreiben der Daten.\nError: on write data.\n", BLOCK_WRITE),
            (BYTES_OF_WRITE_PASS + 3 + 2, STARTED + ERASED + WRITTEN + b"Vergleiche/verify: "
             + b"Fehler: beim Lesen der Daten.\nError: on read data.\n"
             + b"Fehler: beim Lesen der geschriebenen Daten.\nError: on reading data.\n", BLOCK_READ),
        ]
        for after, output, waits in cases:
            with self.subTest(hangup_after=after):
                sim = self.simulator("--hangup-after", str(after))
                result = self.burn(sim)
                self.assertEnded(result, self.header(sim.path) + output, 1, waits)
                self.assertIsNotNone(sim.process.wait(5), "the simulator saw the line close")

    def test_a_line_that_goes_away_ends_the_burn_at_once(self):
        # (received bytes before the line goes, output after the header)
        cases = [
            (1, b"Fehler: beim Starten des Programmierungs Modus.\nError: on starting programming mode.\n"),
            (BYTES_TO_FIRST_BLOCK + 20, STARTED + ERASED + b"schreibe/write 300 Bytes: "
             + b"Fehler: beim Schreiben der Daten.\nError: on write data.\n"),
            (BYTES_OF_WRITE_PASS + 3 + 2, STARTED + ERASED + WRITTEN + b"Vergleiche/verify: "
             + b"Fehler: beim Lesen der Daten.\nError: on read data.\n"
             + b"Fehler: beim Lesen der geschriebenen Daten.\nError: on reading data.\n"),
        ]
        path = self.write_file("image.hex", hex_text(IMAGE_300))
        for after, output in cases:
            with self.subTest(hangup_after=after):
                sim = self.simulator("--hangup-after", str(after))
                start = time.monotonic()
                kalmo = subprocess.Popen([KALMO, "-b", path], stdout=subprocess.PIPE, stdin=subprocess.DEVNULL,
                                         env=self.environment(sim.path), cwd=self.workdir)
                try:
                    # The simulator ends as it closes the line: from then on kalmo has under a second.
                    sim.process.wait(30)
                    lost = time.monotonic()
                    stdout = kalmo.stdout.read()
                    _, status, usage = os.wait4(kalmo.pid, 0)  # the processor time of kalmo alone
                    kalmo.returncode = os.waitstatus_to_exitcode(status)
                    ended = time.monotonic()
                finally:
                    if kalmo.returncode is None:
                        kalmo.kill()
                        kalmo.wait()
                    kalmo.stdout.close()
                cpu = usage.ru_utime + usage.ru_stime
                self.assertEqual(stdout, self.header(sim.path) + output)
                self.assertEqual(kalmo.returncode, 1)
                self.assertLess(ended - lost, 1.0, "kalmo ended with the line, not with a time-out")
                self.assertLess(ended - start, BLOCK_WRITE, "well under the steps' time-outs")
                self.assertLess(cpu, 0.25 * (ended - start) + 0.15, "the waits spin")

    def test_noise_in_front_of_the_block_size_is_refused(self):
        # The three bytes of the block-size answer are noise: no block mode, nothing erased.
        for option in ("--garbage-before-answer", "--extra-after-answer"):
            with self.subTest(option=option):
                sim = self.simulator(option, "5")
                result = self.burn(sim)
                self.assertEnded(result, self.header(sim.path) + NO_BLOCK_MODE, 1, ENTER + BLOCK_QUERY)
                self.assertNotIn(b"e", sim.received()[2:])

    def test_noise_around_a_carriage_return_answer_is_passed_over(self):
        cases = [
            ("--garbage-before-answer", P), ("--garbage-before-answer", ERASE_CMD),
            ("--garbage-before-answer", ADDRESS_WRITE), ("--garbage-before-answer", FIRST_BLOCK),
            ("--garbage-before-answer", ADDRESS_READ), ("--garbage-before-answer", LEAVE_CMD),
            ("--extra-after-answer", ERASE_CMD), ("--extra-after-answer", FIRST_BLOCK),
        ]
        for option, command in cases:
            with self.subTest(option=option, command=command):
                sim = self.simulator(option, "7", "--noise-command", str(command))
                result = self.burn(sim)
                self.assertEnded(result, self.header(sim.path) + SUCCESS, 0, 0)
                self.assertFlashed(sim)

    def test_noise_in_the_read_back_fails_the_verify(self):
        # Noise behind the first block read: it either ends that block (the ring buffer of one
        # block keeps the newest bytes) or begins the next one. Either way the comparison fails;
        # where it fails depends on when the noise arrived.
        sim = self.simulator("--extra-after-answer", "7", "--noise-command", str(FIRST_READ))
        result = self.burn(sim)
        self.assertEqual(result.status, 1)
        self.assertLess(result.seconds, BLOCK_READ + SLACK)
        self.assertRegex(result.stdout, re.escape(self.header(sim.path) + STARTED + ERASED + WRITTEN
                                                  + b"Vergleiche/verify: ...")
                         + rb"\nFehler: beim \xdcberpr\xfcfen der geschriebenen Daten\.\n"
                           rb"\tErste Abweichung bei Byte (\d+) , '0x[0-9A-F]{2}' != '0x[0-9A-F]{2}'\n"
                           rb"\nError: on verify\.\n"
                           rb"\tFirst difference at Byte \1 , '0x[0-9A-F]{2}' != '0x[0-9A-F]{2}'\n$")
        self.assertFalse(sim.received().endswith(b"L"))
        self.assertLineStillWorks(sim)
        self.assertFlashed(sim)

    def test_noise_behind_mode_answers_is_purged(self):
        sim = self.simulator("--extra-after-answer", "9")
        result = self.measured(sim.path, "-pon", "-mp", "-r", "-poff")
        self.assertEnded(result, self.header(sim.path), 0, 0)
        self.assertEqual(sim.received(), PREAMBLE + b"+" + PREAMBLE + b"p" + PREAMBLE + b"r" + PREAMBLE + b"-")

    def test_answers_in_single_bytes(self):
        sim = self.simulator("--split-answers", "1")
        result = self.measured(sim.path, "-pon", "-mp")
        self.assertEnded(result, self.header(sim.path), 0, 0)
        result = self.burn(sim)
        self.assertEnded(result, self.header(sim.path) + SUCCESS, 0, 1.0)
        self.assertFlashed(sim)

    def test_programmer_that_stalls(self):
        # (simulator options, output after the header, status, waits that may pass)
        erase_timeout = STARTED + b"Fehler: Timeout oder Fehler beim Loeschen des Chips.\n" \
                                  b"Error: timeout or error on erease chip.\n"
        cases = [
            (["--never-answer"], b"Fehler: beim Starten des Programmierungs Modus.\n"
                                 b"Error: on starting programming mode.\n", 1, ENTER + ENTER_RETRY),
            (["--late-ms", "1500", "--late-command", str(ERASE_CMD)], SUCCESS, 0, 1.5),
            (["--late-ms", "2600", "--late-command", str(ERASE_CMD)], erase_timeout, 1, ERASE),
            (["--late-ms", "4500", "--late-command", str(FIRST_BLOCK)], STARTED + ERASED
             + b"schreibe/write 300 Bytes: Fehler: beim Schreiben der Daten.\nError: on write data.\n", 1, BLOCK_WRITE),
            (["--drop-answer", str(B_QUERY)], NO_BLOCK_MODE, 1, ENTER + BLOCK_QUERY),
        ]
        for options, output, status, waits in cases:
            with self.subTest(options=" ".join(options)):
                sim = self.simulator(*options)
                result = self.burn(sim)
                self.assertEnded(result, self.header(sim.path) + output, status, waits)
                if options[0] == "--never-answer":
                    self.assertTrue(sim.received().startswith(b"P" + b"\x1b" * 1028 + b"P"))
                    self.assertGreater(result.seconds, ENTER + ENTER_RETRY - 0.5, "the retry waited its time")
                elif status == 1:
                    # The late answer comes after the run; the next run must not take it for its own.
                    time.sleep(3.0)
                    self.assertLineStillWorks(sim)

    def test_odd_block_size_goes_out_in_whole_words(self):
        # Flash is addressed in words: blocks of an odd size would leave every second block one
        # byte off, and the read-back, off by the same byte, would not see it.
        sim = self.simulator("--block-size", "7")
        result = self.burn(sim)
        self.assertEqual(result.status, 0)
        self.assertEqual(set(block_sizes(sim.received())), {6})
        self.assertFlashed(sim)
        # A block of one byte leaves no whole word: no block mode.
        sim = self.simulator("--block-size", "1")
        result = self.burn(sim)
        self.assertEnded(result, self.header(sim.path) + NO_BLOCK_MODE, 1, ENTER + BLOCK_QUERY)

    def test_monitor_that_hangs_up_while_the_line_fails(self):
        sim = self.simulator("--hangup-after", str(BYTES_TO_FIRST_BLOCK + 20))
        monitor = Monitor(close_after_accept=True)
        result = self.burn(sim, env={"KALMO_DEBUG_PORT": str(monitor.port)})
        monitor.close()
        self.assertEnded(result, self.header(sim.path) + STARTED + ERASED + b"schreibe/write 300 Bytes: "
                         + b"Fehler: beim Schreiben der Daten.\nError: on write data.\n", 1, BLOCK_WRITE)

    def test_refused_answer_ends_its_step_without_its_time_out(self):
        # A refusal (a byte that no CR follows) costs a short grace, not the step's time-out: each
        # run stays well below a clean burn plus half the time-out of the step that was refused.
        clean = self.burn(self.simulator())
        self.assertEqual(clean.status, 0)
        second_p = 1 + 1028 + 1  # after the first P and its ESC fill
        written = STARTED + ERASED + b"schreibe/write 300 Bytes: "
        cases = [
            (["--refuse-command", "1", "--refuse-command", str(second_p)],
             b"Fehler: beim Starten des Programmierungs Modus.\nError: on starting programming mode.\n", ENTER_RETRY),
            (["--refuse-command", str(ERASE_CMD)], STARTED + b"Fehler: Timeout oder Fehler beim Loeschen des Chips.\n"
             b"Error: timeout or error on erease chip.\n", ERASE),
            (["--refuse-command", str(ADDRESS_WRITE)], written
             + b"Fehler: beim Schreiben der Adresse.\nError: on write address.\n", ADDRESS),
            (["--refuse-from", "0x100"], written + b"..Fehler: beim Schreiben der Daten.\nError: on write data.\n",
             BLOCK_WRITE),
            (["--refuse-command", str(LEAVE_CMD)], STARTED + ERASED + WRITTEN + VERIFIED, LEAVE),
        ]
        for options, output, timeout in cases:
            with self.subTest(options=" ".join(options)):
                sim = self.simulator(*options)
                monitor = Monitor()
                result = self.burn(sim, env={"KALMO_DEBUG_PORT": str(monitor.port)})
                monitor.close()
                self.assertEnded(result, self.header(sim.path) + output, 1, 0)
                self.assertLess(result.seconds, clean.seconds + timeout / 2)
                if options[0] == "--refuse-from":
                    self.assertIn(b"Block abgelehnt/refused: Byte 0x0100\r\n", monitor.data)
                    self.assertLineStillWorks(self.simulator())

    def test_noise_before_a_long_block_on_a_slow_line(self):
        # Noise left behind the address's CR is the first byte a block's answer read finds; the
        # block itself is still on the wire for half a second, and its CR comes after that.
        image = bytes((i * 5 + 1) & 0xFF for i in range(2048))
        sim = self.simulator("--baud", "19200", "--block-size", "1024", "--extra-after-answer", "7",
                             "--noise-command", str(ADDRESS_WRITE))
        path = self.write_file("long.hex", hex_text(image))
        result = self.measured(sim.path, "-b", path, "-n")
        self.assertEnded(result, self.header(sim.path) + STARTED + ERASED
                         + b"schreibe/write 2048 Bytes: .. OK\n" + FINISHED, 0, 2.0)
        sim.stop()
        self.assertEqual(sim.flash()[:2048], image)


if __name__ == "__main__":
    unittest.main()
