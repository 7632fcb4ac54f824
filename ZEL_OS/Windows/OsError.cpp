#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsError.h"

namespace zos {

int captureLastError() {
  int number = static_cast<int>(GetLastError());
  setLastError(number);
  return number;
}

}  // namespace zos
