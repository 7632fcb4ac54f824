#include <cerrno>

#include "ZEL_OS/OsError.h"

namespace zos {

int captureLastError() {
  int number = errno;
  setLastError(number);
  return number;
}

}  // namespace zos
