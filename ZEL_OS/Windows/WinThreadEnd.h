// The end request of a thread this layer created: terminateThread sets it, and the waits of this
// layer wait for it beside what they wait for, so that the thread ends at a wait, where it is in
// none of the system's libraries and holds none of their locks.
#pragma once
#include "ZEL_OS/Windows/WinApi.h"

namespace zos {
namespace win {

// The calling thread's end request event, 0 on a thread this layer did not create.
HANDLE threadEndRequest();

// Ends the calling thread after its end request was seen (ExitThread, exit code 0).
[[noreturn]] void endThreadOnRequest();

}  // namespace win
}  // namespace zos
