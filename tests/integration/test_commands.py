"""Mode, power and reset commands from the command line, against the simulator."""
import os
import unittest

from kalmo_harness import PREAMBLE, KalmoTestCase, Terminal


class CommandLine(KalmoTestCase):
    def test_mode_commands_go_out_as_preamble_and_letters(self):
        cases = [
            ("-mp", PREAMBLE + b"p"),
            ("-m", PREAMBLE),
            ("-mprog", PREAMBLE + b"prog"),
            ("-pon", PREAMBLE + b"+"),
            ("-poff", PREAMBLE + b"-"),
            ("-r", PREAMBLE + b"r"),
        ]
        for parameter, wire in cases:
            with self.subTest(parameter=parameter):
                sim = self.simulator()
                result = self.run_kalmo(sim.path, parameter)
                self.assertEqual(result.stdout, self.header(sim.path))
                self.assertEqual(result.status, 0)
                self.assertEqual(sim.received(), wire)

    def test_tokens_run_in_order_over_one_connection(self):
        sim = self.simulator()
        result = self.run_kalmo(sim.path, "-pon", "-mp", "-r")
        self.assertEqual(result.status, 0)
        self.assertEqual(sim.received(), PREAMBLE + b"+" + PREAMBLE + b"p" + PREAMBLE + b"r")

    def test_power_on_retries_over_a_reopened_port(self):
        sim = self.simulator("--drop-answer", "1")
        result = self.run_kalmo(sim.path, "-pon")
        self.assertEqual(result.stdout, self.header(sim.path))
        self.assertEqual(result.status, 0)
        self.assertEqual(sim.received(), PREAMBLE + b"+" + PREAMBLE + b"+")
        self.assertLess(result.seconds, 4.0)

    def test_failing_power_on_stops_the_list(self):
        sim = self.simulator("--never-answer")
        result = self.run_kalmo(sim.path, "-pon", "-mp")
        self.assertEqual(result.stdout, self.header(sim.path) + b"Fehler: bei Befehl +\nError: at command +\n")
        self.assertEqual(result.status, 1)
        self.assertEqual(sim.received(), PREAMBLE + b"+" + PREAMBLE + b"+")

    def test_programmer_that_never_answers(self):
        sim = self.simulator("--never-answer")
        result = self.run_kalmo(sim.path, "-mp")
        self.assertEqual(result.stdout, self.header(sim.path) + b"Fehler: bei Befehl p\nError: at command p\n")
        self.assertEqual(result.status, 1)

    def test_answer_without_line_feed_fails(self):
        sim = self.simulator("--no-lf")
        result = self.run_kalmo(sim.path, "-mq")
        self.assertEqual(result.stdout, self.header(sim.path) + b"Fehler: bei Befehl q\nError: at command q\n")
        self.assertEqual(result.status, 1)

    def test_port_that_cannot_open(self):
        port = os.path.join(self.workdir, "no-such-port")
        result = self.run_kalmo(port, "-mp")
        error = b"Der Port " + port.encode() + b" konnte nicht ge\xf6ffnet werden."
        self.assertEqual(result.stdout,
                         self.header(port)
                         + b"Fehler: Verbindung mit Port " + port.encode() + b" konnte nicht ge\xf6ffnet werden.\n"
                         + error + b"\n"
                         + b"Error: cant connect to " + port.encode() + b"\n" + error + b"\n")
        self.assertEqual(result.status, 1)

    def test_unknown_parameters_alone_open_nothing(self):
        port = os.path.join(self.workdir, "no-such-port")
        result = self.run_kalmo(port, "-x", "-y")
        self.assertEqual(result.stdout, self.header(port)
                         + b"Folgende unbekannte Parameter wurden ignoriert: -x, -y\n"
                         + b"Following unknown Parameter was ignored: -x, -y\n")
        self.assertEqual(result.status, 2)

    def test_a_mistyped_parameter_exits_2_and_burns_nothing(self):
        sim = self.simulator()
        self.write_file("f.hex", ":00000001FF\n")
        for typed in (["-B", "f.hex"], ["--burn", "f.hex"], ["f.hex"], ["/b", "f.hex"]):
            with self.subTest(typed=typed):
                result = self.run_kalmo(sim.path, *typed)
                self.assertIn(b"Following unknown Parameter was ignored: " + ", ".join(typed).encode() + b"\n",
                              result.stdout)
                self.assertEqual(result.status, 2)
        self.assertEqual(sim.received(), b"")

    def test_the_recognised_parameters_still_run_and_a_failure_wins_over_2(self):
        sim = self.simulator()
        result = self.run_kalmo(sim.path, "-mp", "-x")
        self.assertEqual(result.status, 2)
        self.assertEqual(sim.received(), PREAMBLE + b"p")
        port = os.path.join(self.workdir, "no-such-port")
        self.assertEqual(self.run_kalmo(port, "-mp", "-x").status, 1)
        self.assertEqual(self.run_kalmo(sim.path, "-x", "-b", "missing.hex").status, 1)

    def test_names_typed_in_utf8_are_shown_as_typed_on_a_utf8_terminal(self):
        # The tool's own texts are converted for the terminal; the names in them came in its encoding.
        port = os.path.join(self.workdir, "f\u00fcr-port")
        terminal = Terminal(["-b", "gr\u00fc\u00dfe.hex", "-m\u00e4"], self.environment(port, {"LC_ALL": "C.UTF-8"}),
                            self.workdir)
        self.assertEqual(terminal.wait(), 1)
        screen = terminal.output
        utf8_port = port.encode()
        self.assertIn(b"Tovalink an/at " + utf8_port + b"\r\n", screen)
        self.assertIn(b"Die Datei 'gr\xc3\xbc\xc3\x9fe.hex' wurde nicht gefunden.", screen)
        self.assertIn(b"Fehler: Verbindung mit Port " + utf8_port + b" konnte nicht ge\xc3\xb6ffnet werden.", screen)
        self.assertIn(b"Der Port " + utf8_port + b" konnte nicht ge\xc3\xb6ffnet werden.", screen)
        self.assertNotIn(b"\xc3\x83", screen)  # nothing encoded twice
        # A pipe gets the bytes as they are.
        piped = self.run_kalmo(port, "-m\u00e4", env={"LC_ALL": "C.UTF-8"})
        self.assertIn(b"Port " + utf8_port + b" konnte nicht ge\xf6ffnet werden.", piped.stdout)

    def test_missing_file_fails_the_run_but_the_other_tokens_run(self):
        sim = self.simulator()
        result = self.run_kalmo(sim.path, "-b", "missing.hex", "-mp")
        self.assertEqual(result.stdout, self.header(sim.path)
                         + b"Die Datei 'missing.hex' wurde nicht gefunden.\nFile 'missing.hex' not found.\n")
        self.assertEqual(result.status, 1)
        self.assertEqual(sim.received(), PREAMBLE + b"p")

    def test_no_programmer_found(self):
        # No CP210x adapter is attached to a test machine, and an empty KALMO_PORT names none.
        result = self.run_kalmo("", "-mp")
        self.assertEqual(result.stdout, b"Tellu Kalmo - Version 1.2\n\n"
                         b"Es konnte keine Verbindung zum Tovalink ermittelt werden.\n"
                         b"No connection to Tovalink could be found.\n")
        self.assertEqual(result.status, 1)


if __name__ == "__main__":
    unittest.main()
