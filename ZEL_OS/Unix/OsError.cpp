#include <cerrno>
#include <cstring>
#include <string>

#include "ZEL_OS/OsError.h"

namespace zos {

namespace {
// GNU and XSI strerror_r differ in their result; both overloads pick the text.
[[maybe_unused]] const char* pickText(const char* result, const char*) { return result; }
[[maybe_unused]] const char* pickText(int result, const char* buffer) { return result == 0 ? buffer : ""; }
}  // namespace

int captureLastError() {
  int number = errno;
  setLastError(number);
  return number;
}

std::string errorText(int number) {
  char buffer[256] = {0};
  std::string text = pickText(strerror_r(number, buffer, sizeof buffer), buffer);
  // The C library names numbers it does not know "Unknown error N": that is no text of the system.
  if (text.empty() || text.compare(0, 14, "Unknown error ") == 0) return std::string();
  return text;
}

}  // namespace zos
