"""kalmo.exe finds the programmer's port the Windows way: driver services and SERIALCOMM."""
import unittest

from kalmo_harness import Monitor
from wine_harness import (BANNER, BUS_SERVICE, COM_PORT, DRIVER_VALUE, PORT_SERVICE, PREAMBLE,
                          WinePrefix, WineTestCase)

NO_CONNECTION = (BANNER + b"Es konnte keine Verbindung zum Tovalink ermittelt werden.\n"
                 + b"No connection to Tovalink could be found.\n")


class Discovery(WineTestCase):
    def test_running_services_and_the_value_lead_to_the_port(self):
        # The prefix's own serial port comes first in SERIALCOMM and is passed over.
        self.assertIn("\\Device\\Serial0", WinePrefix.serialcomm())
        sim = self.simulator()
        result = self.run_kalmo("-mp")
        self.assertEqual(result.stdout, self.header())
        self.assertEqual(result.status, 0)
        self.assertEqual(sim.received(), PREAMBLE + b"p")

    def test_value_names_of_the_port_service_match_in_any_case(self):
        WinePrefix.delete_serialcomm(DRIVER_VALUE)
        for name in ("\\Device\\Slabser0", "\\Device\\SLABSER3", "\\Device\\silabser12"):
            with self.subTest(value=name):
                WinePrefix.set_serialcomm(name, COM_PORT)
                try:
                    sim = self.simulator()
                    result = self.run_kalmo("-r")
                    self.assertEqual(result.stdout, self.header())
                    self.assertEqual(sim.received(), PREAMBLE + b"r")
                finally:
                    WinePrefix.delete_serialcomm(name)

    def test_driver_not_ready_gives_no_connection_and_its_debug_line(self):
        cases = [
            ("port service stopped", lambda: WinePrefix.stop_service(PORT_SERVICE),
             b"CP210x-Treiber ist nicht aktiv. "),
            ("bus service stopped", lambda: WinePrefix.stop_service(BUS_SERVICE),
             b"CP210x-Treiber ist nicht aktiv. "),
            ("port service not installed", lambda: WinePrefix.delete_service(PORT_SERVICE),
             b"CP210x-Treiber ist nicht Installiert. "),
            ("no value of the driver", lambda: WinePrefix.delete_serialcomm(DRIVER_VALUE), None),
        ]
        for name, breakage, debug_line in cases:
            with self.subTest(case=name):
                WinePrefix.install_driver()
                breakage()
                sim = self.simulator()
                monitor = Monitor()
                result = self.run_kalmo("-mp", env={"KALMO_DEBUG_PORT": str(monitor.port)})
                monitor.close()
                self.assertEqual(result.stdout, NO_CONNECTION)
                self.assertEqual(result.status, 1)
                self.assertEqual(sim.received(), b"")
                if debug_line:
                    self.assertIn(debug_line, monitor.data)
                else:
                    self.assertNotIn(b"CP210x-Treiber", monitor.data)
        WinePrefix.install_driver()


if __name__ == "__main__":
    unittest.main()
