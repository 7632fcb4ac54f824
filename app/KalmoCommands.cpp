// Mode, power and reset commands: the fixed preamble and the token's letters, answered by a line
// that ends in a line feed.
#include "app/Console.h"
#include "app/KalmoApp.h"
#include "ZEL_OS/OsCancel.h"
#include "ZEL_UTIL/ZApplicationBasic.h"

namespace {

// Every command to the programmer's own firmware starts with these seven bytes.
const char commandPreamble[] = "\xE6\xB5\xBA\xB9\xB2\xB3\xA9";

const int answerTimeoutMs = 500;
const int powerOnRetryTimeoutMs = 2000;
const unsigned powerOnRetryPauseMs = 100;

}  // namespace

ZString KalmoApp::buildCommand(const ZString& token) const { return ZString(commandPreamble) + token; }

int KalmoApp::executeCommands() {
  if (commands.getCount() == 0) return 1;

  int result = 1;
  if (!comPort.open("", nullptr)) {
    Console::write(ZString("Fehler: Verbindung mit Port ") + portName + " konnte nicht ge\xF6" "ffnet werden.\n" +
                       comPort.errorText + "\n",
                   portName);
    Console::write(ZString("Error: cant connect to ") + portName + "\n" + comPort.errorText + "\n", portName);
    // What may help, German and English.
    if (!comPort.openHint.isEmpty()) Console::write(comPort.openHint, portName);
    result = 0;
  }

  // A cancel ends the list after the token in flight; the port is closed as always.
  for (int i = 0; result && zos::cancelSignal() == 0 && i < commands.getCount(); i++) {
    const ZString token = commands.getAt(i);
    if (token.startsWith("b|")) {
      result = flashHexFile(token);
      continue;
    }
    result = (token == "+") ? powerOn(token) : sendCommand(token);
    if (!result) {
      Console::write(ZString("Fehler: bei Befehl ") + token + "\n", token);
      Console::write(ZString("Error: at command ") + token + "\n", token);
    }
  }

  comPort.close(0);
  return result;
}

int KalmoApp::sendCommand(const ZString& token) {
  comPort.purge();
  if (!comPort.write(buildCommand(token))) return 0;
  ZString answer;
  return comPort.readString(answer, answerTimeoutMs, "\n");
}

// Switching the target's supply on gets one retry over a fresh connection.
int KalmoApp::powerOn(const ZString& token) {
  if (sendCommand(token)) return 1;

  comPort.close(0);
  ZApplicationBasic::pumpMessages(powerOnRetryPauseMs, nullptr);
  comPort.open("", nullptr);
  ZApplicationBasic::pumpMessages(powerOnRetryPauseMs, nullptr);
  comPort.purge();
  comPort.write(buildCommand(token));
  ZString answer;
  return comPort.readString(answer, powerOnRetryTimeoutMs, "\n");
}
