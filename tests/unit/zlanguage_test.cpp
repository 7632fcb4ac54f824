#include "ZEL_UTIL/ZLanguage.h"
#include "tests/support/ZStringBytes.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {


// Marked texts: marker, key, marker, default text.
const std::string M = "\xB3\xB3";
std::string marked(const std::string& key, const std::string& defaultText) { return M + key + M + defaultText; }

// A language source as the caller hands it over. (Built as std::string: a ZString of the marker
// alone would itself be translated into an empty text.)
ZString source(const std::string& text) { return ZString(text.c_str(), static_cast<int>(text.size())); }

TEST(ZLanguageTranslate, UnmarkedNullAndEmptyTextsPassUntouched) {
  ZLanguage table;
  const char* texts[] = {"plain", "\xB3" "x", "a\xB3\xB3" "b", ""};
  for (const char* text : texts) {
    for (int given : {-1, static_cast<int>(std::strlen(text))}) {
      int length = given;
      EXPECT_EQ(table.translate(text, &length), text) << text;
      EXPECT_EQ(length, given) << text;
    }
  }
  int length = 5;
  EXPECT_EQ(table.translate(nullptr, &length), nullptr);
  EXPECT_EQ(length, 5);
  EXPECT_EQ(bytesOf(table.missingTexts), "");
}

TEST(ZLanguageTranslate, UnknownKeyGivesDefaultTextAndIsNoted) {
  ZLanguage table;
  std::string text = marked("greet", "Hallo Welt");
  int length = static_cast<int>(text.size());
  const char* result = table.translate(text.c_str(), &length);
  EXPECT_STREQ(result, "Hallo Welt");
  EXPECT_EQ(length, static_cast<int>(text.size()) - 2 - 5 - 2);
  EXPECT_EQ(bytesOf(table.missingTexts), "greet\xB3\xB3" "Hallo Welt\r\n");

  length = -1;
  EXPECT_STREQ(table.translate(text.c_str(), &length), "Hallo Welt");
  EXPECT_EQ(length, 10);
  EXPECT_EQ(bytesOf(table.missingTexts), "greet\xB3\xB3" "Hallo Welt\r\ngreet\xB3\xB3" "Hallo Welt\r\n");
}

TEST(ZLanguageTranslate, WithoutClosingMarkerTheFirstMarkerIsDropped) {
  ZLanguage table;
  std::string text = M + "no close";
  int length = static_cast<int>(text.size());
  EXPECT_STREQ(table.translate(text.c_str(), &length), "no close");
  EXPECT_EQ(length, 8);
  length = -1;
  EXPECT_STREQ(table.translate(text.c_str(), &length), "no close");
  EXPECT_EQ(length, -1);  // an unknown length stays unknown
  // Only the caller's part of the text counts: a closing marker behind it is not seen.
  std::string longer = marked("k", "default");
  length = 4;
  EXPECT_EQ(table.translate(longer.c_str(), &length), longer.c_str() + 2);
  EXPECT_EQ(length, 2);
  EXPECT_EQ(bytesOf(table.missingTexts), "");
}

TEST(ZLanguageTranslate, InactiveTableTranslatesNothing) {
  ZLanguage table;
  table.active = 0;
  std::string text = marked("k", "d");
  int length = -1;
  EXPECT_EQ(table.translate(text.c_str(), &length), text.c_str());
  EXPECT_EQ(length, -1);
}

TEST(ZLanguageLoad, EntriesAreFoundByKeyPrefix) {
  ZLanguage table;
  ZString entries = source("abc=x" + M + "greet=Hello" + M + "bare" + M + "greet=second");
  EXPECT_EQ(table.load(entries), 1);
  EXPECT_EQ(entries.getLength(), 0);
  EXPECT_EQ(bytesOf(table.loadErrors), "");

  struct Case {
    std::string key, defaultText, expected;
  };
  const Case cases[] = {
      {"ab", "y", "x"},            // a stored key that begins with the requested one matches
      {"abc", "y", "x"},
      {"abcd", "y", "y"},          // a longer requested key does not
      {"greet", "Hallo", "Hello"}, // the first of two equal keys wins
      {"bare", "d", ""},           // an entry without "=" has an empty text
      {"zzz", "fallback", "fallback"},
  };
  for (const Case& c : cases) {
    std::string text = marked(c.key, c.defaultText);
    int length = static_cast<int>(text.size());
    EXPECT_STREQ(table.translate(text.c_str(), &length), c.expected.c_str()) << c.key;
    EXPECT_EQ(length, static_cast<int>(c.expected.size())) << c.key;
  }
  EXPECT_EQ(bytesOf(table.missingTexts), "abcd\xB3\xB3y\r\nzzz\xB3\xB3" "fallback\r\n");
}

TEST(ZLanguageLoad, AreasAreFittedToTheirContents) {
  ZLanguage table;
  ZString entries = source("a=bc" + M + "key=");
  table.load(entries);
  EXPECT_EQ(table.getIndexAreaSize(), 16);
  EXPECT_EQ(table.getKeyAreaSize(), 3 + 5 + 1);  // "a" and "key", each with its marker, then a zero
  EXPECT_EQ(table.getTextAreaSize(), 3 + 1);     // "bc" and "" with their terminators

  ZString more("z=9");
  table.load(more);  // a second load appends behind the first
  EXPECT_EQ(table.getIndexAreaSize(), 24);
  EXPECT_EQ(table.getKeyAreaSize(), 9 + 3 + 1);
  EXPECT_EQ(table.getTextAreaSize(), 4 + 2);
  std::string text = marked("z", "-");
  int length = -1;
  EXPECT_STREQ(table.translate(text.c_str(), &length), "9");
  text = marked("a", "-");
  length = -1;
  EXPECT_STREQ(table.translate(text.c_str(), &length), "bc");
}

TEST(ZLanguageLoad, EmptyKeysAreReportedWithTheirEntryNumber) {
  ZLanguage table;
  ZString entries = source("; a comment\na=b" + M + "=x");
  table.load(entries);
  EXPECT_EQ(bytesOf(table.loadErrors), "ZLanguage::load(..) Eintrag Nr. 3 hat einen leeren Schl\xFC" "ssel.\r\n");
  EXPECT_EQ(table.getIndexAreaSize(), 8);

  ZLanguage single;
  ZString only("=x");
  single.load(only);
  EXPECT_EQ(bytesOf(single.loadErrors), "ZLanguage::load(..) Eintrag Nr. 1 hat einen leeren Schl\xFC" "ssel.\r\n");
  EXPECT_EQ(single.getIndexAreaSize(), 0);

  // Comments with '#', leading blanks before entries, and blanks at the very end.
  ZLanguage mixed;
  ZString text = source("# note\n  k=v" + M + " \r\n");
  mixed.load(text);
  EXPECT_EQ(bytesOf(mixed.loadErrors), "");
  std::string key = marked("k", "-");
  int length = -1;
  EXPECT_STREQ(mixed.translate(key.c_str(), &length), "v");
}

TEST(ZLanguageLoad, WorksWhileAnotherTableServesTheStrings) {
  ZLanguage first;
  ZLanguage second;  // strings now go through this one
  ZString entries = source("k=" + M + "x" + M + "j=v");
  first.load(entries);
  std::string key = marked("k", "-");
  int length = -1;
  EXPECT_STREQ(first.translate(key.c_str(), &length), "");  // the text ends at the separator
  key = marked("x", "-");
  length = -1;
  EXPECT_STREQ(first.translate(key.c_str(), &length), "");
  key = marked("j", "-");
  length = -1;
  EXPECT_STREQ(first.translate(key.c_str(), &length), "v");
  EXPECT_EQ(ZString::languageTable, &second);
  EXPECT_EQ(bytesOf(second.missingTexts), "");
}

TEST(ZLanguageLoad, ClearResetsOnlyATableThatHoldsSomething) {
  ZLanguage fresh;
  std::string text = marked("k", "d");
  int length = -1;
  fresh.translate(text.c_str(), &length);
  fresh.languageCode = "en";
  fresh.clear();
  EXPECT_EQ(bytesOf(fresh.missingTexts), "k\xB3\xB3" "d\r\n");
  EXPECT_EQ(bytesOf(fresh.languageCode), "en");

  ZLanguage loaded;
  ZString entries("=x");
  loaded.load(entries);
  loaded.translate(text.c_str(), &length);
  loaded.languageCode = "en";
  loaded.clear();
  EXPECT_EQ(bytesOf(loaded.missingTexts), "");
  EXPECT_EQ(bytesOf(loaded.loadErrors), "");
  EXPECT_EQ(bytesOf(loaded.languageCode), "de");
  EXPECT_EQ(loaded.getKeyAreaSize(), 0);
  EXPECT_EQ(loaded.getIndexAreaSize(), 0);
}

TEST(ZLanguageStrings, EveryStoreGoesThroughTheTable) {
  ZLanguage* before = ZString::languageTable;
  {
    ZLanguage table;
    EXPECT_EQ(ZString::languageTable, &table);
    EXPECT_STREQ(table.getClassName(), "ZLanguage");
    EXPECT_EQ(bytesOf(table.languageCode), "de");

    std::string text = marked("greet", "Hallo");
    EXPECT_EQ(bytesOf(ZString(text.c_str())), "Hallo");
    ZString entries("greet=Hello");
    table.load(entries);
    ZString s(text.c_str());
    EXPECT_EQ(bytesOf(s), "Hello");
    s = text.c_str();
    EXPECT_EQ(bytesOf(s), "Hello");
    s += text.c_str();
    EXPECT_EQ(bytesOf(s), "HelloHello");
    std::string formatText = marked("fmt", "%d St\xFC" "ck");
    s.format(formatText.c_str(), 3);
    EXPECT_EQ(bytesOf(s), "3 St\xFC" "ck");
    s.assign(text.c_str(), 5);  // only marker and the first letters: no closing marker in them
    EXPECT_EQ(bytesOf(s), "gre");

    ZString single('\xB3');  // one character is no text to translate
    EXPECT_EQ(single.getAt(0), static_cast<signed char>('\xB3'));
    ZString unmarked("x\xB3\xB3y");
    EXPECT_EQ(bytesOf(unmarked), "x\xB3\xB3y");
    {
      ZLanguage inner;
      EXPECT_EQ(ZString::languageTable, &inner);
    }
    EXPECT_EQ(ZString::languageTable, &table);
  }
  EXPECT_EQ(ZString::languageTable, before);
}

}  // namespace
