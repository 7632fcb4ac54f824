#include "ZEL_UTIL/ZStringList.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/MessageBoxCapture.h"
#include "tests/support/ZStringBytes.h"

namespace {


std::vector<std::string> itemsOf(ZStringList& list) {
  std::vector<std::string> items;
  for (int i = 0; i < list.getCount(); ++i) items.push_back(bytesOf(list.getAt(i)));
  return items;
}

ZStringList listOf(const std::vector<std::string>& items) {
  ZStringList list;
  for (const std::string& item : items) list.add(item.c_str());
  return list;
}

std::string indexMessage(const char* operation, int index, int last) {
  return std::string("Fehler in der Liste: ZStringList.") + operation +
         "(..)\r\nEs wurde ein Element au\xDF" "erhalb des Bereiches angefordert.\r\nAngefordert wurde: " +
         std::to_string(index) + "\r\nm\xF6" "glich ist: 0..." + std::to_string(last);
}

using Items = std::vector<std::string>;

TEST(ZStringListArray, GrowsAtTheTenthItemAndShrinksWithSlack) {
  ZStringList list;
  EXPECT_EQ(list.getArraySize(), 40u);
  for (int i = 0; i < 9; ++i) list.addEmpty();
  EXPECT_EQ(list.getArraySize(), 40u);
  list.addEmpty();
  EXPECT_EQ(list.getArraySize(), 444u);
  while (list.getCount() < 110) list.add("x");
  EXPECT_EQ(list.getArraySize(), 444u);
  list.add("x");  // 111 items: 4 * 111 + 4 > 444
  EXPECT_EQ(list.getArraySize(), 848u);
  while (list.getCount() > 62) list.removeAt(0);
  EXPECT_EQ(list.getArraySize(), 848u);
  list.removeAt(0);  // 61 items: 848 > 4 * 61 + 600
  EXPECT_EQ(list.getArraySize(), 648u);
  list.clear();
  EXPECT_EQ(list.getCount(), 0);
}

TEST(ZStringListArray, ItemsKeepTheirPlaceWhileTheArrayMoves) {
  ZStringList list;
  list.add("first");
  ZString& first = list.getAt(0);
  for (int i = 0; i < 300; ++i) list.insertAt(0, ZString::fromInt(i));
  EXPECT_EQ(&list.getAt(300), &first);
  first = "changed";
  EXPECT_EQ(bytesOf(list.getAt(300)), "changed");
  EXPECT_EQ(bytesOf(list.getAt(0)), "299");
}

TEST(ZStringListAccess, InsertSetFindAndRemove) {
  testsupport::MessageBoxCapture boxes;
  ZStringList list;
  EXPECT_EQ(list.insertAt(0, "b"), 0);
  EXPECT_EQ(list.insertAt(0, "a"), 0);
  EXPECT_EQ(list.insertAt(2, "d"), 2);  // index = count appends
  EXPECT_EQ(list.insertAt(2, "c"), 2);
  EXPECT_EQ(itemsOf(list), (Items{"a", "b", "c", "d"}));
  EXPECT_TRUE(list.setAt(1, "B"));
  EXPECT_EQ(list.addEmpty(), 4);
  EXPECT_EQ(list.add("x"), 5);
  EXPECT_EQ(list.add("x", true), 5);
  EXPECT_EQ(list.getCount(), 6);
  EXPECT_EQ(list.find("x"), 5);
  EXPECT_EQ(list.find("c", 3), -1);
  EXPECT_EQ(list.find("c", -4), 2);
  EXPECT_EQ(list.find("b"), -1);
  list.ignoreCase = 1;
  EXPECT_EQ(list.find("b"), 1);
  EXPECT_EQ(list.add("C", true), 2);
  list.ignoreCase = 0;
  list.removeAt(4);
  EXPECT_EQ(itemsOf(list), (Items{"a", "B", "c", "d", "x"}));
  EXPECT_EQ(boxes.count(), 0u);
}

TEST(ZStringListAccess, BadIndexesAreShownThenHandled) {
  testsupport::MessageBoxCapture boxes;
  ZStringList list = listOf({"a", "b", "c"});

  EXPECT_EQ(list.insertAt(4), -1);
  EXPECT_EQ(list.insertAt(-1, "z"), -1);
  EXPECT_EQ(list.getCount(), 3);
  EXPECT_EQ(bytesOf(list.getAt(5)), "c");
  EXPECT_EQ(bytesOf(list.getAt(-2)), "a");
  EXPECT_FALSE(list.setAt(3, "z"));
  list.removeAt(3);
  list.removeAt(-1);
  EXPECT_EQ(itemsOf(list), (Items{"a", "b", "c"}));

  ASSERT_EQ(boxes.count(), 7u);
  const std::string expected[] = {indexMessage("insertAt", 4, 2), indexMessage("insertAt", -1, 2),
                                  indexMessage("getAt", 5, 2),    indexMessage("getAt", -2, 2),
                                  indexMessage("getAt", 3, 2),    indexMessage("removeAt", 3, 2),
                                  indexMessage("removeAt", -1, 2)};
  for (std::size_t i = 0; i < boxes.count(); ++i) {
    EXPECT_EQ(boxes.boxes()[i].text, expected[i]);
    EXPECT_EQ(boxes.boxes()[i].caption, "Fehler !");
    EXPECT_EQ(boxes.boxes()[i].style, 0x10u);
  }
}

TEST(ZStringListAccess, EmptyListHandsOutASpareString) {
  testsupport::MessageBoxCapture boxes;
  ZStringList list;
  ZString& spare = list.getAt(0);
  EXPECT_EQ(spare.getLength(), 0);
  spare = "written";
  EXPECT_EQ(list.getCount(), 0);
  EXPECT_EQ(list.getAt(3).getLength(), 0);  // handed out empty again
  ASSERT_EQ(boxes.count(), 2u);
  EXPECT_EQ(boxes.boxes()[0].text, indexMessage("getAt", 0, -1));
}

TEST(ZStringListEdit, RemoveEqualSwapSortJoin) {
  testsupport::MessageBoxCapture boxes;
  ZStringList list = listOf({"a", "b", "a"});
  EXPECT_EQ(list.removeEqual("a"), 2);
  EXPECT_EQ(itemsOf(list), (Items{"b"}));

  ZStringList pair = listOf({"a", "b"});
  EXPECT_EQ(bytesOf(pair.join(", ")), "a, b");
  EXPECT_EQ(bytesOf(ZStringList().join(", ")), "");
  pair.swap(0, 1);
  EXPECT_EQ(itemsOf(pair), (Items{"b", "a"}));
  pair.swap(0, 2);  // outside: nothing, and no box
  EXPECT_EQ(itemsOf(pair), (Items{"b", "a"}));
  EXPECT_EQ(pair.compareItems(0, 1), 1);
  EXPECT_EQ(pair.compareItems(1, 0), -1);
  EXPECT_EQ(pair.compareAt(0, "a"), 1);

  ZStringList three = listOf({"b", "a", "c"});
  three.sort(1);
  EXPECT_EQ(itemsOf(three), (Items{"a", "b", "c"}));
  three.sort(-1);
  EXPECT_EQ(itemsOf(three), (Items{"c", "b", "a"}));
  EXPECT_EQ(boxes.count(), 0u);
}

TEST(ZStringListEdit, SortOrdersManyItemsWithDuplicates) {
  std::vector<std::string> values;
  for (int i = 0; i < 300; ++i) values.push_back(std::to_string((i * 7919) % 101));
  ZStringList list = listOf(values);
  list.sort(1);
  std::vector<std::string> ascending = values;
  std::sort(ascending.begin(), ascending.end());
  EXPECT_EQ(itemsOf(list), ascending);
  list.sort(-1);
  std::reverse(ascending.begin(), ascending.end());
  EXPECT_EQ(itemsOf(list), ascending);

  ZStringList mixed = listOf({"b", "A", "a", "B"});
  mixed.sort(1);  // case-sensitive: upper-case letters first
  EXPECT_EQ(itemsOf(mixed), (Items{"A", "B", "a", "b"}));
}

TEST(ZStringListEdit, CopiesAreDeep) {
  ZStringList list = listOf({"a", "b"});
  ZStringList copy(list);
  copy.getAt(0) = "changed";
  copy.add("c");
  EXPECT_EQ(itemsOf(list), (Items{"a", "b"}));
  list = copy;
  EXPECT_EQ(itemsOf(list), (Items{"changed", "b", "c"}));
}

TEST(ZStringListSplit, AtASeparator) {
  struct Case {
    const char* text;
    const char* separator;
    Items items;
  };
  const Case cases[] = {
      {"a,b,,c", ",", {"a", "b", "", "c"}},
      {"", ",", {""}},
      {"a,", ",", {"a", ""}},
      {",", ",", {"", ""}},
      {"a--b--", "--", {"a", "b", ""}},
      {"abc", "", {"abc"}},  // an empty separator occurs nowhere
  };
  for (const Case& c : cases) {
    ZStringList list = listOf({"old"});
    EXPECT_EQ(list.split(c.text, c.separator), static_cast<int>(c.items.size())) << c.text;
    EXPECT_EQ(itemsOf(list), c.items) << c.text;
  }
}

TEST(ZStringListSplit, CommandLineRules) {
  struct Case {
    const char* text;
    Items items;
  };
  const Case cases[] = {
      {"  prog  -p \"COM 3\" ", {"prog", "", "-p", "COM 3"}},
      {"", {""}},
      {"\"C:\\Program Files\\tool.exe\" -b", {"C:\\Program Files\\tool.exe", "-b"}},
      {"a\tb", {"a", "b"}},
      {"\"\" x", {"", "x"}},
      {"\" padded \"", {"padded"}},
      {"say\"a b\"c d", {"say\"a b\"c", "d"}},  // quotes inside a token only keep its blanks
  };
  for (const Case& c : cases) {
    ZStringList list = listOf({"old"});
    EXPECT_EQ(list.splitQuoted(c.text), static_cast<int>(c.items.size())) << c.text;
    EXPECT_EQ(itemsOf(list), c.items) << c.text;
  }
}

TEST(ZStringListSplit, NestedBracketsAndQuoteEscape) {
  struct Case {
    const char* text;
    const char* pairs;
    bool escape;
    Items items;
  };
  const Case cases[] = {
      {"a(b,c),d", "()", false, {"a(b,c)", "d"}},
      {"[a{b,c}],d,e", "[]{}", false, {"[a{b,c}]", "d", "e"}},
      {"\"x,y\",z", "\"\"", false, {"\"x,y\"", "z"}},
      {"a',b,c", "", true, {"a',b", "c"}},
      {"a',b,c", "", false, {"a'", "b", "c"}},
      {"a,", "()", false, {"a"}},
      {",a", "()", false, {"", "a"}},
      {"(a,b", "()", false, {"(a,b"}},
  };
  for (const Case& c : cases) {
    ZStringList list = listOf({"old"});
    EXPECT_EQ(list.splitNested(c.text, ',', c.pairs, c.escape), static_cast<int>(c.items.size())) << c.text;
    EXPECT_EQ(itemsOf(list), c.items) << c.text;
  }
}

TEST(ZStringListSplit, TokensAddToTheList) {
  ZStringList list = listOf({"b"});
  EXPECT_EQ(list.splitTokens("a,b,,a,c", ",", true), 3);  // a, "" and c; b and the second a exist
  EXPECT_EQ(itemsOf(list), (Items{"b", "a", "", "c"}));
  EXPECT_EQ(list.splitTokens("x;y;", ";", false), 2);
  EXPECT_EQ(itemsOf(list), (Items{"b", "a", "", "c", "x", "y"}));
  EXPECT_EQ(list.splitTokens("", ";", false), 0);
}

TEST(ZStringListClass, Name) {
  ZStringList list;
  EXPECT_STREQ(list.getClassName(), "ZStringList");
  EXPECT_EQ(list.ignoreCase, 0);
}

}  // namespace
