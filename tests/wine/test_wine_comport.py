"""The serial port's device tests of the Windows build, on a COM port that leads to the simulator."""
import os
import unittest

from wine_harness import COM_PORT, COMPORT_TEST_EXE, PREAMBLE, WineTestCase


class ComPortUnderWine(WineTestCase):
    def test_device_tests_pass_on_the_simulator(self):
        sim = self.simulator()
        result = self.run_windows(os.path.abspath(COMPORT_TEST_EXE), env={"KALMO_TEST_COM_PORT": COM_PORT})
        output = result.stdout.decode("latin-1")
        self.assertEqual(result.status, 0, output[-3000:])
        self.assertRegex(output, r"\[  PASSED  \] [1-9]\d* tests?")
        self.assertNotIn("SKIPPED", output)
        self.assertIn(PREAMBLE + b"p", sim.received())


if __name__ == "__main__":
    unittest.main()
