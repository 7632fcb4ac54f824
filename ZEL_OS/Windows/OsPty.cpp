// Pseudo-terminals exist on the POSIX side only: the programmer simulator is a Linux tool, and a
// Windows program under Wine reaches its pseudo-terminal as a COM port. Every call fails here.
#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsPty.h"

namespace zos {

namespace {
void notSupported() { setLastError(ERROR_NOT_SUPPORTED); }
}  // namespace

Handle ptyOpenMaster(char* path, int pathSize) {
  if (path && pathSize > 0) path[0] = '\0';
  notSupported();
  return nullptr;
}

Handle ptyOpenTerminal(const char*, int) {
  notSupported();
  return nullptr;
}

PtyWaitResult ptyWaitReadable(Handle, int) {
  notSupported();
  return PtyWaitResult::failed;
}

int ptyRead(Handle, void*, int) {
  notSupported();
  return -1;
}

int ptyWrite(Handle, const void*, int, int) {
  notSupported();
  return -1;
}

bool ptyDiscardInput(Handle) {
  notSupported();
  return false;
}

bool ptyGetLineSettings(Handle, PtyLineSettings&) {
  notSupported();
  return false;
}

void ptyInterrupt(Handle) {}

void ptyClose(Handle) {}

}  // namespace zos
