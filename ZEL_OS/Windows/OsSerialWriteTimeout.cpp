#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsSerialWriteTimeout.h"

namespace zos {

int serialWriteTimedOutError() { return ERROR_TIMEOUT; }

}  // namespace zos
