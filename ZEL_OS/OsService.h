// The system's service manager. On Windows the service control manager; on POSIX systemd,
// driven through its command-line program (KALMO_SYSTEMCTL names it, else "systemctl" on PATH),
// with new units written to /etc/systemd/system (KALMO_SYSTEMD_UNIT_DIR overrides it). Handles
// are opaque; on POSIX a service handle holds the unit's name ("name.service" for a plain name).
// Access rights are the Windows values; the POSIX side does not check them.
#pragma once
#include "ZEL_OS/OsTypes.h"

namespace zos {

// Access rights and values, as the Windows service control manager defines them.
constexpr unsigned serviceGenericRead = 0x80000000u;
constexpr unsigned scmCreateService = 0x0002;
constexpr unsigned scmEnumerateService = 0x0004;
constexpr unsigned serviceChangeConfig = 0x0002;
constexpr unsigned serviceQueryStatus = 0x0004;
constexpr unsigned serviceStartRight = 0x0010;
constexpr unsigned serviceStopRight = 0x0020;
constexpr unsigned servicePauseContinue = 0x0040;
constexpr unsigned serviceInterrogate = 0x0080;
constexpr unsigned serviceUserDefinedControl = 0x0100;
constexpr unsigned serviceDeleteRight = 0x00010000u;
constexpr unsigned serviceStandardRightsRequired = 0x000F0000u;

constexpr unsigned serviceControlStop = 1;
constexpr unsigned serviceControlPause = 2;
constexpr unsigned serviceControlContinue = 3;
constexpr unsigned serviceControlInterrogate = 4;
constexpr unsigned serviceControlParamChange = 6;

constexpr unsigned serviceStateStopped = 1;
constexpr unsigned serviceStateStartPending = 2;
constexpr unsigned serviceStateStopPending = 3;
constexpr unsigned serviceStateRunning = 4;

constexpr unsigned serviceWin32OwnProcess = 0x10;
constexpr unsigned serviceWin32 = 0x30;
constexpr unsigned serviceAutoStart = 2;
constexpr unsigned serviceDemandStart = 3;
constexpr unsigned serviceDisabled = 4;
constexpr unsigned serviceErrorNormal = 1;
constexpr unsigned serviceActive = 1;
constexpr unsigned serviceInactive = 2;
constexpr unsigned serviceStateAll = 3;

// Connects to the manager; null or empty machine and database mean the local machine and its
// active database. 0 on failure (lastError() says why).
Handle scmOpen(const char* machine, const char* database, unsigned access);

// Opens a service by name; 0 on failure (a service that does not exist included).
Handle serviceOpen(Handle scm, const char* name, unsigned access);

// Closes a manager or a service handle.
bool serviceCloseHandle(Handle handle);

// The service's current state (serviceState... values).
bool serviceQueryState(Handle service, unsigned& currentState);

bool serviceStart(Handle service, unsigned argumentCount, const char** arguments);

// Sends a control code. POSIX: stop stops the unit, pause and continue send SIGSTOP and SIGCONT
// to its processes, interrogate reads its state, parameter change reloads it; other codes fail.
bool serviceControl(Handle service, unsigned code);

bool serviceSetDescription(Handle service, const char* description);

// Marks the service for deletion (POSIX: removes the unit file this layer may write).
bool serviceDelete(Handle service);

// Creates a service; null or empty optional texts pass as none. tagId may be null. Returns the
// new service's handle, 0 on failure.
Handle serviceCreate(Handle scm, const char* name, const char* displayName, unsigned access,
                     unsigned serviceType, unsigned startType, unsigned errorControl,
                     const char* binaryPath, const char* loadOrderGroup, unsigned* tagId,
                     const char* dependencies, const char* account, const char* password);

enum class ServiceEnumResult { failed, complete, moreData };

// One call of the enumeration of services matching the type and state masks into the buffer.
// moreData: the buffer took what fit (count entries) and bytesNeeded tells the size for the rest;
// a second call with the same resume value continues after them.
ServiceEnumResult serviceEnumerate(Handle scm, unsigned serviceType, unsigned serviceState,
                                   void* buffer, unsigned bufferSize, unsigned& bytesNeeded,
                                   unsigned& count, unsigned& resume);

// The name of entry index of an enumeration buffer.
const char* serviceEnumName(const void* buffer, unsigned index);

}  // namespace zos
