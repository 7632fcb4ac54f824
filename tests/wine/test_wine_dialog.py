"""The dialog of kalmo.exe under Wine: keys through the console, bytes through the output pipe."""
import unittest

from wine_harness import ESC_KEY, PREAMBLE, WineDialog, WineTestCase

MENU_END = b"x - eXit\n\n"
USAGE = (b"Kommandozeilen-Tool f\x81r den Tovalink Programmer.\r\n"
         + b"-" * 50 + b"\r\n"
         + b"Parameter:\r\n"
         + b"-m<MODE>         Arbeitsmodus (p|d|q|m = Programming|Data|Quiet|Tarvix).\r\n"
         + b"-p<on|off>       Angabe ob Stromversorgung (de)aktiviert werden soll.\r\n"
         + b"-r               Reset des Boards\r\n"
         + b"-b \"Dateiname\"   Brennen einer HEX-Datei\r\n"
         + b"-n               noVerify, deaktiviert den Vergleichstest nach dem Brennen.\r\n"
         + b"\r\n"
         + b"Ohne Parameter startet das Programm im Dialog-Modus. Hier kann beliebig zwischen den "
         + b"Modi hin- und hergeschaltet werden.\r\n\r\n"
         + b"Bitte eine Taste dr\x81cken.")


class Dialog(WineTestCase):
    def start(self):
        dialog = WineDialog(cwd=self.workdir)
        self.addCleanup(dialog.close)
        dialog.read_until(MENU_END)
        return dialog

    def press(self, dialog, key, until=MENU_END):
        dialog.output = b""
        dialog.key(key)
        return dialog.read_until(until)

    def test_keys_send_their_commands_and_x_ends(self):
        sim = self.simulator()
        dialog = self.start()
        self.assertTrue(dialog.output.startswith(self.header()), dialog.output[:200])
        for key in b"pR+":
            self.press(dialog, key)
        dialog.key(b"x")
        self.assertEqual(dialog.wait(), 0)
        self.assertEqual(sim.received(), PREAMBLE + b"p" + PREAMBLE + b"r" + PREAMBLE + b"+")

    def test_help_shows_the_usage_and_escape_ends(self):
        sim = self.simulator()
        dialog = self.start()
        screen = self.press(dialog, b"?", until=b"Bitte eine Taste dr\x81cken.")
        self.assertTrue(screen.endswith(USAGE), screen)
        self.press(dialog, b"k")
        self.press(dialog, b"z")
        dialog.key(ESC_KEY)
        self.assertEqual(dialog.wait(), 0)
        self.assertEqual(sim.received(), b"")

    def test_failing_command_ends_the_dialog_with_its_lines(self):
        sim = self.simulator("--never-answer")
        dialog = self.start()
        dialog.output = b""
        dialog.key(b"p")
        self.assertEqual(dialog.wait(), 1)
        self.assertEqual(dialog.output, b"Fehler: bei Befehl p\nError: at command p\n")
        self.assertEqual(sim.received(), PREAMBLE + b"p")


if __name__ == "__main__":
    unittest.main()
