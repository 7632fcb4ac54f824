#include "ZEL_OS/OsClock.h"

#include <poll.h>

#include <cerrno>
#include <ctime>

#include "ZEL_OS/Unix/PosixWait.h"

namespace zos {

std::uint32_t tickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                     static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);  // keeps the low 32 bits: the count wraps like the Windows one
}

void sleepMs(unsigned milliseconds) {
  if (posix::endRequestFd() >= 0) {
    // A thread of this layer sleeps in a wait, so that terminateThread can end it there.
    std::int64_t deadline = posix::deadlineAfter(milliseconds);
    for (;;) {
      pollfd watched{posix::endRequestFd(), POLLIN, 0};
      int ready = poll(&watched, 1, posix::pollTimeoutUntil(deadline));
      if (ready < 0 && errno == EINTR) continue;
      if (ready > 0) posix::endThreadIfRequested(watched);
      return;
    }
  }
  timespec rest{};
  rest.tv_sec = milliseconds / 1000;
  rest.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  // A signal may cut the sleep short; go on sleeping for what is left.
  while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

std::uint64_t processCpuTimeUs() {
  timespec used{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
  return static_cast<std::uint64_t>(used.tv_sec) * 1000000u +
         static_cast<std::uint64_t>(used.tv_nsec) / 1000u;
}

bool localTime(std::int64_t seconds, std::tm& out) {
  tzset();  // localtime_r, unlike localtime, need not look at TZ again by itself
  time_t value = static_cast<time_t>(seconds);
  if (localtime_r(&value, &out) == nullptr) {
    out = std::tm{};
    return false;
  }
  return true;
}

}  // namespace zos
