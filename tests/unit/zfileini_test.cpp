#include <gtest/gtest.h>

#include <string>

#include "ZEL_SYSTEM/ZFileIni.h"
#include "ZEL_UTIL/ZMapStringToNum.h"
#include "ZEL_UTIL/ZMapStringToString.h"
#include "ZEL_UTIL/ZStringList.h"
#include "tests/support/DirectoryListing.h"
#include "tests/support/MessageBoxCapture.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZStringBytes.h"

namespace {


std::string joined(ZStringList& list) { return bytesOf(list.join("|")); }

class ZFileIniTest : public ::testing::Test {
 protected:
  // Opens an INI file holding text.
  void load(const std::string& text) {
    path = dir.write("test.ini", text);
    ASSERT_TRUE(ini.open(path.c_str(), 0, 0));
  }

  ScratchDirectory dir;
  std::string path;
  ZFileIni ini;
};

TEST_F(ZFileIniTest, ValuesAreFoundOnlyInRealHeadersAndExactKeys) {
  load("[First]\r\nkey=one\r\n  [Indented]\r\nkey=two\r\n[Other]\r\nblank =x\r\ntail=a b  \r\n"
       "empty=\r\n");
  EXPECT_EQ(bytesOf(ini.getValue("First", "key", "none")), "one");
  EXPECT_EQ(bytesOf(ini.getValue("Indented", "key", "none")), "none");
  EXPECT_EQ(bytesOf(ini.getValue("Other", "blank", "none")), "none");
  EXPECT_EQ(bytesOf(ini.getValue("Other", "tail", "none")), "a b  ");
  EXPECT_EQ(bytesOf(ini.getValue("Other", "empty", "none")), "");
  EXPECT_EQ(bytesOf(ini.getValue("Other", "key", "none")), "none") << "keys belong to their section";
  EXPECT_EQ(bytesOf(ini.getValue("first", "key", "none")), "none") << "names are case-sensitive";
  EXPECT_EQ(ini.getInt("Missing", "n", 42), 42);
}

TEST_F(ZFileIniTest, OpenEndsTheTextWithALineEnd) {
  load("[A]\r\nx=1");
  EXPECT_EQ(bytesOf(ini.content), "[A]\r\nx=1\r\n");
  EXPECT_EQ(bytesOf(ini.getValue("A", "x", "")), "1");
}

TEST_F(ZFileIniTest, SetValueChangesAddsAndRemovesLines) {
  load("[A]\r\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n");
  ini.setValue("A", "x", "100");
  ini.setValue("A", "new", "");
  ini.setValue("A", "y", "");
  ini.setInt("B", "n", -7);
  EXPECT_EQ(bytesOf(ini.content), "[A]\r\nx=100\r\nnew=\r\n[B]\r\nz=3\r\nn=-7\r\n");
  EXPECT_EQ(ini.modified, 1);
  EXPECT_EQ(ini.getInt("B", "n", 0), -7);

  ini.setValue("C", "k", "v");
  EXPECT_EQ(bytesOf(ini.content), "[A]\r\nx=100\r\nnew=\r\n[B]\r\nz=3\r\nn=-7\r\n\r\n[C]\r\nk=v\r\n")
      << "exactly one empty line before a section added by setValue";
}

TEST_F(ZFileIniTest, SectionTextIsReplacedOrAppended) {
  load("[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
  EXPECT_EQ(bytesOf(ini.getSectionText("A")), "x=1\r\n");
  EXPECT_EQ(ini.setSectionText("A", "p=1\r\nq=2"), 1);
  EXPECT_EQ(ini.setSectionText("C", "r=3"), 0);
  EXPECT_EQ(bytesOf(ini.content), "[A]\r\np=1\r\nq=2\r\n[B]\r\ny=2\r\n\r\n\r\n[C]\r\nr=3\r\n");
  EXPECT_EQ(bytesOf(ini.getSectionText("C")), "r=3\r\n");
  EXPECT_EQ(bytesOf(ini.getSectionText("Z")), "");
}

TEST_F(ZFileIniTest, EmptySectionBeforeAnotherStaysEmpty) {
  load("[Empty]\r\n[Full]\r\na=1\r\n");
  EXPECT_EQ(bytesOf(ini.getSectionText("Empty")), "");
  ZStringList keys;
  EXPECT_EQ(ini.getKeys("Empty", keys, nullptr, 1), 0);
  ini.setValue("Empty", "k", "v");
  EXPECT_EQ(bytesOf(ini.content), "[Empty]\r\nk=v\r\n[Full]\r\na=1\r\n");
}

TEST_F(ZFileIniTest, RenameSectionKeepsItsBody) {
  load("[Old]\r\na=1\r\n[Other]\r\n");
  EXPECT_EQ(ini.renameSection("Old", "Newer"), 1);
  EXPECT_EQ(ini.renameSection("Gone", "X"), 0);
  EXPECT_EQ(bytesOf(ini.content), "[Newer]\r\na=1\r\n[Other]\r\n");
}

TEST_F(ZFileIniTest, KeysValuesAndMaps) {
  load("[S]\r\n\r\n ; comment\r\n a = 1 \r\nb=two=2\r\nnoequals\r\n[T]\r\n");
  ZStringList keys, values;
  EXPECT_EQ(ini.getKeys("S", keys, &values, 1), 3);
  EXPECT_EQ(joined(keys), "a|b|");
  EXPECT_EQ(joined(values), "1|two=2|noequals");
  EXPECT_EQ(ini.getKeys("S", keys, nullptr, 0), 4);
  EXPECT_EQ(joined(keys), "; comment|a = 1|b=two=2|noequals");

  ZMapStringToString texts;
  EXPECT_EQ(ini.readSection("S", texts, 1), 3);
  EXPECT_EQ(bytesOf(texts.toText("=", ",")), "a=1,b=two=2,=noequals");
  ZMapStringToNum numbers;
  EXPECT_EQ(ini.readSection("S", numbers, 1), 3);
  EXPECT_EQ(numbers.get("a"), 1);

  ZMapStringToString written;
  written.set("Port", "COM3");
  written.set("Baud", "19200");
  EXPECT_EQ(ini.writeSection("T", written), 1);
  EXPECT_EQ(bytesOf(ini.getSectionText("T")), "Port=COM3\r\nBaud=19200\r\n");
}

// A line without "=" has no key; its value is the whole line, not the line less its first character.
TEST_F(ZFileIniTest, ALineWithoutEqualsIsKeptWholeAsAValueWithoutKey) {
  load("[S]\r\nxnoequals\r\n");
  ZStringList keys, values;
  EXPECT_EQ(ini.getKeys("S", keys, &values, 1), 1);
  EXPECT_EQ(joined(keys), "");
  EXPECT_EQ(joined(values), "xnoequals");
  ZMapStringToString texts;
  EXPECT_EQ(ini.readSection("S", texts, 1), 1);
  EXPECT_EQ(bytesOf(texts.get("")), "xnoequals");
}

TEST_F(ZFileIniTest, SectionNamesByPattern) {
  load("[ComPort]\r\na=1\r\n[ComPort2]\r\n[Last]\r\nb=2\r\n[Other]\r\n[PortCom]\r\n");
  ZStringList names, texts;
  EXPECT_EQ(ini.getSectionNames(names, "Com*|Last", &texts), 3);
  EXPECT_EQ(joined(names), "ComPort|ComPort2|Last");
  EXPECT_EQ(joined(texts), "a=1||b=2");
  EXPECT_EQ(ini.getSectionNames(names, "*Com|Last|*", nullptr), 5);
  EXPECT_EQ(joined(names), "PortCom|Last|ComPort|ComPort2|Other");
  EXPECT_EQ(ini.getSectionNames(names, "Other||Last", nullptr), 1) << "an empty alternative ends";
}

TEST_F(ZFileIniTest, ListsKeepTheNewestEntriesUpToTheirLimit) {
  load("[Recent]\r\nmaxEntries=3\r\nc\r\nb\r\na\r\n");
  ini.addToList("Recent", "b=2");
  ZStringList list;
  EXPECT_EQ(ini.getList("Recent", list), 3);
  EXPECT_EQ(joined(list), "b=2|c|a");
  EXPECT_EQ(bytesOf(ini.getSectionText("Recent")), "maxEntries=3\r\nb=2\r\nc\r\na\r\n");

  ini.addToList("Recent", "d");
  ini.addToList("Recent", "b=3");
  ini.getList("Recent", list);
  EXPECT_EQ(joined(list), "b=3|d|c");

  ini.addToList("Files", "f1");
  ini.addToList("Files", "f10");
  ini.addToList("Files", "f1");
  ini.getList("Files", list);
  EXPECT_EQ(joined(list), "f1|f10") << "only the same entry goes, not every one that begins so";
  EXPECT_EQ(ini.getInt("Files", "maxEntries", 0), 10);

  ini.removeFromList("Files", "f10");
  ini.getList("Files", list);
  EXPECT_EQ(joined(list), "f1");
}

TEST_F(ZFileIniTest, SaveWritesTheTextAndTheDestructorSavesPendingChanges) {
  load("[A]\r\nx=1\r\n");
  ini.setValue("A", "x", "2");
  ASSERT_TRUE(ini.save());
  EXPECT_EQ(ini.modified, 0);
  EXPECT_EQ(ScratchDirectory::read(path), "[A]\r\nx=2\r\n");
  EXPECT_EQ(directoryListing(dir.path()), "test.ini") << "no temporary file is left behind";

  {
    ZFileIni other;
    ASSERT_TRUE(other.open(path.c_str(), 0, 0));
    other.setValue("A", "y", "3");
  }
  EXPECT_EQ(ScratchDirectory::read(path), "[A]\r\nx=2\r\ny=3\r\n");

  {
    ZFileIni readOnly;
    ASSERT_TRUE(readOnly.open(path.c_str(), 0, 1));
    readOnly.setValue("A", "z", "4");
    EXPECT_EQ(readOnly.save(), 0);
    // A read-only object opens another file although its changes cannot be saved.
    EXPECT_EQ(readOnly.open(path.c_str(), 0, 1), 1);
  }
  EXPECT_EQ(ScratchDirectory::read(path), "[A]\r\nx=2\r\ny=3\r\n");
}

// A zero byte in the file (a damaged or binary file) is one byte like any other: a value behind it
// is read, a value set is read back, and saving again and again adds no second section.
TEST_F(ZFileIniTest, AZeroByteInTheFileHidesNothingBehindIt) {
  const char before[] = "[A]\r\nbad=x\0y\r\n[B]\r\nold=1\r\n";
  const char after[] = "[A]\r\nbad=x\0y\r\n[B]\r\nold=1\r\nnew=2\r\n";
  load(std::string(before, sizeof before - 1));
  EXPECT_EQ(bytesOf(ini.getValue("B", "old", "none")), "1");
  EXPECT_EQ(bytesOf(ini.getValue("A", "bad", "none")), std::string("x\0y", 3));
  for (int save = 0; save < 3; ++save) {
    ini.setValue("B", "new", "2");
    EXPECT_EQ(bytesOf(ini.getValue("B", "new", "none")), "2");
    ASSERT_TRUE(ini.save());
  }
  ZFileIni reread;
  ASSERT_TRUE(reread.open(path.c_str(), 0, 0));
  EXPECT_EQ(bytesOf(reread.getValue("B", "new", "none")), "2");
  EXPECT_EQ(ScratchDirectory::read(path), std::string(after, sizeof after - 1));
  ZStringList names;
  EXPECT_EQ(reread.getSectionNames(names, "*", nullptr), 2);
}

TEST_F(ZFileIniTest, SaveThatCannotWriteShowsTheOpenBoxWithTheFilesName) {
  testsupport::MessageBoxCapture boxes;
  std::string inner = dir.write("gone/test.ini", "[A]\r\nx=1\r\n");
  ZFileIni other;
  ASSERT_TRUE(other.open(inner.c_str(), 0, 0));
  other.setValue("A", "x", "2");
  std::filesystem::remove_all(dir.path() / "gone");
  EXPECT_EQ(other.save(), 0);
  EXPECT_EQ(other.modified, 1);
  ASSERT_EQ(boxes.count(), 1u);
  const std::string opening = "Fehler beim \xF6" "ffnen der Datei '" + inner + "'\r\n";
  EXPECT_EQ(boxes.last().caption, "Fehler ZFile::open(..)");
  EXPECT_EQ(boxes.last().text.substr(0, opening.size()), opening);
  EXPECT_GT(boxes.last().text.size(), opening.size()) << "the system's text follows";
  EXPECT_EQ(bytesOf(other.errorText), boxes.last().text);
  EXPECT_EQ(directoryListing(dir.path()), "") << "nothing is left behind";
}

TEST_F(ZFileIniTest, OpenWithCreate) {
  std::string missing = (dir / "new.ini");
  ASSERT_TRUE(ini.open(missing.c_str(), 1, 0));
  EXPECT_TRUE(std::filesystem::exists(missing));
  EXPECT_EQ(bytesOf(ini.content), "\r\n");
  EXPECT_EQ(ini.isOpen(), 1);

  dir.write("new.ini", "[K]\r\nv=1\r\n");
  ASSERT_TRUE(ini.open(missing.c_str(), 1, 0));
  EXPECT_EQ(bytesOf(ini.getValue("K", "v", "")), "1") << "an existing file is read, not emptied";

  EXPECT_EQ(ini.open((dir / "absent.ini").c_str(), 0, 0), 0);
  EXPECT_EQ(ini.isOpen(), 0);
  EXPECT_FALSE(ini.errorText.isEmpty());
  EXPECT_EQ(bytesOf(ini.getValue("K", "v", "")), "1") << "a failed open keeps the content";
}

TEST_F(ZFileIniTest, CreateTakesANewFileForTheContent) {
  load("[A]\r\nx=1\r\n");
  std::string copy = (dir / "copy.ini");
  ASSERT_TRUE(ini.create(copy.c_str()));
  EXPECT_EQ(ScratchDirectory::read(copy), "");
  ASSERT_TRUE(ini.save());
  EXPECT_EQ(ScratchDirectory::read(copy), "[A]\r\nx=1\r\n");
}

// The mask of a file whose header number is number.
unsigned char maskFor(int number) {
  return static_cast<unsigned char>((number & 0xFF) - ZFileIni::contentMaskOffset);
}

std::string masked(const std::string& plain, unsigned char mask) {
  std::string bytes(plain);
  for (std::size_t i = 22; i < bytes.size(); ++i) bytes[i] = static_cast<char>(bytes[i] ^ mask);
  return bytes;
}

TEST_F(ZFileIniTest, MaskedFileOpensReadableAndIsWrittenBackMasked) {
  int number = 1000 + ZFileIni::contentMaskOffset + 0x21;
  std::string header = "[zelContentMask+" + std::to_string(number) + "]\r\n";
  ASSERT_EQ(header.size(), 23u);
  std::string body = "[Secret]\r\nuser=me\r\n";
  load(masked(header + body, maskFor(number)));

  EXPECT_EQ(bytesOf(ini.getValue("Secret", "user", "")), "me");
  EXPECT_EQ(ini.content.getAt(15), '-');
  ini.setValue("Secret", "pin", "1234");
  ASSERT_TRUE(ini.save());
  EXPECT_EQ(ini.content.getAt(15), '-') << "the text in memory stays readable";
  EXPECT_EQ(ScratchDirectory::read(path), masked(header + body + "pin=1234\r\n", maskFor(number)));
}

TEST_F(ZFileIniTest, MaskByteZeroKeepsThePlusAndWritesTheSameFile) {
  int number = ZFileIni::contentMaskOffset;
  std::string text = "[zelContentMask+" + std::to_string(number) + "]\r\n[A]\r\nx=1\r\n";
  load(text);
  EXPECT_EQ(ini.content.getAt(15), '-');
  ASSERT_TRUE(ini.save());
  EXPECT_EQ(ini.content.getAt(15), '+');
  ASSERT_TRUE(ini.save());
  EXPECT_EQ(ScratchDirectory::read(path), text);
}

// Digits from position 22 on are masked themselves: the mask byte comes from the six in front
// of them, so that the file saved opens again to the same text.
TEST_F(ZFileIniTest, LongMaskNumberKeepsTheMaskAcrossSaveAndOpen) {
  int number = 123456;
  std::string header = "[zelContentMask+" + std::to_string(number) + "789]\r\n";
  std::string body = "[Secret]\r\nuser=me\r\n";
  load(masked(header + body, maskFor(number)));
  EXPECT_EQ(bytesOf(ini.getValue("Secret", "user", "")), "me");
  ini.setValue("Secret", "pin", "1234");
  ASSERT_TRUE(ini.save());
  EXPECT_EQ(ScratchDirectory::read(path), masked(header + body + "pin=1234\r\n", maskFor(number)));

  ZFileIni again;
  ASSERT_TRUE(again.open(path.c_str(), 0, 1));
  EXPECT_EQ(bytesOf(again.content), bytesOf(ini.content));
}

}  // namespace
