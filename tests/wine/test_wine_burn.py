"""kalmo.exe burns and verifies the sample image through the simulator on a COM port."""
import os
import sys
import unittest

from wine_harness import WineTestCase, burn_commands, hex_image

SAMPLE = os.path.join(os.path.dirname(__file__), "..", "..", "samples", "sample.hex")


def block_sizes(size, block):
    return [min(block, size - s) for s in range(0, size, block)]


class Burn(WineTestCase):
    def setUp(self):
        super().setUp()
        with open(SAMPLE, "rb") as f:
            self.hex_text = f.read()
        self.image = hex_image(self.hex_text.decode("latin-1"))
        self.write_file("sample.hex", self.hex_text)

    def burn_output(self, verify=True):
        dots = b"." * len(block_sizes(len(self.image), 128))
        text = (b"Programmier-Modus gestartet\n" + b"Chip geloescht / chip ereased\n"
                + b"schreibe/write %d Bytes: " % len(self.image) + dots + b" OK\n")
        if verify:
            text += b"Vergleiche/verify: " + dots + b" OK\n"
        return text + b"Fertig/finished.\n"

    def test_power_mode_and_burn_on_a_paced_line(self):
        # The line as the real programmer has it: 19200 baud both ways, flash pages take their time.
        sim = self.simulator("--baud", "19200", "--page-write-ms", "4.5", "--erase-ms", "20")
        result = self.run_kalmo("-pon", "-mp", "-b", "sample.hex")
        sys.stderr.write("\n  burn of %d bytes with verify under Wine at 19200 baud: %.2f s\n"
                         % (len(self.image), result.seconds))
        self.assertEqual(result.stdout, self.header() + self.burn_output())
        self.assertEqual(result.status, 0)
        blocks = block_sizes(len(self.image), 128)
        self.assertEqual(burn_commands(sim.received()),
                         [("preamble", "+"), ("preamble", "p"), ("P",), ("b",), ("e",), ("A", 0, 0)]
                         + [("B", n) for n in blocks] + [("A", 0, 0)] + [("g", n) for n in blocks] + [("L",)])
        sim.stop()
        self.assertEqual(sim.flash()[:len(self.image)], self.image)

    def test_no_verify_leaves_programming_mode_after_the_write(self):
        sim = self.simulator()
        result = self.run_kalmo("-b", "sample.hex", "-n")
        self.assertEqual(result.stdout, self.header() + self.burn_output(verify=False))
        self.assertEqual(result.status, 0)
        letters = [c[0] for c in burn_commands(sim.received())]
        self.assertEqual(letters[-2:], ["B", "L"])
        self.assertNotIn("g", letters)
        sim.stop()
        self.assertEqual(sim.flash()[:len(self.image)], self.image)

    def test_read_back_difference_fails_the_burn(self):
        sim = self.simulator("--corrupt-readback", "5:0xFF")
        result = self.run_kalmo("-b", "sample.hex")
        expected = self.image[5]
        self.assertNotEqual(expected, 0xFF)
        dots = b"." * len(block_sizes(len(self.image), 128))
        self.assertTrue(result.stdout.endswith(
            b"Vergleiche/verify: " + dots
            + b"\nFehler: beim \xdcberpr\xfcfen der geschriebenen Daten.\n"
            + b"\tErste Abweichung bei Byte 5 , '0x%02X' != '0xFF'\n" % expected
            + b"\nError: on verify.\n"
            + b"\tFirst difference at Byte 5 , '0x%02X' != '0xFF'\n" % expected), result.stdout)
        self.assertEqual(result.status, 1)
        self.assertNotEqual(burn_commands(sim.received())[-1], ("L",))


if __name__ == "__main__":
    unittest.main()
