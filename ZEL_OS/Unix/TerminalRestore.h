// The terminal settings that a key read has changed, kept where a signal handler can put them
// back before the process ends at once. Everything here is async-signal-safe.
#pragma once
#include <signal.h>

namespace zos {
namespace posix {

// Puts back the terminal settings from before the key read, if a key read has them changed.
void restoreTerminalNow();

// Whether the cancel signals are caught at the moment (the key read then leaves them alone).
bool cancelSignalsCaught();

// The cancel signals (interrupt, terminate, hang-up) as a set, for masks and waits.
sigset_t cancelSignalSet();

}  // namespace posix
}  // namespace zos
