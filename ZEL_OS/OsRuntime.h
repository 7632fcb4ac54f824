// The runtime functions whose exact behaviour the library relies on. The Windows side calls the
// runtime library; the POSIX side rebuilds the same results.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "ZEL_OS/OsTypes.h"

namespace zos {

// Formats at most count characters into buffer. Returns the number of characters written, or -1
// when the text did not fit; the buffer then holds its first count characters. A terminator is
// written only when there is room for it: a text of exactly count characters has none.
int vsnprintf(char* buffer, std::size_t count, const char* format, va_list args);

// The digits of value in radix (2 to 36, lower-case letters) into buffer (at least 34 bytes).
// Radix 10 writes negative values with a '-'; every other radix reads the value as unsigned.
char* ltoa(std::int32_t value, char* buffer, int radix);

// value with digits significant digits into buffer (at least digits + 10 bytes), in fixed or
// exponent notation, whichever the runtime chooses.
char* gcvt(double value, int digits, char* buffer);

// ASCII case mapping in place up to the terminator; other bytes stay.
char* strupr(char* text);
char* strlwr(char* text);

// Compares two texts with ASCII letters folded; the sign of the result tells the order.
int stricmp(const char* left, const char* right);

// The leading decimal number of text (after blanks, with a sign), 0 if there is none.
std::int32_t atol(const char* text);
double atof(const char* text);

// Converts between the ANSI code page and UTF-16. length is the number of input units to convert
// (terminator included if the caller wants one); at most capacity units are written. Returns the
// number of units written, 0 on failure. Characters the code page lacks become '?'.
int multiByteToWide(const char* text, int length, WideChar* out, int capacity);
int wideToMultiByte(const WideChar* text, int length, char* out, int capacity);

}  // namespace zos
