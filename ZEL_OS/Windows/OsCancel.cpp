// The cancel events on Windows: the console's Ctrl-C, Ctrl-Break and close. The console calls the
// handler on a thread of its own; it only stores the event, and the run looks at it between its
// exchanges. A second event ends the process at once. After a close event the process ends as
// soon as the handler returns, so the handler waits (bounded) until the run has finished.
#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsCancel.h"

namespace zos {

namespace {

// Every console event counts as Ctrl-C, so that the exit status is 130 as on POSIX.
const LONG consoleEventNumber = 2;
// Windows ends a process about 5 s after a close event whatever its handler does.
const DWORD closeWaitMs = 4500;

volatile LONG received = 0;

// Set by releaseCancelSignals: the run has finished and written its last line.
struct RunFinished {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ~RunFinished() {
    if (event) CloseHandle(event);
  }
};

RunFinished& runFinished() {
  static RunFinished finished;
  return finished;
}

void endAtOnce() { TerminateProcess(GetCurrentProcess(), 128 + consoleEventNumber); }

BOOL WINAPI onConsoleEvent(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
  if (InterlockedCompareExchange(&received, consoleEventNumber, 0) != 0) endAtOnce();
  if (type == CTRL_CLOSE_EVENT) {
    if (runFinished().event) WaitForSingleObject(runFinished().event, closeWaitMs);
    endAtOnce();
  }
  return TRUE;
}

bool caught = false;

}  // namespace

void catchCancelSignals() {
  if (caught) return;
  InterlockedExchange(&received, 0);
  if (runFinished().event) ResetEvent(runFinished().event);
  caught = SetConsoleCtrlHandler(onConsoleEvent, TRUE) != 0;
}

void releaseCancelSignals() {
  if (!caught) return;
  SetConsoleCtrlHandler(onConsoleEvent, FALSE);
  if (runFinished().event) SetEvent(runFinished().event);
  caught = false;
}

int cancelSignal() { return static_cast<int>(InterlockedCompareExchange(&received, 0, 0)); }

bool sendCancelSignal() {
  if (GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) return true;
  // A process whose console cannot take the event (a test run with its output in pipes) gets a
  // console of its own, on which it is the only process.
  FreeConsole();
  return AllocConsole() && GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
}

}  // namespace zos
