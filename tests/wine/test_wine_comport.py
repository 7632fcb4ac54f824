"""The serial tests of the Windows build on COM ports that lead to pseudo-terminals."""
import os
import re
import unittest

from kalmo_harness import hex_text
from wine_harness import BUILD, COM_PORT, COMPORT_TEST_EXE, PREAMBLE, EchoPort, WinePrefix, WineTestCase

OS_SERIAL_TEST_EXE = os.environ.get("KALMO_OS_SERIAL_TEST", os.path.join(BUILD, "tests", "os_serial_test.exe"))
ECHO_COM_NUMBER = 6


class ComPortUnderWine(WineTestCase):
    def assert_all_passed(self, result):
        output = result.stdout.decode("latin-1")
        self.assertEqual(result.status, 0, output[-3000:])
        self.assertTrue(re.search(r"\[  PASSED  \] [1-9]\d* tests?", output), output[-3000:])
        self.assertNotIn("SKIPPED", output)

    def test_serial_port_device_tests_on_the_simulator(self):
        sim = self.simulator()
        result = self.run_windows(os.path.abspath(COMPORT_TEST_EXE), "--gtest_filter=-*Vanished*",
                                  env={"KALMO_TEST_COM_PORT": COM_PORT})
        self.assert_all_passed(result)
        self.assertIn(PREAMBLE + b"p", sim.received())

    def test_a_vanished_line_ends_the_read_at_once(self):
        sim = self.simulator("--hangup-after", str(len(PREAMBLE) + 1))
        result = self.run_windows(os.path.abspath(COMPORT_TEST_EXE), "--gtest_filter=*Vanished*",
                                  env={"KALMO_TEST_COM_PORT": COM_PORT, "KALMO_TEST_LINE_VANISHES": "1"})
        self.assert_all_passed(result)
        self.assertIsNotNone(sim.process.wait(5), "the simulator closed the line")

    def test_a_burn_whose_line_vanishes_mid_block_ends_at_once(self):
        image = bytes((i * 7 + 3) & 0xFF for i in range(300))
        path = self.write_file("image.hex", hex_text(image))
        sim = self.simulator("--hangup-after", str(1 + 1 + 1 + 3 + 20))  # P, b, e, A, then into the first block
        result = self.run_kalmo("-b", path)
        self.assertEqual(result.stdout, self.header() + b"Programmier-Modus gestartet\nChip geloescht / chip ereased\n"
                         b"schreibe/write 300 Bytes: Fehler: beim Schreiben der Daten.\nError: on write data.\n")
        self.assertEqual(result.status, 1)
        self.assertLess(result.seconds, 3.0, "the block's 4 s time-out was not waited out")

    def test_os_layer_serial_tests_on_an_echoing_port(self):
        echo = EchoPort()
        self.addCleanup(echo.stop)
        WinePrefix.map_com_port(ECHO_COM_NUMBER, echo.path)
        result = self.run_windows(os.path.abspath(OS_SERIAL_TEST_EXE),
                                  env={"KALMO_SERIAL_ECHO_PORT": "COM%d" % ECHO_COM_NUMBER})
        self.assert_all_passed(result)


if __name__ == "__main__":
    unittest.main()
