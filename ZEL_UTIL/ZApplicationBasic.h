// ZApplicationBasic: what every program of the library needs once: its command-line parameters,
// the program's path and directory, and a wait that keeps the thread's window messages flowing.
// Constructed first of the global library objects, before the language table exists.
#pragma once

#include "ZEL_SYSTEM/ZFileIni.h"
#include "ZEL_UTIL/ZString.h"
#include "ZEL_UTIL/ZStringList.h"

class ZApplicationBasic {
 public:
  // Splits the process command line into params; item 0 is the program itself.
  ZApplicationBasic();
  // The same for a given command line.
  explicit ZApplicationBasic(const ZString& commandLine);
  ZApplicationBasic(const ZApplicationBasic&) = delete;
  ZApplicationBasic& operator=(const ZApplicationBasic&) = delete;

  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZApplicationBasic"; }
  virtual ~ZApplicationBasic() = default;

  // Waits the given time while handling the calling thread's window messages, one at a time as
  // they come; between them the thread blocks. Returns 1 when the time has passed, 0 as soon as
  // *stopFlag is found 0 (it is tested after every message, and at least every 10 ms so that
  // another thread may clear it too; that thread stores the 0 atomically, for instance with
  // __atomic_store_n). With 0 ms it returns 1 at once, handling nothing.
  // Touches no member: any thread may call it.
  static int pumpMessages(unsigned milliseconds, const int* stopFlag);

  // Opens the configuration file of the user or of the computer, "<title>.cfg" in the
  // application data folder, creating it when missing; 1 if it is open afterwards.
  int openUserConfigFile();
  int openComputerConfigFile();

  ZFileIni computerConfig;
  ZFileIni userConfig;
  ZString programPath;       // item 0 of params: the program file as the system started it
  ZStringList params;        // the command line split into parameters, double quotes respected;
                             // on systems that hand over the arguments one by one, exactly those
  ZString programDirectory;  // the directory of programPath without its trailing separator, or
                             // the current directory when programPath names none

 private:
  void takeCommandLine(const ZString& commandLine);
  // programPath and programDirectory from item 0 of params.
  void takeProgram();
};

// The program's one application object of the library.
extern ZApplicationBasic zelApplication;
