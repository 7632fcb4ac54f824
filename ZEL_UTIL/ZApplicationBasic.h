// ZApplicationBasic: what every program of the library needs once, above all its command-line
// parameters. Constructed first of the global library objects, before the language table exists.
#pragma once

#include "ZEL_SYSTEM/ZFileIni.h"
#include "ZEL_UTIL/ZString.h"
#include "ZEL_UTIL/ZStringList.h"

class ZApplicationBasic {
 public:
  // Splits the process command line into params; item 0 is the program itself.
  ZApplicationBasic();
  ZApplicationBasic(const ZApplicationBasic&) = delete;
  ZApplicationBasic& operator=(const ZApplicationBasic&) = delete;

  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZApplicationBasic"; }
  virtual ~ZApplicationBasic() = default;

  // Opens the configuration file of the user or of the computer, "<title>.cfg" in the
  // application data folder, creating it when missing; 1 if it is open afterwards.
  int openUserConfigFile();
  int openComputerConfigFile();

  ZFileIni computerConfig;
  ZFileIni userConfig;
  ZString programPath;
  ZStringList params;
  ZString programDirectory;
};

// The program's one application object of the library.
extern ZApplicationBasic zelApplication;
