// The tool's application object: finds the programmer, turns the parameters (or the dialog's keys)
// into command tokens and carries them out over the serial port.
#pragma once
#include "ZEL_SYSTEM/ZComPort.h"
#include "ZEL_SYSTEM/ZMem.h"
#include "ZEL_UTIL/ZString.h"
#include "ZEL_UTIL/ZStringList.h"

class KalmoApp {
 public:
  KalmoApp();
  ~KalmoApp();

  // The whole run. Returns the process exit status: 0 when every command succeeded or there was
  // nothing to do, 1 when the programmer was not found, a file to burn was missing, the port did
  // not open, or a command or a burn failed; 2 when unknown parameters were reported and all else
  // succeeded; 128 + the signal's number when the run was cancelled (Ctrl-C: 130, on Windows every
  // console event too).
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

  // The burn's steps (KalmoFlash.cpp), in their order. Each writes its own failure messages and
  // returns 1 on success, 0 on failure; a run that is being cancelled stops after the exchange in
  // flight with 0 and no message.
  int enterProgrammingMode();
  void resynchronise();
  int queryBlockSize(int& blockSize);
  // fileBytes: the file's own byte count; the image may be one byte longer, made a whole word.
  int loadImage(const ZString& fileName, ZMem& image, int& fileBytes);
  int eraseChip();
  int setAddressZero();
  int writeImage(const ZMem& image, int fileBytes, int blockSize);
  int readBack(ZMem& readBackImage, int blockSize);
  int verifyImage(const ZMem& image, int blockSize);
  int leaveProgrammingMode();

  // How the answer to a command that a carriage return confirms ended: with its CR, with bytes
  // that no CR followed (the programmer refused), or with nothing in time.
  enum class Confirmation { confirmed, refused, timedOut };
  // Sends the command's bytes and then the data's, one write call a byte, and waits up to
  // timeoutMs for the carriage return that confirms it.
  Confirmation commandAwaitingCr(const unsigned char* command, int length, int timeoutMs,
                                 const unsigned char* data = nullptr, int dataLength = 0);
  // How long the bytes take on the line at the port's baud rate, rounded up.
  int wireTimeMs(int bytes) const;
};
