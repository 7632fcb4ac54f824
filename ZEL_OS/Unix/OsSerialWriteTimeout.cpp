#include "ZEL_OS/OsSerialWriteTimeout.h"

#include <cerrno>

namespace zos {

int serialWriteTimedOutError() { return ETIMEDOUT; }

}  // namespace zos
