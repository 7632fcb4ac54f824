#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsRuntime.h"

namespace zos {

int vsnprintf(char* buffer, std::size_t count, const char* format, va_list args) {
  return ::_vsnprintf(buffer, count, format, args);
}

char* ltoa(std::int32_t value, char* buffer, int radix) { return ::_ltoa(value, buffer, radix); }

char* gcvt(double value, int digits, char* buffer) { return ::_gcvt(value, digits, buffer); }

char* strupr(char* text) { return ::_strupr(text); }

char* strlwr(char* text) { return ::_strlwr(text); }

int stricmp(const char* left, const char* right) { return ::_stricmp(left, right); }

std::int32_t atol(const char* text) { return static_cast<std::int32_t>(::atol(text)); }

double atof(const char* text) { return ::atof(text); }

int multiByteToWide(const char* text, int length, WideChar* out, int capacity) {
  return MultiByteToWideChar(CP_ACP, 0, text, length, reinterpret_cast<wchar_t*>(out), capacity);
}

int wideToMultiByte(const WideChar* text, int length, char* out, int capacity) {
  return WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(text), length, out, capacity,
                             nullptr, nullptr);
}

}  // namespace zos
