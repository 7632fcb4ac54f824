#include <gtest/gtest.h>

#include <string>

#include "ZEL_UTIL/ZMapStringToNum.h"
#include "ZEL_UTIL/ZMapStringToString.h"
#include "tests/support/ZStringBytes.h"

namespace {


}  // namespace

TEST(ZMapStringToString, SetReplacesOrAppendsWithCaseSensitiveKeys) {
  ZMapStringToString map;
  EXPECT_STREQ(map.className(), "ZMapStringToString");
  EXPECT_EQ(map.set("Port", "COM3"), 1);
  EXPECT_EQ(map.set("Port", "COM4"), 0);
  EXPECT_EQ(map.getCount(), 1);
  EXPECT_EQ(map.find("Port"), 0);
  EXPECT_EQ(map.find("port"), -1);
  EXPECT_EQ(bytesOf(map.get("Port")), "COM4");
  ZString out("unchanged");
  EXPECT_FALSE(map.lookup("port", out));
  EXPECT_EQ(bytesOf(out), "unchanged");
  EXPECT_TRUE(map.lookup("Port", out));
  EXPECT_EQ(bytesOf(out), "COM4");
}

TEST(ZMapStringToString, MissingKeysGetTheDefaultValueAndOnlyInsertOrIndexAddThem) {
  ZMapStringToString map;
  map.defaultValue = "none";
  EXPECT_EQ(bytesOf(map.get("x")), "none");
  EXPECT_EQ(map.getCount(), 0);
  map.get("x", true) += "!";
  EXPECT_EQ(bytesOf(map.get("x")), "none!");
  EXPECT_EQ(bytesOf(map.defaultValue), "none");  // the new pair holds a copy
  map["y"] = "why";
  EXPECT_EQ(bytesOf(map["y"]), "why");
  EXPECT_EQ(bytesOf(map["z"]), "");  // a new pair by index is empty, not the default
  EXPECT_EQ(map.getCount(), 3);
}

TEST(ZMapStringToString, IndexesOutsideTheMapNeverFailHard) {
  ZMapStringToString map;
  map.set("a", "1");
  map.set("b", "2");
  ZString key, value;
  EXPECT_TRUE(map.getAt(1, key, value));
  EXPECT_EQ(bytesOf(key) + bytesOf(value), "b2");
  EXPECT_FALSE(map.getAt(2, key, value));
  EXPECT_FALSE(map.getAt(-1, key, value));
  EXPECT_EQ(bytesOf(map.getKeyAt(5)), "");
  EXPECT_EQ(&map.getKeyAt(5), &map.getKeyAt(-1));  // one shared empty key
  EXPECT_EQ(&map.getValueAt(7), &map.defaultValue);

  EXPECT_EQ(map.removeAt(2), 2);  // index == count: nothing removed
  EXPECT_EQ(map.removeAt(-3), 0);
  EXPECT_EQ(map.remove("missing"), -1);
  EXPECT_EQ(map.getCount(), 2);
  EXPECT_EQ(map.remove("a"), 1);
  EXPECT_EQ(bytesOf(map.getKeyAt(0)), "b");  // the gap is closed
  map.clear();
  EXPECT_EQ(map.getCount(), 0);
}

TEST(ZMapStringToString, TheEntriesArrayGrowsInStepsOf101Pairs) {
  ZMapStringToString map;
  EXPECT_EQ(map.getArraySize(), 0u);
  map.set("k0", "v");
  EXPECT_EQ(map.getArraySize(), 816u);
  for (int i = 1; i < 101; ++i) map.set(ZString::fromInt(i), "v");
  EXPECT_EQ(map.getArraySize(), 816u);
  map.set("k101", "v");
  EXPECT_EQ(map.getCount(), 102);
  EXPECT_EQ(map.getArraySize(), 1624u);
  // The array shrinks again when more than 1200 bytes would be spare: at 52 pairs.
  while (map.getCount() > 53) map.removeAt(0);
  EXPECT_EQ(map.getArraySize(), 1624u);
  map.removeAt(0);
  EXPECT_EQ(map.getArraySize(), 8u * 52 + 808);
  EXPECT_EQ(bytesOf(map.getKeyAt(51)), "k101");

  ZMapStringToString copy(map);  // copies are deep
  copy.getValueAt(0) = "changed";
  EXPECT_EQ(bytesOf(map.getValueAt(0)), "v");
}

TEST(ZMapStringToString, TextFormsAndExpansion) {
  ZMapStringToString map;
  EXPECT_EQ(bytesOf(map.toText("=", "\r\n")), "");
  map.set("NAME", "World");
  map.set("X", "%NAME%");
  EXPECT_EQ(bytesOf(map.toText("=", "&")), "NAME=World&X=%NAME%");
  EXPECT_EQ(bytesOf(map.expand("Hello %NAME%! %NAME%?", "%", "%")), "Hello World! World?");
  // Pair by pair, in order: a value put in by a later pair is not expanded again.
  EXPECT_EQ(bytesOf(map.expand("%X%", "%", "%")), "%NAME%");
}

TEST(ZMapStringToString, ParseText) {
  const struct {
    const char* text;
    int result;
    const char* pairs;  // the map afterwards, as toText("=", "&")
  } cases[] = {
      {"a=1&b=2", 2, "a=1&b=2"},
      {"a=1&b&c", -1, "a=1"},         // a piece without a key separator stops it
      {"a=1&b", -1, "a=1"},           // also as the last piece
      {"a=1&", 1, "a=1"},             // an empty last piece makes no pair
      {"", 0, ""},
      {"k=v=w&k=2", 2, "k=2"},         // cut at the first key separator; a key set twice
      {"=empty&x=", 2, "=empty&x="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ZMapStringToString map;
    EXPECT_EQ(map.parseText(c.text, "&", "=", true), c.result);
    EXPECT_EQ(bytesOf(map.toText("=", "&")), c.pairs);
  }
  ZMapStringToString map;
  map.set("old", "1");
  EXPECT_EQ(map.parseText("k::v;;", ";;", "::", false), 1);  // separators of several characters
  EXPECT_EQ(bytesOf(map.toText("=", "&")), "old=1&k=v");
  EXPECT_EQ(map.parseText("a=1", "", "=", true), -1);
  EXPECT_EQ(map.getCount(), 0);
}

TEST(ZMapStringToNum, NumbersWithTheirDefaultAndThousandsDots) {
  ZMapStringToNum map;
  EXPECT_STREQ(map.className(), "ZMapStringToNum");
  EXPECT_EQ(map.get("missing"), 0);  // a defined default
  EXPECT_EQ(map.getValueAt(3), 0);
  EXPECT_EQ(map.set("a", 5), 1);
  EXPECT_EQ(map.set("b", 1234567), 1);
  EXPECT_EQ(map.set("a", 5), 0);
  map["c"] += 1500;
  map.defaultValue = -1;
  EXPECT_EQ(map.get("d", true), -1);
  EXPECT_EQ(bytesOf(map.toText("=", "\r\n")), "a=5\r\nb=1.234.567\r\nc=1.500\r\nd=-1");
  int value = 0;
  EXPECT_TRUE(map.lookup("b", value));
  EXPECT_EQ(value, 1234567);
  EXPECT_EQ(map.remove("b"), 1);
  EXPECT_EQ(bytesOf(map.getKeyAt(1)), "c");
  EXPECT_EQ(bytesOf(map.getKeyAt(9)), "");
  map.set("k0", 0);
  EXPECT_EQ(map.getArraySize(), 816u);
}
