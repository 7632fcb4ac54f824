#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsConsole.h"

#include <cstdio>
#include <cstdlib>

#include "ZEL_OS/OsError.h"

namespace zos {

namespace {

bool isConsole(DWORD which) {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

bool writeStdout(const void* data, std::size_t length) {
  // Binary mode: the texts' bytes go out unchanged, "\n" stays one byte as on every platform.
  static const int binaryMode = _setmode(_fileno(stdout), _O_BINARY);
  (void)binaryMode;
  bool written = std::fwrite(data, 1, length, stdout) == length;
  return std::fflush(stdout) == 0 && written;
}

int readKey() {
  if (isConsole(STD_INPUT_HANDLE)) return _getch();
  unsigned char byte;
  DWORD got = 0;
  if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &got, nullptr)) {
    captureLastError();
    return KeyEndOfInput;
  }
  return got == 1 ? byte : KeyEndOfInput;
}

void clearScreen() {
  std::fflush(stdout);
  std::system("cls");
}

bool stdoutIsTerminal() { return isConsole(STD_OUTPUT_HANDLE); }

bool localeUsesUtf8() { return false; }

}  // namespace zos
