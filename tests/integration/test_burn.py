"""Burning and verifying an Intel HEX file through the simulator."""
import os
import resource
import threading
import tty
import unittest

from kalmo_harness import Monitor, KalmoTestCase, block_sizes, burn_commands, hex_record, hex_text

IMAGE_300 = bytes((i * 7 + 3) & 0xFF for i in range(300))
# What follows a first P that got no answer: ESC bytes for the largest block and its header.
RESYNC = b"\x1b" * 1028



class Burn(KalmoTestCase):
    def burn(self, sim, image=IMAGE_300, *extra):
        path = self.write_file("image.hex", hex_text(image))
        return self.run_kalmo(sim.path, "-b", path, *extra)

    def test_image_goes_out_in_blocks_and_reads_back_the_same(self):
        sim = self.simulator("--block-size", "0x80")
        result = self.burn(sim)
        self.assertEqual(result.stdout, self.header(sim.path)
                         + b"Programmier-Modus gestartet\n"
                         + b"Chip geloescht / chip ereased\n"
                         + b"schreibe/write 300 Bytes: ... OK\n"
                         + b"Vergleiche/verify: ... OK\n"
                         + b"Fertig/finished.\n")
        self.assertEqual(result.status, 0)
        received = sim.received()
        self.assertEqual(block_sizes(received, "B"), [128, 128, 44])
        self.assertEqual(block_sizes(received, "g"), [128, 128, 44])
        self.assertEqual([c[0] for c in burn_commands(received)],
                         ["P", "b", "e", "A", "B", "B", "B", "A", "g", "g", "g", "L"])
        sim.stop()
        self.assertEqual(sim.flash()[:300], IMAGE_300)

    def test_no_verify_leaves_programming_mode_after_the_write(self):
        sim = self.simulator()
        result = self.burn(sim, IMAGE_300, "-n")
        self.assertEqual(result.status, 0)
        self.assertNotIn(b"Vergleiche", result.stdout)
        self.assertEqual([c[0] for c in burn_commands(sim.received())], ["P", "b", "e", "A", "B", "B", "B", "L"])

    def test_programmer_that_ignores_the_first_p(self):
        sim = self.simulator("--ignore-first-p", "1")
        result = self.run_kalmo(sim.path, "-b", self.write_file("a.hex", hex_text(IMAGE_300[:20])))
        self.assertEqual(result.status, 0)
        self.assertIn(b"Programmier-Modus gestartet\n", result.stdout)
        self.assertTrue(sim.received().startswith(b"P" + RESYNC + b"Pb"))

    def test_debug_lines_reach_a_monitor(self):
        sim = self.simulator("--ignore-first-p", "1")
        # The monitor where users put it, on the channel's own port; the other runs of the tests
        # send their lines elsewhere, so only this run reaches it.
        monitor = Monitor(port=5001)
        result = self.run_kalmo(sim.path, "-b", self.write_file("a.hex", hex_text(IMAGE_300[:20])),
                                env={"KALMO_DEBUG_PORT": ""})
        monitor.close()
        self.assertEqual(result.status, 0)
        self.assertIn(b"Programmier-Modus gestartet\n", result.stdout)
        self.assertTrue(sim.received().startswith(b"P" + RESYNC + b"Pb"))
        self.assertIn(b"2. Versuch\r\n", monitor.data)
        self.assertIn(b" ### \xf6ffne Serial Port " + sim.path.encode() + b"\r\n", monitor.data)
        self.assertRegex(monitor.data, rb"Dauer/duration: \d+ms\r\n")

    def test_block_mode_refused(self):
        for option in ("--block-mode-refused", "--block-size=0"):
            with self.subTest(option=option):
                sim = self.simulator(option)
                result = self.burn(sim)
                self.assertEqual(result.stdout, self.header(sim.path)
                                 + b"Programmier-Modus gestartet\n"
                                 + b"Fehler: Blockmodus wird nicht unterst\xfctzt.\n"
                                 + b"Error: blockmode was not supported.\n")
                self.assertEqual(result.status, 1)
                self.assertNotIn(b"e", sim.received()[2:])

    def test_read_back_difference_is_reported(self):
        image = bytes([0x0C] * 300)
        sim = self.simulator("--corrupt-readback", "5:0xFF")
        result = self.burn(sim, image)
        self.assertTrue(result.stdout.endswith(
            b"Vergleiche/verify: ..."
            b"\nFehler: beim \xdcberpr\xfcfen der geschriebenen Daten.\n"
            b"\tErste Abweichung bei Byte 5 , '0x0C' != '0xFF'\n"
            b"\nError: on verify.\n"
            b"\tFirst difference at Byte 5 , '0x0C' != '0xFF'\n"), result.stdout)
        self.assertEqual(result.status, 1)
        self.assertFalse(sim.received().endswith(b"L"))

    def test_bad_file_is_refused_before_the_erase(self):
        bad_checksum = hex_record(0, b"\x01\x02\x03")[:-2] + "00"
        cases = {
            "checksum": bad_checksum + "\r\n:00000001FF\r\n",
            "no records": ":00000001FF\r\n",
            "not hex": "hello\r\n",
        }
        for name, text in cases.items():
            with self.subTest(case=name):
                sim = self.simulator()
                path = self.write_file(name + ".hex", text)
                result = self.run_kalmo(sim.path, "-b", path)
                self.assertEqual(result.status, 1)
                self.assertIn(b"Fehler: Die Datei '" + path.encode() + b"'", result.stdout)
                self.assertNotIn(b"e", sim.received())

    def test_monitor_that_closes_does_not_stop_the_burn(self):
        sim = self.simulator()
        monitor = Monitor(close_after_accept=True)
        result = self.run_kalmo(sim.path, "-b", self.write_file("a.hex", hex_text(IMAGE_300)),
                                env={"KALMO_DEBUG_PORT": str(monitor.port)})
        monitor.close()
        self.assertEqual(result.status, 0)
        self.assertTrue(result.stdout.endswith(b"Fertig/finished.\n"))

    def test_odd_image_goes_out_in_whole_words(self):
        # (image size, block sizes on the wire): the last word is made whole with 0xFF.
        for size, blocks in ((301, [128, 128, 46]), (5, [6])):
            with self.subTest(size=size):
                image = IMAGE_300[:size] if size <= 300 else IMAGE_300 + b"\x5a"
                sim = self.simulator("--block-size", "0x80")
                result = self.burn(sim, image)
                dots = b"." * len(blocks)
                self.assertEqual(result.stdout, self.header(sim.path)
                                 + b"Programmier-Modus gestartet\n"
                                 + b"Chip geloescht / chip ereased\n"
                                 + b"schreibe/write %d Bytes: " % size + dots + b" OK\n"
                                 + b"Vergleiche/verify: " + dots + b" OK\n"
                                 + b"Fertig/finished.\n")
                self.assertEqual(result.status, 0)
                self.assertEqual(block_sizes(sim.received(), "B"), blocks)
                self.assertEqual(block_sizes(sim.received(), "g"), blocks)
                sim.stop()
                self.assertEqual(sim.flash()[:size + 1], image + b"\xff")

    def test_programmer_left_in_the_middle_of_a_block_is_recovered(self):
        # What an earlier run that could not finish left behind: a whole block still to come, or a
        # client that went away after part of a block or of its header.
        cases = [("pending block of 1 KiB", ["--pending-block", "1024"], b""),
                 ("part of a block", [], b"B\x04\x00F" + bytes(100)),
                 ("only the letter", [], b"B"),
                 ("half the count", [], b"B\x00")]
        for name, options, left in cases:
            with self.subTest(case=name):
                sim = self.simulator(*options)
                if left:
                    fd = os.open(sim.path, os.O_RDWR | os.O_NOCTTY)
                    tty.setraw(fd)
                    os.write(fd, left)
                    os.close(fd)
                result = self.burn(sim)
                self.assertEqual(result.status, 0, result.stdout)
                self.assertTrue(result.stdout.endswith(b"Fertig/finished.\n"))
                self.assertIn(b"P" + RESYNC + b"Pb", sim.received())
                sim.stop()
                self.assertEqual(sim.flash()[:300], IMAGE_300)

    def test_slow_programmer_is_not_disturbed_by_the_resynchronisation(self):
        # The first P is answered after its time-out: that late CR is not taken for the second's.
        sim = self.simulator("--late-ms", "1500", "--late-command", "1")
        result = self.burn(sim)
        self.assertEqual(result.status, 0, result.stdout)
        self.assertTrue(result.stdout.endswith(b"Fertig/finished.\n"))

    def test_file_without_line_ends_is_refused_with_little_memory(self):
        fifo = os.path.join(self.workdir, "endless.hex")
        os.mkfifo(fifo)

        def feed():
            # A writer that never sends a line end, until the reader goes away.
            try:
                with open(fifo, "wb") as f:
                    while True:
                        f.write(b"0" * 65536)
            except OSError:
                pass

        writer = threading.Thread(target=feed, daemon=True)
        writer.start()
        for path in ("/dev/zero", fifo):
            with self.subTest(path=path):
                sim = self.simulator()
                result = self.run_kalmo(sim.path, "-b", path, timeout=30)
                self.assertEqual(result.status, 1)
                self.assertIn(b"Error: file '" + path.encode() + b"' is no valid Intel HEX file.\n", result.stdout)
                self.assertLess(result.seconds, 10)
                self.assertNotIn(b"e", sim.received()[2:], "nothing erased")
        writer.join(10)
        # The largest of the runs so far, in KiB: far below what gathering the input would take.
        self.assertLess(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, 64 * 1024)


if __name__ == "__main__":
    unittest.main()
