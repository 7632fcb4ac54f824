#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsClock.h"
#include "ZEL_OS/Windows/WinThreadEnd.h"

namespace zos {

std::uint32_t tickCount() { return timeGetTime(); }

void sleepMs(unsigned milliseconds) {
  // A thread of this layer sleeps in a wait for its end request, so that terminateThread can end it there.
  HANDLE endRequest = win::threadEndRequest();
  if (!endRequest) {
    Sleep(milliseconds);
    return;
  }
  if (WaitForSingleObject(endRequest, milliseconds) == WAIT_OBJECT_0) win::endThreadOnRequest();
}

std::uint64_t processCpuTimeUs() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto toUnits = [](const FILETIME& t) {
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return (toUnits(kernel) + toUnits(user)) / 10;  // FILETIME counts 100 ns units
}

bool localTime(std::int64_t seconds, std::tm& out) {
  __time64_t value = seconds;
  if (_localtime64_s(&out, &value) != 0) {
    out = std::tm{};
    return false;
  }
  return true;
}

}  // namespace zos
