#include "ZEL_UTIL/ZString.h"

#include <string>

#include <gtest/gtest.h>

#include "ZEL_OS/OsVariant.h"
#include "ZEL_UTIL/ZAssert.h"
#include "tests/support/ZStringBytes.h"

namespace {


TEST(ZStringCapacity, AssignKeepsCloseBlocksAndRefitsOthers) {
  ZString s;
  EXPECT_EQ(s.getCapacity(), 10);
  EXPECT_EQ(s.getLength(), 0);
  EXPECT_STREQ(s.getBuffer(), "");
  EXPECT_EQ(s.getBufferOrNull(), nullptr);

  s = "abcdefg";
  EXPECT_EQ(s.getCapacity(), 10);
  s = "abcdefgh";
  EXPECT_EQ(s.getCapacity(), 108);
  s = "x";
  EXPECT_EQ(s.getCapacity(), 101);
  EXPECT_EQ(bytesOf(s), "x");
  s = "";
  EXPECT_EQ(s.getCapacity(), 100);
}

TEST(ZStringCapacity, SingleCharacterGetsTwoBytes) {
  ZString c('q');
  EXPECT_EQ(c.getCapacity(), 2);
  EXPECT_EQ(bytesOf(c), "q");
  c += 'r';  // 1 + 1 + 1 >= 2: grows to 1 + 1 + 100
  EXPECT_EQ(c.getCapacity(), 102);
  EXPECT_EQ(bytesOf(c), "qr");
}

TEST(ZStringCapacity, AppendInsertAndRepeatGrowWithSlack) {
  ZString s("abc");
  EXPECT_EQ(s.getCapacity(), 10);
  s.append("defghi");  // 6 + 3 + 1 = 10 >= 10
  EXPECT_EQ(s.getCapacity(), 109);
  EXPECT_EQ(bytesOf(s), "abcdefghi");

  ZString t("abc");
  t.append("def", 2);
  EXPECT_EQ(bytesOf(t), "abcde");
  EXPECT_EQ(t.getCapacity(), 10);
  t.append("xyz", -1);
  EXPECT_EQ(bytesOf(t), "abcdexyz");
  t.append("1234", 9);  // a count beyond the text means all of it
  EXPECT_EQ(bytesOf(t), "abcdexyz1234");

  ZString u("ab");
  u.insert(1, "1234567");  // 7 + 2 + 1 >= 10
  EXPECT_EQ(bytesOf(u), "a1234567b");
  EXPECT_EQ(u.getCapacity(), 109);

  ZString r("a");
  EXPECT_EQ(r.appendRepeated("xy", 4), 9);
  EXPECT_EQ(bytesOf(r), "axyxyxyxy");
  EXPECT_EQ(r.getCapacity(), 10);  // 9 + 1 fits
  r.appendRepeated("z", 1);
  EXPECT_EQ(r.getCapacity(), 110);
  EXPECT_EQ(r.appendRepeated("z", 0), 10);
}

TEST(ZStringStore, CopiesAreDeepAndSelfStoresAreSafe) {
  ZString a("hello");
  ZString b(a);
  b.setAt(0, 'j');
  EXPECT_EQ(bytesOf(a), "hello");
  EXPECT_EQ(bytesOf(b), "jello");

  a = a;
  EXPECT_EQ(bytesOf(a), "hello");
  a += a;
  EXPECT_EQ(bytesOf(a), "hellohello");
  a.insert(5, a);
  EXPECT_EQ(bytesOf(a), "hellohellohellohello");
  a.appendRepeated(a, 1);
  EXPECT_EQ(a.getLength(), 40);

  // A store from inside the string's own block, with the block shrinking on the way.
  ZString long_("0123456789012345678901234567890123456789");
  long_ = long_.getBuffer() + 30;
  EXPECT_EQ(bytesOf(long_), "0123456789");
  EXPECT_EQ(long_.getCapacity(), 110);

  ZString n(static_cast<const char*>(nullptr));
  EXPECT_EQ(n.getLength(), 0);
  ZString withZero("a\0b", 3);
  EXPECT_EQ(withZero.getLength(), 3);
}

TEST(ZStringStore, NumbersAndCharacters) {
  ZString s;
  s = -12345;
  EXPECT_EQ(bytesOf(s), "-12345");
  s += 67;
  EXPECT_EQ(bytesOf(s), "-1234567");
  s = 'Z';
  EXPECT_EQ(bytesOf(s), "Z");
  EXPECT_EQ(s.getCapacity(), 10);  // stored with = under the general rule, not in a 2-byte block

  s = 3.25;
  EXPECT_EQ(s.toDouble(), 3.25);
  s = 1.0 / 3.0;  // ten significant digits
  EXPECT_NEAR(s.toDouble(), 0.3333333333, 1e-12);
  EXPECT_NE(std::string(s.getBuffer()).find("3333333333"), std::string::npos);
  EXPECT_EQ(std::string(s.getBuffer()).find("33333333333"), std::string::npos);
  s.precision = 3;
  s = 2.71828;
  EXPECT_NEAR(s.toDouble(), 2.72, 1e-9);
  s.precision = 1000;  // counts as 100
  s = 1e300;
  EXPECT_DOUBLE_EQ(s.toDouble(), 1e300);
}

TEST(ZStringSubstring, MidLeftRight) {
  struct Case {
    int start, count;
    const char* expected;
  };
  const ZString s("abcdef");
  const Case cases[] = {
      {0, 6, "abcdef"}, {2, 2, "cd"},  {2, -1, "cde"}, {2, -5, ""}, {7, 2, ""},     {6, 2, ""},
      {4, 10, "ef"},    {-2, 1, "e"},  {-9, 2, "ab"},  {0, 0, ""},  {5, 1, "f"},    {1, -2, "bcd"},
  };
  for (const Case& c : cases) EXPECT_EQ(bytesOf(s.mid(c.start, c.count)), c.expected) << c.start << "," << c.count;

  EXPECT_EQ(bytesOf(s.mid(-3)), "def");
  EXPECT_EQ(bytesOf(s.mid(2)), "cdef");
  EXPECT_EQ(bytesOf(s.mid(-10)), "abcdef");
  EXPECT_EQ(bytesOf(s.mid(7)), "");
  EXPECT_EQ(bytesOf(s.left(0)), "");
  EXPECT_EQ(bytesOf(s.left(2)), "ab");
  EXPECT_EQ(bytesOf(s.left(9)), "abcdef");
  EXPECT_EQ(bytesOf(ZString("abc").right(0)), "abc");
  EXPECT_EQ(bytesOf(ZString("abc").right(5)), "abc");
  EXPECT_EQ(bytesOf(ZString("abc").right(2)), "bc");
}

TEST(ZStringSubstring, NextTokenCutsAtTheFirstSeparator) {
  ZString s("a,b");
  EXPECT_EQ(bytesOf(s.nextToken(",")), "a");
  EXPECT_EQ(bytesOf(s), "b");
  EXPECT_EQ(bytesOf(s.nextToken(",")), "b");
  EXPECT_EQ(bytesOf(s), "");

  ZString t("key::value::rest");
  EXPECT_EQ(bytesOf(t.nextToken("::")), "key");
  EXPECT_EQ(bytesOf(t), "value::rest");
  ZString u("abc");
  EXPECT_EQ(bytesOf(u.nextToken("")), "abc");  // an empty separator never matches
  EXPECT_EQ(bytesOf(u), "");
}

TEST(ZStringEdit, RemoveAndInsertPositions) {
  struct RemoveCase {
    int pos, count;
    const char* expected;
  };
  const RemoveCase removals[] = {{1, 2, "adef"}, {4, -1, "abcd"}, {3, 10, "abc"}, {-1, 2, "abcdef"},
                                 {6, 1, "abcdef"}, {0, 1, "bcdef"}, {5, 1, "abcde"}};
  for (const RemoveCase& c : removals) {
    ZString s("abcdef");
    s.remove(c.pos, c.count);
    EXPECT_EQ(bytesOf(s), c.expected) << c.pos << "," << c.count;
    EXPECT_EQ(s.getLength(), static_cast<int>(std::string(c.expected).size()));
  }
  struct InsertCase {
    int pos;
    const char* expected;
  };
  const InsertCase inserts[] = {{0, "XYabc"}, {1, "aXYbc"}, {3, "abcXY"}, {9, "abcXY"}, {-1, "abXYc"},
                                {-3, "XYabc"}, {-4, "abc"}};
  for (const InsertCase& c : inserts) {
    ZString s("abc");
    s.insert(c.pos, "XY");
    EXPECT_EQ(bytesOf(s), c.expected) << c.pos;
  }
}

TEST(ZStringEdit, ReplaceCountsAndPasses) {
  struct Case {
    const char* text;
    const char* search;
    const char* replacement;
    bool repeat;
    const char* expected;
    int count;
  };
  const Case cases[] = {
      {"aXa", "a", "bb", false, "bbXbb", 2},       // longer replacement: built anew
      {"aaaa", "aa", "a", true, "a", 3},           // shorter, with further passes
      {"aaaa", "aa", "a", false, "aa", 2},
      {"abcabc", "bc", "XY", false, "aXYaXY", 2},  // equal lengths: in place
      {"abab", "ab", "", false, "", 2},
      {"xyz", "q", "r", true, "xyz", 0},
      {"xyz", "", "r", false, "xyz", 0},
      {"aa", "a", "aa", false, "aaaa", 2},         // replaced text is not searched again
      {"aa", "a", "ba", true, "baba", 2},          // a replacement holding the search text: one pass
      {"aab", "ab", "ba", true, "baa", 2},         // equal lengths, with further passes
      {"abb", "ab", "bbaa", true, "bbaab", 1},     // longer: a pass makes new occurrences, one pass only
      {"a\r\nb\r\n", "\r\n", "\r\n\t", false, "a\r\n\tb\r\n\t", 2},
  };
  for (const Case& c : cases) {
    ZString s(c.text);
    EXPECT_EQ(s.replace(c.search, c.replacement, c.repeat), c.count) << c.text << " " << c.search;
    EXPECT_EQ(bytesOf(s), c.expected) << c.text << " " << c.search;
  }
}

TEST(ZStringEdit, TrimTreatsControlBytesAsBlanksButNotHighBytes) {
  ZString s(" \t abc \r\n");
  s.trim();
  EXPECT_EQ(bytesOf(s), "abc");
  ZString high("\xA0" "abc\xA0");
  high.trim();
  EXPECT_EQ(bytesOf(high), "\xA0" "abc\xA0");
  ZString left("  a b  ");
  left.trimLeft();
  EXPECT_EQ(bytesOf(left), "a b  ");
  left.trimRight();
  EXPECT_EQ(bytesOf(left), "a b");
  ZString blank(" \x01\x1F ");
  blank.trim();
  EXPECT_EQ(blank.getLength(), 0);
}

TEST(ZStringEdit, CaseMappingKnowsTheUmlauts) {
  ZString s("gr\xF6\xDF" "e \xE4\xFC");  // größe äü
  s.makeUpper();
  EXPECT_EQ(bytesOf(s), "GR\xD6\xDF" "E \xC4\xDC");  // GRÖßE ÄÜ: ß stays
  ZString t("\xC4\xD6\xDC" "ABC\xDF");
  t.makeLower();
  EXPECT_EQ(bytesOf(t), "\xE4\xF6\xFC" "abc\xDF");
  ZString other("\xC9\xE9");  // É é: no umlauts, left alone
  other.makeUpper();
  EXPECT_EQ(bytesOf(other), "\xC9\xE9");
}

TEST(ZStringEdit, HtmlEncodeAndUrlDecode) {
  ZString s("a<b & \xFC");
  s.htmlEncode();
  EXPECT_EQ(bytesOf(s), "a&lt;b &amp; &uuml;");

  struct Entity {
    char ch;
    const char* text;
  };
  const Entity entities[] = {{'"', "&quot;"},    {'&', "&amp;"},     {'\'', "&prime;"},  {'<', "&lt;"},
                             {'>', "&gt;"},      {'\xC4', "&Auml;"}, {'\xD6', "&Ouml;"}, {'\xDC', "&Uuml;"},
                             {'\xDF', "&szlig;"}, {'\xE4', "&auml;"}, {'\xF6', "&ouml;"}, {'\xFC', "&uuml;"},
                             {'x', "x"},         {'\xE9', "\xE9"}};
  for (const Entity& e : entities) EXPECT_EQ(bytesOf(ZString::htmlEntity(e.ch)), e.text);

  struct Url {
    const char* text;
    std::string expected;
  };
  const Url urls[] = {{"a%20b", "a b"},  {"%41%4a%4A", "AJJ"}, {"100%", "100%"}, {"x%4", "x%4"},
                      {"%e4", "\xE4"}, {"a+b", "a+b"},
                      // "%%4" has two characters after the %: read as hexadecimal they give 0.
                      {"%%41", std::string("\0" "1", 2)}};
  for (const Url& u : urls) {
    ZString d(u.text);
    d.urlDecode();
    EXPECT_EQ(bytesOf(d), u.expected) << u.text;
  }
}

TEST(ZStringRead, GetAtAndSetAtStayInside) {
  ZString s("a\xE4");
  EXPECT_EQ(s.getAt(0), 'a');
  EXPECT_EQ(s.getAt(1), -28);  // 0xE4 as a signed byte
  EXPECT_EQ(s.getAt(-1), 0);
  EXPECT_EQ(s.getAt(2), 0);
  EXPECT_TRUE(s.setAt(1, 'b'));
  EXPECT_FALSE(s.setAt(2, 'c'));
  EXPECT_FALSE(s.setAt(-1, 'c'));
  EXPECT_EQ(bytesOf(s), "ab");
}

TEST(ZStringRead, ToIntForms) {
  struct Case {
    const char* text;
    int value;
  };
  const Case cases[] = {
      {"#FF8000", 0x000080FF}, {"#123456x", 0x00563412}, {"#12345", 0},  // too short for a colour: atol
      {"0x1A", 26},            {"0X1A", 0},              {"0xffffffff", -1},      {"0x1ffffffff", -1},
      {"0b101", 5},            {"0b1012", 5},            {"42abc", 42},           {"0x", 0},
      {"  -17", -17},          {"", 0},                  {"0x7fZ", 127},
  };
  for (const Case& c : cases) EXPECT_EQ(ZString(c.text).toInt(), c.value) << c.text;
  EXPECT_DOUBLE_EQ(ZString("2.5e3").toDouble(), 2500.0);
}

TEST(ZStringRead, FromIntGroupsAndPads) {
  struct Case {
    int value;
    bool group;
    int radix, width;
    const char* expected;
  };
  const Case cases[] = {
      {1234567, true, 10, 0, "1.234.567"}, {999, true, 10, 0, "999"},         {-5000, true, 10, 0, "-5000"},
      {5000, true, 10, 6, "005.000"},      {255, false, 16, 4, "00ff"},      {1000, true, 10, 0, "1.000"},
      {1000000000, true, 10, 0, "1.000.000.000"}, {-1, false, 16, 0, "ffffffff"}, {5, false, 2, 0, "101"},
      {0, false, 10, 3, "000"},            {-5, false, 10, 4, "-005"},       {12345, false, 10, 3, "12345"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(bytesOf(ZString::fromInt(c.value, c.group, c.radix, c.width)), c.expected) << c.value;
}

TEST(ZStringSearch, FindAndReverseFind) {
  const ZString s("abcabc");
  EXPECT_EQ(s.find("bc"), 1);
  EXPECT_EQ(s.find("bc", 2), 4);
  EXPECT_EQ(s.find("bc", -5), 1);
  EXPECT_EQ(s.find("bc", 6), -1);
  EXPECT_EQ(s.find("BC"), -1);
  EXPECT_EQ(s.find("BC", 0, true), 1);
  EXPECT_EQ(s.find("cab", 0, true), 2);
  EXPECT_EQ(s.findChar('c'), 2);
  EXPECT_EQ(s.findChar('c', 3), 5);
  EXPECT_EQ(s.findChar('z'), -1);
  EXPECT_EQ(s.reverseFind("bc"), 4);
  EXPECT_EQ(s.reverseFind("AB", true), 3);
  EXPECT_EQ(s.reverseFind("abcabcd"), -1);
  EXPECT_EQ(s.reverseFindChar('a'), 3);
  EXPECT_EQ(s.reverseFindChar('z'), -1);
}

TEST(ZStringSearch, UmlautsFoldInSearchButNotInCompare) {
  ZString upper("\xC4" "b");  // Äb
  ZString lower("\xE4" "b");  // äb
  EXPECT_NE(upper.compare(lower, true), 0);
  EXPECT_EQ(ZString("X\xC4").find("\xE4", 0, true), 1);
  EXPECT_EQ(ZString("X\xC4Y\xC4").reverseFind("\xE4", true), 3);
  EXPECT_TRUE(ZString("\xC4rger").startsWith("\xE4R", true));
  EXPECT_EQ(ZString("ABC").compare("abc", true), 0);
  EXPECT_LT(ZString("abc").compare("abd"), 0);
  EXPECT_GT(ZString("b").compare("abc"), 0);
}

TEST(ZStringSearch, ARuntimeSearchAndTheCaseMappingStopAtAZeroByte) {
  const char raw[] = {'b', '\xE4', '\0', 'c', '\xE4', 'b'};
  ZString text(raw, 6);
  EXPECT_EQ(text.getLength(), 6);
  EXPECT_EQ(text.findChar('c'), -1);
  EXPECT_EQ(text.reverseFindChar('b'), 0);
  EXPECT_EQ(text.find("c"), -1);
  text.makeUpper();
  EXPECT_EQ(bytesOf(text), std::string("B\xC4\0c\xE4" "b", 6));
}

TEST(ZStringSearch, StartsAndEndsWith) {
  const ZString s("abc");
  EXPECT_TRUE(s.startsWith(""));
  EXPECT_FALSE(s.endsWith(""));
  EXPECT_TRUE(ZString("").endsWith(""));
  EXPECT_TRUE(s.startsWith("ab"));
  EXPECT_FALSE(s.startsWith("AB"));
  EXPECT_TRUE(s.startsWith("AB", true));
  EXPECT_TRUE(s.endsWith("bc"));
  EXPECT_TRUE(s.endsWith("BC", true));
  EXPECT_FALSE(s.endsWith("abcd"));
  EXPECT_FALSE(s.startsWith("abcd"));
}

TEST(ZStringCompare, OperatorsCompareTexts) {
  ZString a("abc");
  EXPECT_TRUE(a == "abc");
  EXPECT_TRUE("abc" == a);
  EXPECT_TRUE(a != "abd");
  EXPECT_TRUE(a < ZString("abd"));
  EXPECT_TRUE(a <= ZString("abc"));
  EXPECT_TRUE(ZString("b") > a);
  EXPECT_TRUE(a >= ZString("abc"));
  EXPECT_EQ(bytesOf(ZString("ab") + ZString("cd")), "abcd");
}

TEST(ZStringFormat, WindowsGrowByTenAndNothingIsLost) {
  ZString s;
  EXPECT_EQ(s.format("%d-%s", 7, "x"), 3);
  EXPECT_EQ(bytesOf(s), "7-x");
  EXPECT_EQ(s.getCapacity(), 1001);

  std::string big(5000, 'q');
  EXPECT_EQ(s.format("%s", big.c_str()), 5000);
  EXPECT_EQ(bytesOf(s), big);
  EXPECT_EQ(s.getCapacity(), 10001);

  // Exactly the window: the runtime writes no terminator, the string still ends there.
  std::string exact(1000, 'e');
  s = "a long text that was here before";
  EXPECT_EQ(s.format("%s", exact.c_str()), 1000);
  EXPECT_EQ(bytesOf(s), exact);
  EXPECT_EQ(s.getCapacity(), 1001);

  ZString head("head:");
  EXPECT_EQ(head.appendFormat("%05d", 42), 10);
  EXPECT_EQ(bytesOf(head), "head:00042");
  EXPECT_EQ(head.getCapacity(), 5 + 1000 + 1);
  head.appendFormat("%s", big.c_str());
  EXPECT_EQ(head.getLength(), 5010);
  EXPECT_EQ(head.getCapacity(), 10 + 10000 + 1);
}

TEST(ZStringFormat, ArgumentsMayPointIntoTheString) {
  ZString s("abc");
  s.format("%s-%s", s.getBuffer(), s.getBuffer());
  EXPECT_EQ(bytesOf(s), "abc-abc");
  s.appendFormat("+%s", s.getBuffer());
  EXPECT_EQ(bytesOf(s), "abc-abc+abc-abc");
}

TEST(ZStringFormat, ResultBeyondTheLastWindowIsCut) {
  std::string huge(1500000, 'h');
  ZString s;
  EXPECT_EQ(s.format("%s", huge.c_str()), 1000000);
  EXPECT_EQ(bytesOf(s), huge.substr(0, 1000000));
  EXPECT_EQ(s.getCapacity(), 1000001);
}

TEST(ZStringWide, ToWideUsesTheAnsiCodePage) {
  ZString s("a\xE4\x80\xFC");  // a ä € ü
  const zos::WideChar* wide = s.toWide();
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(wide[0], u'a');
  EXPECT_EQ(wide[1], 0x00E4);
  EXPECT_EQ(wide[2], 0x20AC);
  EXPECT_EQ(wide[3], 0x00FC);
  EXPECT_EQ(wide[4], 0);
  EXPECT_EQ(s.getWideCapacity(), s.getCapacity() * 2);
  s.toWide();  // a second copy replaces the first
  EXPECT_EQ(s.getWideCapacity(), s.getCapacity() * 2);
  s.assignBstr(nullptr);
  EXPECT_EQ(s.getWideCapacity(), 0);
  EXPECT_EQ(s.getLength(), 0);
}

TEST(ZStringWide, BstrIsConvertedToOneBytePerCharacter) {
  const zos::WideChar text[] = {u'G', 0x00FC, u't', 0x20AC, u'!'};
  zos::Bstr bstr = zos::allocBstr(text, 5);
  ASSERT_NE(bstr, nullptr);
  EXPECT_EQ(zos::bstrLength(bstr), 5u);
  ZString s(bstr);
  EXPECT_EQ(bytesOf(s), "G\xFCt\x80!");
  EXPECT_EQ(s.getCapacity(), 6);
  zos::freeBstr(bstr);

  zos::Bstr empty = zos::allocBstr(nullptr, 0);
  s.assignBstr(empty);
  EXPECT_EQ(s.getLength(), 0);
  zos::freeBstr(empty);
}

TEST(ZStringWide, VariantsBecomeText) {
  zos::Variant v;
  zos::variantInit(v);
  EXPECT_EQ(bytesOf(ZString(v)), "");
  zos::setVariantInt(v, -42);
  EXPECT_EQ(bytesOf(ZString(v)), "-42");
  zos::setVariantDouble(v, 2.5);
  EXPECT_EQ(bytesOf(ZString(v)), "2.5");
  zos::setVariantBool(v, true);
  EXPECT_EQ(bytesOf(ZString(v)), "-1");
  zos::setVariantBool(v, false);
  EXPECT_EQ(bytesOf(ZString(v)), "0");
  const zos::WideChar text[] = {u'o', u'k', 0x00E4};
  zos::setVariantBstr(v, text, 3);
  EXPECT_EQ(zos::variantType(v), zos::VariantType::bstr);
  ZString s;
  s.assignVariant(v);
  EXPECT_EQ(bytesOf(s), "ok\xE4");
  EXPECT_EQ(zos::variantType(v), zos::VariantType::bstr);  // the source is left as it was
  zos::variantClear(v);
  EXPECT_EQ(zos::variantType(v), zos::VariantType::empty);
}

TEST(ZStringClass, NameAndVirtualTable) {
  ZString s;
  EXPECT_STREQ(s.getClassName(), "ZString");
  EXPECT_STREQ(s.className(), "ZString");
}

TEST(ZStringDeathTest, AssertionNamesExpressionAndSource) {
  EXPECT_DEATH(zelAssertFailed("pBuffer", "ZEL_UTIL/ZString", 77),
               "Assertion failed: pBuffer, file ZEL_UTIL/ZString, line 77");
}

}  // namespace
