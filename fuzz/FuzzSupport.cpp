#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>

#include "ZEL_OS/OsMessageBox.h"

namespace fuzzsupport {

namespace {
std::size_t shownBoxes = 0;

int countBox(zos::WindowHandle, const char*, const char*, unsigned) {
  ++shownBoxes;
  return zos::messageBoxAnswerOk;
}
}  // namespace

void quietLibrary() { zos::setMessageBoxHook(countBox); }

std::size_t boxesShown() { return shownBoxes; }

void check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "property violated: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

std::string withoutZeros(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  for (char& c : text) {
    if (c == '\0') c = '\x01';
  }
  return text;
}

}  // namespace fuzzsupport
