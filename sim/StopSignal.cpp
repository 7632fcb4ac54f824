#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "ZEL_OS/OsError.h"
#include "sim/StopSignal.h"

namespace sim {

using zos::captureLastError;
using zos::setLastError;

namespace {

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

bool blockStopSignals() {
  sigset_t set = stopSignals();
  int result = pthread_sigmask(SIG_BLOCK, &set, nullptr);
  if (result != 0) {
    setLastError(result);
    return false;
  }
  return true;
}

int waitForStopSignal() {
  sigset_t set = stopSignals();
  int number = 0;
  int result = sigwait(&set, &number);
  if (result != 0) {
    setLastError(result);
    return 0;
  }
  return number;
}

bool sendStopSignal() {
  if (kill(getpid(), SIGTERM) != 0) {
    captureLastError();
    return false;
  }
  return true;
}

}  // namespace sim
