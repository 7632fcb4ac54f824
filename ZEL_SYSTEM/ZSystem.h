// ZSystem: texts for system error numbers, environment variables and special folders.
// No state: every operation is static.
#pragma once

#include "ZEL_UTIL/ZString.h"

class ZSystem {
 public:
  // Special folders: the user's application data and that of all users.
  static constexpr int folderUserAppData = 0x1A;
  static constexpr int folderCommonAppData = 0x23;

  ZSystem() = default;
  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZSystem"; }
  virtual ~ZSystem() = default;

  // The system's text for the number, with its line end; "Unbekannter Fehler <number>." when
  // the system has none.
  static ZString getErrorText(int number);

  // The variable's value, trimmed; empty when it is not set.
  static ZString getEnvironmentVariable(const ZString& name);

  // The path of a special folder, created first when create is 1; empty on failure.
  static ZString getSpecialFolderPath(int folder, int create);
};
