#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsError.h"

namespace zos {

int captureLastError() {
  int number = static_cast<int>(GetLastError());
  setLastError(number);
  return number;
}

std::string errorText(int number) {
  char* text = nullptr;
  // From the system's message table, in the neutral language with the user's sublanguage.
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                                static_cast<DWORD>(number), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result;
  if (length != 0 && text != nullptr) result.assign(text, length);
  if (text != nullptr) LocalFree(text);
  return result;
}

}  // namespace zos
