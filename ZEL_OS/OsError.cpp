#include "ZEL_OS/OsError.h"

namespace zos {

namespace {
thread_local int lastErrorNumber = 0;
}

int lastError() { return lastErrorNumber; }

void setLastError(int number) { lastErrorNumber = number; }

}  // namespace zos
