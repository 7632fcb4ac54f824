"""The dialog: keys on a terminal select the commands."""
import unittest

from kalmo_harness import PREAMBLE, KalmoTestCase, Terminal

MENU_END = b"x - eXit"
USAGE_END = b"Bitte eine Taste dr\x81cken."


class Dialog(KalmoTestCase):
    def start(self, sim):
        terminal = Terminal([], self.environment(sim.path), self.workdir)
        terminal.read_until(MENU_END)
        return terminal

    def test_keys_send_their_commands_and_x_ends(self):
        sim = self.simulator()
        terminal = self.start(sim)
        for key in b"PpR+":
            terminal.output = b""
            terminal.key(key)
            terminal.read_until(MENU_END)
        terminal.key(b"x")
        self.assertEqual(terminal.wait(), 0)
        self.assertEqual(sim.received(), PREAMBLE + b"p" + PREAMBLE + b"p" + PREAMBLE + b"r" + PREAMBLE + b"+")

    def test_escape_ends_like_x(self):
        sim = self.simulator()
        terminal = self.start(sim)
        terminal.key(0x1B)
        self.assertEqual(terminal.wait(), 0)
        self.assertEqual(sim.received(), b"")

    def test_help_shows_the_usage_and_sends_nothing(self):
        sim = self.simulator()
        terminal = self.start(sim)
        terminal.output = b""
        terminal.key(b"?")
        screen = terminal.read_until(USAGE_END)
        self.assertIn(b"Kommandozeilen-Tool f\x81r den Tovalink Programmer.\r", screen)
        self.assertIn(b"-b \"Dateiname\"   Brennen einer HEX-Datei\r", screen)
        terminal.output = b""
        terminal.key(b"k")
        terminal.read_until(MENU_END)
        terminal.key(b"z")
        terminal.read_until(MENU_END)
        terminal.key(b"X")
        self.assertEqual(terminal.wait(), 0)
        self.assertEqual(sim.received(), b"")

    def test_failing_command_ends_the_dialog_with_its_lines(self):
        sim = self.simulator("--never-answer")
        terminal = self.start(sim)
        terminal.output = b""
        terminal.key(b"p")
        self.assertEqual(terminal.wait(), 1)
        # The terminal may turn line feeds into CR LF: compare without the carriage returns.
        self.assertTrue(terminal.output.replace(b"\r", b"").endswith(b"Fehler: bei Befehl p\nError: at command p\n"),
                        terminal.output[-200:])
        self.assertNotIn(MENU_END, terminal.output)

    def test_end_of_input_ends_the_dialog(self):
        sim = self.simulator()
        result = self.run_kalmo(sim.path)  # standard input is /dev/null: no key ever comes
        self.assertEqual(result.status, 0)
        self.assertEqual(result.stdout.count(b"Bitte Modus eingeben / please select mode:\n"), 1)
        self.assertEqual(sim.received(), b"")


if __name__ == "__main__":
    unittest.main()
