// The error number for a serial write that its time-out cut short. The system reports such a
// write as a success that took fewer bytes; the port reports it as a failure with this number.
#pragma once

namespace zos {

// Windows: ERROR_TIMEOUT. POSIX: ETIMEDOUT.
int serialWriteTimedOutError();

}  // namespace zos
