// The dialog: a menu, one key per cycle, and the usage text.
#include "app/Console.h"
#include "app/KalmoApp.h"

namespace {

// Keys that become command tokens (in lower case).
const char commandKeys[] = "dDqQpPmM+-rR";
const int escapeKey = 0x1B;

}  // namespace

void KalmoApp::selectCommand() {
  Console::clearScreen();
  Console::write(banner);
  Console::write(ZString("Tovalink an/at ") + portName + "\n", portName);
  const char* menu[] = {
      "\n",
      "Bitte Modus eingeben / please select mode:\n",
      "d - Daten-Modus / data mode\n",
      "p - Programmier-Modus / programming mode\n",
      "q - Quiet-Modus / quiet mode\n",
      "m - Tarvix\n",
      "+ - Strom an / power on\n",
      "- - Strom aus / power off\n",
      "r - Reset Board / reset board\n",
      "\n",
      "? - Hilfe / help\n",
      "x - eXit\n",
      "\n",
  };
  for (const char* line : menu) Console::write(line);

  int key = Console::readKey();
  if (key < 0) {
    // The input has ended (nobody can press another key) or the run was cancelled while it
    // waited: the dialog ends as if 'x' came.
    inputEnded = 1;
    exitRequested = 1;
    return;
  }
  if (key != 0 && ZString(commandKeys).findChar(static_cast<char>(key)) >= 0) {
    ZString token(static_cast<char>(key));
    token.makeLower();
    commands.add(token, false);
  } else if (key == 'x' || key == 'X' || key == escapeKey) {
    exitRequested = 1;
  } else if (key == '?' || key == 'h' || key == 'H') {
    showHelp();
  }
}

void KalmoApp::showHelp() {
  ZString text;
  text += "Kommandozeilen-Tool f\x81r den Tovalink Programmer.\r\n";
  text += "--------------------------------------------------\r\n";
  text += "Parameter:\r\n";
  text += "-m<MODE>         Arbeitsmodus (p|d|q|m = Programming|Data|Quiet|Tarvix).\r\n";
  text += "-p<on|off>       Angabe ob Stromversorgung (de)aktiviert werden soll.\r\n";
  text += "-r               Reset des Boards\r\n";
  text += "-b \"Dateiname\"   Brennen einer HEX-Datei\r\n";
  text += "-n               noVerify, deaktiviert den Vergleichstest nach dem Brennen.\r\n";
  text += "\r\n";
  text += "Ohne Parameter startet das Programm im Dialog-Modus. Hier kann beliebig zwischen den ";
  text += "Modi hin- und hergeschaltet werden.\r\n\r\n";
  text += "Bitte eine Taste dr\x81" "cken.";
  Console::clearScreen();
  Console::write(text);
  if (Console::readKey() < 0) {
    inputEnded = 1;
    exitRequested = 1;
  }
}
