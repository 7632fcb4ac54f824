// The stop signals belong to the POSIX side (the programmer simulator); here every call fails.
#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsStopSignal.h"

namespace zos {

bool blockStopSignals() {
  setLastError(ERROR_NOT_SUPPORTED);
  return false;
}

int waitForStopSignal() {
  setLastError(ERROR_NOT_SUPPORTED);
  return 0;
}

bool sendStopSignal() {
  setLastError(ERROR_NOT_SUPPORTED);
  return false;
}

}  // namespace zos
