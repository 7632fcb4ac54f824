// The tool's application object: finds the programmer, turns the parameters (or the dialog's keys)
// into command tokens and carries them out over the serial port.
#pragma once
#include "ZEL_SYSTEM/ZComPort.h"
#include "ZEL_UTIL/ZString.h"
#include "ZEL_UTIL/ZStringList.h"

class KalmoApp {
 public:
  KalmoApp();
  ~KalmoApp();

  // The whole run. Returns the process exit status: 0 when every command succeeded or there was
  // nothing to do, 1 when the programmer was not found, a file to burn was missing, the port did
  // not open, or a command or a burn failed; 128 + the signal's number when the run was cancelled
  // (Ctrl-C: 130, on Windows every console event too).
  int run();
  // The same with an explicit parameter list (item 0 is the program itself).
  int run(ZStringList params);

  // Turns the parameters from index 1 on into command tokens, sets noVerify, writes the messages
  // for a missing file and for unknown parameters. Returns 0 when a file to burn was missing.
  int classifyParameters(ZStringList params);

  // Opens the port, carries out every token in order, closes the port. 1: nothing to do or all
  // succeeded; 0 at the first failure (the remaining tokens are skipped).
  int executeCommands();

  // Burns the file named by a "b|" token and, unless noVerify is set, reads it back and compares.
  int flashHexFile(const ZString& token);

  // One cycle of the dialog: menu, one key, at most one token. showHelp: the usage screen.
  void selectCommand();
  void showHelp();

  // The dialog: cycles until the exit key, a failed command or a cancel. Returns the last
  // command's result.
  int runDialog();

  ZComPort comPort;
  ZString portName;
  ZStringList commands;
  int exitRequested = 0;
  ZString banner;
  ZString unknownParameters;
  int noVerify = 0;
  // Set when the input of the dialog has ended: the dialog then ends as if 'x' were pressed.
  int inputEnded = 0;

 private:
  int runSequence(ZStringList params);
  int sendCommand(const ZString& token);
  int powerOn(const ZString& token);
  ZString buildCommand(const ZString& token) const;
};
