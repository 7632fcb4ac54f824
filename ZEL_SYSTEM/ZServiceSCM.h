// ZServiceSCM: one connection to the system's service manager, open for the life of the object.
#pragma once

#include "ZEL_OS/OsTypes.h"
#include "ZEL_UTIL/ZString.h"

class ZServiceSCM {
 public:
  // The local machine's manager, its active database, for reading.
  ZServiceSCM();
  // An empty machine or database name means the local machine or the active database.
  ZServiceSCM(unsigned access, const ZString& machine, const ZString& database);
  ZServiceSCM(const ZServiceSCM&) = delete;
  ZServiceSCM& operator=(const ZServiceSCM&) = delete;

  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZServiceSCM"; }
  virtual ~ZServiceSCM();

  // The connection, 0 if it could not be made.
  zos::Handle getHandle() const { return handle; }

  zos::Handle handle = nullptr;
};
