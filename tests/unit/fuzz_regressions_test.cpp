// Inputs that the fuzz targets (fuzz/) found to break a parser, kept as tests of their own so that
// every build checks them, natively and under Wine.
#include <gtest/gtest.h>

#include "ZEL_UTIL/ZMapStringToString.h"
#include "ZEL_UTIL/ZString.h"

namespace {

// Overlapping separators once gave the value a negative length, which the substring rules read
// as "all but the last characters": the value swallowed the rest of the text.
TEST(FuzzRegressions, ParseTextWithOverlappingSeparators) {
  struct Case {
    const char *text, *pairSeparator, *keySeparator;
    int result;
    const char *key, *value;  // the first pair
  };
  const Case cases[] = {
      // The pair separator begins where the key separator does.
      {"a==1=b", "==", "=", 1, "a", "=1=b"},
      {"=1&b\xFF\xFF\xFF\xFF" "a=1", "\xFF\xFF\xFF\xFF", "\xFF", 1, "=1&b", "\xFF\xFF\xFF" "a=1"},
      // The pair separator begins inside the key separator.
      {"xab1bkab2", "b", "ab", 2, "x", "1"},
  };
  for (const Case& c : cases) {
    ZMapStringToString map;
    EXPECT_EQ(map.parseText(c.text, c.pairSeparator, c.keySeparator, true), c.result) << c.text;
    EXPECT_STREQ(map.getKeyAt(0).getBuffer(), c.key) << c.text;
    EXPECT_STREQ(map.getValueAt(0).getBuffer(), c.value) << c.text;
  }
}

}  // namespace
