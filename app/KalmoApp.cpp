#include "app/KalmoApp.h"

#include "app/Console.h"
#include "app/ProgrammerDiscovery.h"
#include "ZEL_OS/OsCancel.h"
#include "ZEL_SYSTEM/ZDebug.h"
#include "ZEL_SYSTEM/ZFileFind.h"
#include "ZEL_UTIL/ZApplicationBasic.h"

KalmoApp::KalmoApp() : banner("Tellu Kalmo - Version 1.2") {}

// The port is closed by the run itself, never by the destructor.
KalmoApp::~KalmoApp() = default;

int KalmoApp::run() { return run(zelApplication.params); }

// Ctrl-C and the other cancel signals are caught for the whole run: the exchange in flight ends
// properly, the remaining tokens are skipped and the port is closed with its line state restored.
int KalmoApp::run(ZStringList params) {
  zos::catchCancelSignals();
  int status = runSequence(params);
  const int cancelledBy = zos::cancelSignal();
  if (cancelledBy != 0) {
    Console::write(ZString("Abbruch: der Lauf wurde abgebrochen.\n") + "Cancelled: the run was cancelled.\n");
    status = 128 + cancelledBy;
  }
  zos::releaseCancelSignals();
  return status;
}

int KalmoApp::runSequence(ZStringList params) {
  zelDebug.muted = 0;

  banner += "\n\n";
  Console::write(banner);

  portName = findProgrammerPort();
  if (portName.isEmpty()) {
    Console::write(ZString("Es konnte keine Verbindung zum Tovalink ermittelt werden.\n") +
                   "No connection to Tovalink could be found.\n");
    return 1;
  }

  Console::write(ZString("Tovalink an/at ") + portName + "\n", portName);
  comPort.settings.set(portName + ",19200,N,8,1");
  noVerify = 0;

  if (params.getCount() <= 1) {
    return runDialog() ? 0 : 1;
  }

  commands.clear();
  int filesFound = classifyParameters(params);
  int result = executeCommands();
  if (!filesFound || !result) return 1;
  // A mistyped parameter did nothing: a build script must not take the run for a success.
  return unknownParameters.isEmpty() ? 0 : 2;
}

int KalmoApp::classifyParameters(ZStringList params) {
  int filesFound = 1;
  int count = params.getCount();
  for (int i = 1; i < count; i++) {
    const ZString& param = params.getAt(i);
    if (param.startsWith("-m")) {
      commands.add(param.mid(2), false);
    } else if (param.startsWith("-pon")) {
      commands.add("+", false);
    } else if (param.startsWith("-poff")) {
      commands.add("-", false);
    } else if (param.startsWith("-r")) {
      commands.add("r", false);
    } else if (param.startsWith("-b")) {
      i++;
      if (i >= count) {
        Console::write(ZString("Es wurde keine Datei zum Brennen angegeben.\n") + "No File for Flash specified.\n");
        filesFound = 0;
      } else {
        const ZString& name = params.getAt(i);
        if (ZFileFind::exists(name)) {
          commands.add(ZString("b|") + name, false);
        } else {
          Console::write(ZString("Die Datei '") + name + "' wurde nicht gefunden.\n" + "File '" + name +
                             "' not found.\n",
                         name);
          filesFound = 0;
        }
      }
    } else if (param.startsWith("-n")) {
      noVerify = 1;
    } else {
      if (!unknownParameters.isEmpty()) unknownParameters += ", ";
      unknownParameters += param;
    }
  }

  if (!unknownParameters.isEmpty()) {
    Console::write(ZString("Folgende unbekannte Parameter wurden ignoriert: ") + unknownParameters + "\n" +
                       "Following unknown Parameter was ignored: " + unknownParameters + "\n",
                   unknownParameters);
  }
  return filesFound;
}

int KalmoApp::runDialog() {
  exitRequested = 0;
  int result = 1;
  while (exitRequested == 0 && result && zos::cancelSignal() == 0) {
    commands.clear();
    selectCommand();
    result = executeCommands();
  }
  comPort.close(0);
  return result;
}
