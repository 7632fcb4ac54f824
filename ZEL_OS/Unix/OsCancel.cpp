// The cancel signals on POSIX: SIGINT, SIGTERM and SIGHUP. The handler only stores the number;
// the run looks at it between its exchanges. A second signal ends the process at once, with the
// terminal of a key read put back first, and the status 128 + its number.
#include "ZEL_OS/OsCancel.h"

#include <signal.h>
#include <unistd.h>

#include "ZEL_OS/Unix/TerminalRestore.h"

namespace zos {

namespace {

const int cancelSignals[] = {SIGINT, SIGTERM, SIGHUP};
const int cancelSignalCount = sizeof cancelSignals / sizeof cancelSignals[0];

volatile sig_atomic_t received = 0;
volatile sig_atomic_t caught = 0;
struct sigaction handlersBefore[cancelSignalCount];

void onCancelSignal(int number) {
  if (received != 0) {
    posix::restoreTerminalNow();
    _exit(128 + number);
  }
  received = number;
}

}  // namespace

namespace posix {

bool cancelSignalsCaught() { return caught != 0; }

sigset_t cancelSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int number : cancelSignals) sigaddset(&set, number);
  return set;
}

}  // namespace posix

void catchCancelSignals() {
  if (caught) return;
  received = 0;
  struct sigaction cancelling {};
  cancelling.sa_handler = onCancelSignal;
  // The other cancel signals wait while the handler runs, so two that come together still count
  // as first and second.
  cancelling.sa_mask = posix::cancelSignalSet();
  cancelling.sa_flags = SA_RESTART;
  for (int i = 0; i < cancelSignalCount; ++i) sigaction(cancelSignals[i], &cancelling, &handlersBefore[i]);
  caught = 1;
}

void releaseCancelSignals() {
  if (!caught) return;
  for (int i = 0; i < cancelSignalCount; ++i) sigaction(cancelSignals[i], &handlersBefore[i], nullptr);
  caught = 0;
}

int cancelSignal() { return received; }

bool sendCancelSignal() { return raise(SIGINT) == 0; }

}  // namespace zos
