"""kalmo.exe under Wine cancelled from its console: Ctrl-C during a burn lets the exchange in
flight finish, leaves programming mode, closes the port and exits with 130; a second Ctrl-C ends
it at once."""
import time
import unittest

from wine_harness import WineDialog, WineTestCase

IMAGE = bytes((i * 13 + 5) & 0xFF for i in range(4096))
CANCELLED = b"Abbruch: der Lauf wurde abgebrochen.\nCancelled: the run was cancelled.\n"
WRITING = b"schreibe/write 4096 Bytes: "
CTRL_C = 0x03


def hex_text(image):
    lines = []
    for address in range(0, len(image), 16):
        body = bytes([16, address >> 8, address & 0xFF, 0]) + image[address:address + 16]
        lines.append(":" + body.hex().upper() + "%02X" % ((-sum(body)) & 0xFF))
    return "\r\n".join(lines + [":00000001FF"]) + "\r\n"


class Interrupted(WineTestCase):
    def start_burn(self):
        self.write_file("image.hex", hex_text(IMAGE))
        run = WineDialog(args=["-b", "image.hex"], cwd=self.workdir)
        self.addCleanup(run.close)
        run.read_until(WRITING)
        return run

    def test_ctrl_c_mid_burn(self):
        sim = self.simulator("--baud", "19200")
        run = self.start_burn()
        time.sleep(0.3)
        run.key(CTRL_C)
        self.assertEqual(run.wait(60), 130)
        self.assertTrue(run.output.endswith(CANCELLED), run.output[-200:])
        self.assertNotIn(b"Fehler", run.output)
        self.assertTrue(sim.received().endswith(b"L"), sim.received()[-20:])
        # The port was closed properly: the next run burns.
        again = self.run_kalmo("-b", "image.hex", "-n")
        self.assertEqual(again.status, 0, again.stdout)
        self.assertIn(b"Fertig/finished.\n", again.stdout)

    def test_second_ctrl_c_ends_at_once(self):
        # Every block's answer takes 1.5 s: both come while one block waits for it.
        self.simulator("--page-write-ms", "1500")
        run = self.start_burn()
        time.sleep(0.2)
        run.key(CTRL_C)
        time.sleep(0.3)
        start = time.monotonic()
        run.key(CTRL_C)
        self.assertEqual(run.wait(60), 130)
        self.assertLess(time.monotonic() - start, 1.2)
        self.assertNotIn(CANCELLED, run.output)


if __name__ == "__main__":
    unittest.main()
