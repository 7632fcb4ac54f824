// A string's bytes as a std::string, for comparing them in tests (a ZString may hold zero bytes).
#pragma once
#include <cstddef>
#include <string>

#include "ZEL_UTIL/ZString.h"

inline std::string bytesOf(const ZString& text) {
  return std::string(text.getBuffer(), static_cast<std::size_t>(text.getLength()));
}
