#include "ZEL_OS/OsCancel.h"

namespace zos {

void catchCancelSignals() {}

void releaseCancelSignals() {}

int cancelSignal() { return 0; }

}  // namespace zos
