#include <gtest/gtest.h>

#include <string>

#include "ZEL_SYSTEM/ZHexFile.h"
#include "ZEL_SYSTEM/ZMem.h"
#include "tests/support/ScratchDirectory.h"

namespace {

std::string bytesOf(const ZMem& image, int from, int count) {
  return std::string(reinterpret_cast<const char*>(image.getData()) + from, count);
}

bool parseText(const char* text, ZMem& image) {
  ZHexFile hex;
  return hex.parse(text, image);
}

TEST(ZHexFileParse, RecordsFillTheImageAtTheirAddresses) {
  ZMem image;
  ZHexFile hex;
  ASSERT_TRUE(hex.parse(":03001000010203E7\n:00000001FF\n", image));
  ASSERT_EQ(image.getSize(), 0x13);
  EXPECT_EQ(bytesOf(image, 0, 0x13), std::string(16, '\0') + "\x01\x02\x03");
  EXPECT_EQ(hex.getDataRecordCount(), 1);

  ZMem linear;
  ASSERT_TRUE(parseText(":020000040001F9\n:02000000AABB99\n", linear));
  ASSERT_EQ(linear.getSize(), 0x10002);
  EXPECT_EQ(linear.getAt(0x10000), 0xAA);
  EXPECT_EQ(linear.getAt(0x10001), 0xBB);

  ZMem segment;
  ASSERT_TRUE(parseText(":020000021000EC\n:01000000FF00\n", segment));
  ASSERT_EQ(segment.getSize(), 0x10001);
  EXPECT_EQ(segment.getAt(0x10000), 0xFF);

  // A record running past 0xFFFF goes on at the next higher addresses.
  ZMem wrap;
  ASSERT_TRUE(parseText(":02FFFF00AABB9B\n", wrap));
  ASSERT_EQ(wrap.getSize(), 0x10001);
  EXPECT_EQ(wrap.getAt(0xFFFF), 0xAA);
  EXPECT_EQ(wrap.getAt(0x10000), 0xBB);
}

TEST(ZHexFileParse, BlankLinesTrailingBlanksAndLineEndsDoNotMatter) {
  ZMem plain, decorated;
  ASSERT_TRUE(parseText(":0100000011EE\n:0100010022DC\n:00000001FF\n", plain));
  ASSERT_TRUE(parseText("\r\n  :0100000011EE  \r\n\r\n   \r\n:0100010022DC\t\r\n:00000001FF\r\n",
                        decorated));
  EXPECT_EQ(bytesOf(decorated, 0, decorated.getSize()), bytesOf(plain, 0, plain.getSize()));
  EXPECT_EQ(plain.getSize(), 2);
}

TEST(ZHexFileParse, BytesThatNoRecordSetsKeepTheirValue) {
  ZMem image(32);
  for (int i = 0; i < 32; ++i) image.setAt(i, 0x55);
  ASSERT_TRUE(parseText(":0100040011EA\n", image));
  EXPECT_EQ(image.getSize(), 5);
  EXPECT_EQ(bytesOf(image, 0, 5), "\x55\x55\x55\x55\x11");
}

TEST(ZHexFileParse, LinesAfterTheEndRecordAreStillRead) {
  ZMem image;
  ASSERT_TRUE(parseText(":00000001FF\n:0100000011EE\n", image));
  EXPECT_EQ(image.getAt(0), 0x11);
}

TEST(ZHexFileParse, EmptyTextGivesOneByteAndNoDataRecord) {
  ZMem image;
  ZHexFile hex;
  ASSERT_TRUE(hex.parse("", image));
  EXPECT_EQ(image.getSize(), 1);
  EXPECT_EQ(hex.getDataRecordCount(), 0);
}

// Every malformed line stops the parse; the good records before it are in the image already.
TEST(ZHexFileParse, MalformedRecordsFail) {
  struct Case {
    const char* what;
    const char* line;
  } cases[] = {
      {"not a record", "garbage"},
      {"a digit flipped", ":0100010023DC"},
      {"a record shorter than its count", ":02000100AA53"},
      {"a record longer than its count", ":01000100AABB54"},
      {"a bad checksum", ":0100010022DD"},
      {"a checksum that is no number", ":01000000FFXX"},
      {"no hexadecimal digit", ":01000100G2DC"},
      {"too short for any record", ":00000001"},
      {"an odd number of digits", ":0100010022DC0"},
      {"an extended address of three bytes", ":03000004000100F8"},
      {"an extended segment address with an address field", ":020010021000DC"},
      {"data beyond 16 MiB", ":020000040100F9\n:0100000011EE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ZMem image(0);
    ZHexFile hex;
    std::string text = std::string(":0100000011EE\n") + c.line + "\n:0100020033CA\n";
    EXPECT_FALSE(hex.parse(text.c_str(), image));
    EXPECT_EQ(image.getAt(0), 0x11);
    EXPECT_EQ(image.getAt(2), 0) << "parsing stops at the bad line";
    EXPECT_LT(image.getSize(), 2000) << "the image does not grow for a refused record";
  }
}

// The longest record: 255 data bytes, 521 characters.
std::string longestRecord() {
  std::string line = ":FF000000";
  unsigned sum = 0xFF;
  static const char digits[] = "0123456789ABCDEF";
  for (int i = 0; i < 255; ++i) {
    line += digits[(i >> 4) & 15];
    line += digits[i & 15];
    sum += static_cast<unsigned>(i);
  }
  unsigned checksum = (0x100 - (sum & 0xFF)) & 0xFF;
  line += digits[checksum >> 4];
  line += digits[checksum & 15];
  return line;
}

TEST(ZHexFileParse, LinesLongerThanTheLongestRecordFail) {
  const std::string record = longestRecord();
  ASSERT_EQ(record.size(), static_cast<std::size_t>(ZHexFile::longestLine));
  struct Case {
    const char* what;
    std::string text;
    bool ok;
  } cases[] = {
      {"the longest record, LF", record + "\n", true},
      {"the longest record, CR LF", record + "\r\n", true},
      {"the longest record as the last line", record, true},
      {"a blank in front of it", " " + record + "\r\n", false},
      {"a line of blanks", std::string(600, ' ') + "\n", false},
      {"zero bytes without a line end", std::string(4096, '\0'), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ZMem image(0);
    ZHexFile hex;
    EXPECT_EQ(hex.parse(ZString(c.text.data(), static_cast<int>(c.text.size())), image), c.ok);
    if (c.ok) {
      EXPECT_EQ(image.getAt(254), 254);
    }
  }
}

// A failed parse leaves the image as growing it byte by byte makes it: to the address of the
// first byte beyond it plus 1001 bytes.
TEST(ZHexFileParse, FailureLeavesTheImageWithItsGrowthSlack) {
  ZMem image(0);
  EXPECT_FALSE(parseText(":0100100011DE\n:0120000011CE\ngarbage\n", image));
  EXPECT_EQ(image.getSize(), 0x2000 + 1001);
  EXPECT_EQ(image.getAt(0x10), 0x11);
  EXPECT_EQ(image.getAt(0x2000), 0x11);

  ZMem small(0);
  EXPECT_FALSE(parseText(":0100100011DE\ngarbage\n", small));
  EXPECT_EQ(small.getSize(), 0x10 + 1001);
}

TEST(ZHexFileParse, TheLastByteBelow16MiBIsAccepted) {
  ZMem image(0);
  ASSERT_TRUE(parseText(":0200000400FFFB\n:01FFFF00AB56\n", image));
  EXPECT_EQ(image.getSize(), 0x1000000);
  EXPECT_EQ(image.getAt(0xFFFFFF), 0xAB);
}

TEST(ZHexFileSave, SmallImagesGiveSixteenByteRecordsAndTheEndRecord) {
  ScratchDirectory dir;
  ZHexFile hex;

  ZMem three(0);
  three.append("\x01\x02\x03", 3);
  ASSERT_TRUE(hex.save((dir / "three.hex").c_str(), three));
  EXPECT_EQ(ScratchDirectory::read((dir / "three.hex")), ":03000000010203F7\r\n:00000001FF\r\n");

  ZMem twenty(20);
  for (int i = 0; i < 20; ++i) twenty.setAt(i, i);
  ASSERT_TRUE(hex.save((dir / "twenty.hex").c_str(), twenty));
  EXPECT_EQ(ScratchDirectory::read((dir / "twenty.hex")),
            ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
            ":0400100010111213A6\r\n"
            ":00000001FF\r\n");
}

TEST(ZHexFileSave, ImageOfExactly64KiBHasNoExtendedAddressRecord) {
  ScratchDirectory dir;
  ZMem image(0x10000);
  ZHexFile hex;
  ASSERT_TRUE(hex.save((dir / "a.hex").c_str(), image));
  std::string text = ScratchDirectory::read((dir / "a.hex"));
  EXPECT_EQ(text.find(":02000004"), std::string::npos);
  EXPECT_EQ(text.size(), 4096u * 45 + 13);
}

TEST(ZHexFileSave, LargerImageLoadsBackToTheSameBytes) {
  ScratchDirectory dir;
  const int size = 3 * 65536 + 1000 + 5;
  ZMem image(size);
  unsigned state = 12345;
  for (int i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    image.setAt(i, static_cast<int>((state >> 16) & 0xFF));
  }
  ZHexFile hex;
  std::string path = (dir / "big.hex");
  ASSERT_TRUE(hex.save(path.c_str(), image));

  std::string text = ScratchDirectory::read(path);
  EXPECT_NE(text.find("\r\n:020000040001F9\r\n:10000000"), std::string::npos);
  EXPECT_NE(text.find("\r\n:020000040002F8\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\n:020000040003F7\r\n"), std::string::npos);

  ZMem loaded(0);
  ASSERT_TRUE(hex.load(path.c_str(), loaded));
  ASSERT_EQ(loaded.getSize(), size);
  EXPECT_EQ(bytesOf(loaded, 0, size), bytesOf(image, 0, size));
  EXPECT_EQ(hex.getDataRecordCount(), (size + 15) / 16);
}

TEST(ZHexFileLoad, FileThatCannotBeReadFails) {
  ScratchDirectory dir;
  ZMem image;
  ZHexFile hex;
  EXPECT_FALSE(hex.load((dir / "missing.hex").c_str(), image));
  EXPECT_EQ(hex.getDataRecordCount(), 0);

  dir.write("empty.hex", "");
  EXPECT_TRUE(hex.load((dir / "empty.hex").c_str(), image));
  EXPECT_EQ(hex.getDataRecordCount(), 0);

  dir.write("last.hex", ":0100000011EE\r\n:0100010022DC");
  EXPECT_TRUE(hex.load((dir / "last.hex").c_str(), image)) << "the last line needs no line end";
  EXPECT_EQ(image.getSize(), 2);
  EXPECT_EQ(hex.getDataRecordCount(), 2);

  dir.write("bad.hex", ":0100000011EE\r\nnonsense\r\n");
  EXPECT_FALSE(hex.load((dir / "bad.hex").c_str(), image));
}

// The file is read in pieces of 64 KiB: a line may be split between two of them, but a line too
// long for any record is refused as soon as it is seen, not gathered up.
TEST(ZHexFileLoad, LinesAcrossPiecesAndLinesWithoutEnd) {
  ScratchDirectory dir;
  ZHexFile hex;
  const std::string record = longestRecord();
  // The record and its CR end the first piece; its LF begins the second.
  const std::string split = std::string(65536 - record.size() - 1, '\n') + record + "\r\n:00000001FF\r\n";
  ZMem image(0);
  EXPECT_TRUE(hex.load(dir.write("split.hex", split).c_str(), image));
  EXPECT_EQ(image.getSize(), 255);

  const std::string cases[] = {
      ":0100000011EE\r\n" + std::string(3 << 20, '\0'),
      ":0100000011EE\r\n" + std::string(65536 - 15 - 100, '\n') + std::string(70000, ' ') + "\n",
  };
  for (const std::string& text : cases) {
    ZMem refused(0);
    EXPECT_FALSE(hex.load(dir.write("long.hex", text).c_str(), refused));
    EXPECT_EQ(refused.getAt(0), 0x11);
  }
}

}  // namespace
