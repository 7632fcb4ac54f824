// The separators of a path: both "\" and "/" separate its parts, on every system, since names
// given in either form reach the library.
#pragma once
#include "ZEL_UTIL/ZString.h"

class ZPath {
 public:
  static bool isSeparator(int ch) { return ch == '\\' || ch == '/'; }
  // The position of the last "\" or "/", -1 if there is none.
  static int lastSeparator(const ZString& path) {
    int backslash = path.reverseFindChar('\\');
    int slash = path.reverseFindChar('/');
    return backslash > slash ? backslash : slash;
  }
};
