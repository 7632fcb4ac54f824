#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <vector>

#include "ZEL_OS/OsRuntime.h"

namespace zos {

int vsnprintf(char* buffer, std::size_t count, const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  int needed = std::vsnprintf(buffer, count, format, args);
  if (needed >= 0 && static_cast<std::size_t>(needed) < count) {
    va_end(again);
    return needed;
  }
  // The C library always terminates and so drops the last character; format again in full to hand
  // out count characters as the Windows runtime does.
  if (needed >= 0 && count > 0) {
    std::vector<char> full(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(full.data(), full.size(), format, again);
    std::memcpy(buffer, full.data(), count);
  }
  va_end(again);
  if (needed < 0) return -1;
  return static_cast<std::size_t>(needed) == count ? needed : -1;
}

char* ltoa(std::int32_t value, char* buffer, int radix) {
  if (radix < 2 || radix > 36) {
    buffer[0] = '\0';
    return buffer;
  }
  char digits[40];
  int n = 0;
  bool negative = radix == 10 && value < 0;
  std::uint32_t rest = negative ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  do {
    unsigned digit = rest % static_cast<unsigned>(radix);
    digits[n++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
    rest /= static_cast<unsigned>(radix);
  } while (rest != 0);
  char* out = buffer;
  if (negative) *out++ = '-';
  while (n > 0) *out++ = digits[--n];
  *out = '\0';
  return buffer;
}

char* gcvt(double value, int digits, char* buffer) {
  std::snprintf(buffer, static_cast<std::size_t>(digits) + 10, "%.*g", digits, value);
  return buffer;
}

char* strupr(char* text) {
  for (char* p = text; *p != '\0'; ++p)
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  return text;
}

char* strlwr(char* text) {
  for (char* p = text; *p != '\0'; ++p)
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
  return text;
}

int stricmp(const char* left, const char* right) { return strcasecmp(left, right); }

std::int32_t atol(const char* text) {
  long value = std::strtol(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

double atof(const char* text) { return std::strtod(text, nullptr); }

namespace {
// Windows-1252 from 0x80 to 0x9F; the five unassigned bytes map to the control characters of
// the same number, as the Windows tables do. All other bytes equal their code point.
const WideChar high1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

WideChar toWide1252(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F ? high1252[byte - 0x80] : static_cast<WideChar>(byte);
}

char fromWide1252(WideChar unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<char>(unit);
  for (int i = 0; i < 32; ++i)
    if (high1252[i] == unit) return static_cast<char>(0x80 + i);
  return '?';
}
}  // namespace

int multiByteToWide(const char* text, int length, WideChar* out, int capacity) {
  if (text == nullptr || length < 0 || out == nullptr || length > capacity) return 0;
  for (int i = 0; i < length; ++i) out[i] = toWide1252(static_cast<unsigned char>(text[i]));
  return length;
}

int wideToMultiByte(const WideChar* text, int length, char* out, int capacity) {
  if (text == nullptr || length < 0 || out == nullptr || length > capacity) return 0;
  for (int i = 0; i < length; ++i) out[i] = fromWide1252(text[i]);
  return length;
}

}  // namespace zos
