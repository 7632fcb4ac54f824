// The error number of the last failing call into the OS layer, per thread. Each OS function that
// fails takes the system's number right where the call failed (GetLastError or errno) with
// captureLastError, so a caller may still read it after other calls have run.
#pragma once
#include <string>

namespace zos {

// The number captured by the last failing OS-layer call of this thread (0 if none).
int lastError();

// Stores a number as this thread's last error (used where the layer itself decides a failure).
void setLastError(int number);

// Reads the system's own last-error number now, stores it as above, and returns it.
int captureLastError();

// The system's own description of an error number, with the system's own line ends; empty
// when it has none.
std::string errorText(int number);

}  // namespace zos
