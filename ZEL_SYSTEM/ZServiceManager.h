// ZServiceManager: the service operations by service name. Each operation opens a short-lived
// manager connection, opens the service through it and keeps only the service handle (at most
// one, replaced by the next operation, closed by closeService and the destructor).
// Results: 1 (or nonzero) for success, 0 for failure; the system's last error stays readable.
#pragma once

#include "ZEL_OS/OsTypes.h"
#include "ZEL_UTIL/ZString.h"
#include "ZEL_UTIL/ZStringList.h"

class ZServiceManager {
 public:
  ZServiceManager() = default;
  ZServiceManager(const ZServiceManager&) = delete;
  ZServiceManager& operator=(const ZServiceManager&) = delete;

  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZServiceManager"; }
  virtual ~ZServiceManager();

  void closeService();
  // Opens the named service with the rights and keeps its handle.
  int openService(const ZString& name, unsigned access);

  // 1 if the service exists and can be opened for reading; keeps no handle.
  int isInstalled(const ZString& name);
  // 1 if the service's state is "running" (not start pending, paused or any other).
  int isRunning(const ZString& name);
  int startService(const ZString& name, unsigned argumentCount, const char** arguments);
  int stopService(const ZString& name);
  int controlService(const ZString& name, int code);
  int setDescription(const ZString& name, const ZString& text);
  // Marks the service for deletion; after a success no handle is kept.
  int deleteService(const ZString& name);

  // Creates a service and keeps its handle; shows the system's error in a box on failure.
  // Empty texts for the group, the dependencies, the account and the password pass as none;
  // a tag id of 0 as none.
  int CreateService(const ZString& name, const ZString& displayName, unsigned desiredAccess,
                    unsigned serviceType, unsigned startType, unsigned errorControl,
                    const ZString& binaryPath, const ZString& loadOrderGroup, int tagId,
                    const ZString& dependencies, const ZString& account, const ZString& password);
  // An own-process service that starts disabled, with every optional value left out.
  int CreateService(const ZString& name, const ZString& displayName, const ZString& binaryPath);

  // Appends the names of the services that match the type and state masks; returns the list's
  // count afterwards.
  int enumServices(ZStringList& list, unsigned serviceType, unsigned serviceState);

  // The right a control code needs.
  static unsigned accessForControl(int code);

  zos::Handle service = nullptr;
};
