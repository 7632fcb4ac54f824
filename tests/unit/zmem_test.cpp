#include "ZEL_SYSTEM/ZMem.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ZEL_UTIL/ZMapStringToString.h"
#include "tests/support/ZStringBytes.h"

namespace {

std::string bytesOf(const ZMem& mem) {
  return std::string(reinterpret_cast<const char*>(mem.getData()), static_cast<std::size_t>(mem.getSize()));
}


ZMem memOf(const std::string& bytes) { return ZMem(ZString(bytes.data(), static_cast<int>(bytes.size()))); }

}  // namespace

TEST(ZMem, BlocksAreZeroFilledAndKeepTheirBytesWhenResized) {
  ZMem mem;
  EXPECT_EQ(bytesOf(mem), std::string(100, '\0'));
  EXPECT_STREQ(mem.className(), "ZMem");
  mem.setAt(99, 7);
  EXPECT_EQ(mem.setSize(150), 1);
  EXPECT_EQ(bytesOf(mem), std::string(99, '\0') + '\x07' + std::string(50, '\0'));
  mem.setSize(10);
  mem.setSize(20);  // the bytes beyond a shrink are zero again when it grows
  EXPECT_EQ(bytesOf(mem), std::string(20, '\0'));
  EXPECT_EQ(ZMem(0).getSize(), 0);
  EXPECT_EQ(bytesOf(ZMem(ZString("ab\0c", 4))), std::string("ab\0c", 4));
}

TEST(ZMem, EnsureSizeGrowsWithSlackAndShrinksOnlyWhenAsked) {
  const struct {
    int size, need, slack, shrinkTo, after;
  } cases[] = {
      {10, 11, 5, -1, 16},   // too small: need + slack
      {10, 10, 5, -1, 10},   // big enough: as it is
      {100, 10, 5, 50, 50},  // need < shrinkTo < size: shrinks
      {100, 60, 5, 50, 100}, // shrinkTo below need: stays
      {40, 10, 5, 50, 40},   // shrinkTo beyond size: stays
  };
  for (const auto& c : cases) {
    ZMem mem(c.size);
    EXPECT_EQ(mem.ensureSize(c.need, c.slack, c.shrinkTo), 1);
    EXPECT_EQ(mem.getSize(), c.after) << c.size << " " << c.need << " " << c.shrinkTo;
  }
}

TEST(ZMem, PositionsOutsideTheBlockNeverFailHard) {
  ZMem mem(4);
  EXPECT_TRUE(mem.setAt(3, 0xFF));
  EXPECT_EQ(mem.getAt(3), 255);
  EXPECT_FALSE(mem.setAt(4, 1));
  EXPECT_FALSE(mem.setAt(-1, 1));
  EXPECT_EQ(mem.getAt(4), 0);
  EXPECT_EQ(mem.getAt(-1), 0);
  // Ranges reaching outside are cut to the block instead of touching memory beyond it.
  mem.insertAt(99, "xy", 2);
  EXPECT_EQ(bytesOf(mem), std::string("\0\0\0\xFFxy", 6));
  mem.removeAt(4, 99);
  EXPECT_EQ(bytesOf(mem), std::string("\0\0\0\xFF", 4));
  mem.removeAt(-2, 3);
  EXPECT_EQ(bytesOf(mem), std::string("\0\0\xFF", 3));
}

TEST(ZMem, AppendingInsertingAndRemoving) {
  ZMem mem(0);
  mem += std::uint8_t{0xAB};
  mem += std::uint16_t{0x1234};
  mem += std::uint32_t{0x12345678};
  mem += -1;  // an int is 4 bytes
  EXPECT_EQ(bytesOf(mem), std::string("\xAB\x34\x12\x78\x56\x34\x12\xFF\xFF\xFF\xFF", 11));

  mem = ZString("world");
  mem.insertAt(0, "hello ", 6);
  mem += ZString("!");
  mem.append(mem);  // a block appended to itself
  EXPECT_EQ(bytesOf(mem), "hello world!hello world!");
  mem.removeAt(5, 7);
  EXPECT_EQ(bytesOf(mem), "hellohello world!");
  mem.append("x", 0);
  mem.insertAt(2, "x", 0);
  EXPECT_EQ(mem.getSize(), 17);

  ZMem copy(mem);
  copy.setAt(0, 'J');
  EXPECT_EQ(bytesOf(mem).substr(0, 5), "hello");  // copies are deep
  ZMem target = memOf("12345678");
  EXPECT_EQ(target.overwrite(memOf("ab")), 2);
  EXPECT_EQ(bytesOf(target), "ab345678");
  EXPECT_EQ(target.overwrite(memOf("0123456789")), 10);
  EXPECT_EQ(bytesOf(target), "0123456789");
}

TEST(ZMem, FindAndReverseFind) {
  ZMem mem = memOf("abcabcab");
  EXPECT_EQ(mem.find("abc", 3), 0);
  EXPECT_EQ(mem.find("cab", 3), 2);
  EXPECT_EQ(mem.find("ab", 2), 0);
  EXPECT_EQ(mem.find("b", 1), 1);
  EXPECT_EQ(mem.find("cab", 3), 2);
  EXPECT_EQ(mem.find("xyz", 3), -1);
  EXPECT_EQ(mem.find("abc", 0), -1);
  EXPECT_EQ(mem.find("abcabcabc", 9), -1);  // longer than the block
  EXPECT_EQ(memOf("0123").find("23", 2), 2);  // the last bytes of the block

  EXPECT_EQ(mem.reverseFind("ab", 2), 6);
  EXPECT_EQ(mem.reverseFind("ab", 2, 5), 3);
  EXPECT_EQ(mem.reverseFind("ab", 2, 3), 3);
  EXPECT_EQ(mem.reverseFind("ab", 2, 99), 6);
  EXPECT_EQ(mem.reverseFind("abc", 3, 2), 0);
  EXPECT_EQ(mem.reverseFind("x", 1), -1);
  EXPECT_EQ(mem.reverseFind("a", 0), -1);

  ZMem zeros = memOf(std::string("a\0b\0", 4));
  EXPECT_EQ(zeros.replaceByte(0, 0xFF), 2);
  EXPECT_EQ(bytesOf(zeros), "a\xFF" "b\xFF");
}

TEST(ZMem, HexDumpLinesUpItsColumns) {
  ZMem mem = memOf(std::string("AB\x01 z\x7F\x80", 7) + "0123456789");  // 17 bytes: offsets of 2 digits
  EXPECT_EQ(bytesOf(mem.hexDump(8)),
            "00 41 42 01 20 7A 7F 80 30  AB..z\x7F\x80" "0\r\n"
            "08 31 32 33 34 35 36 37 38  12345678\r\n"
            "10 39                       9\r\n");
  // Offset column 1 digit wide; the hex columns of a full line of 16 take 1 + 1 + 48 characters.
  EXPECT_EQ(bytesOf(memOf("hi").hexDump(16)), "0 68 69 " + std::string(50 - 8, ' ') + " hi\r\n");
  EXPECT_EQ(bytesOf(ZMem(0).hexDump(16)), "");
  EXPECT_EQ(bytesOf(mem.hexDump(0)), "");
}

TEST(ZMem, ParsePairsFillsAMapUpToTheEndByte) {
  ZMapStringToString map;
  ZMem mem = memOf(std::string("a=1;b;c=x=y;\0d=4;", 18));
  EXPECT_EQ(mem.parsePairs(map, ';', '=', '\0'), 3);
  EXPECT_EQ(map.getCount(), 3);
  EXPECT_EQ(bytesOf(map.get("a")), "1");
  EXPECT_EQ(map.find("b"), 1);
  EXPECT_EQ(bytesOf(map.get("b")), "");
  EXPECT_EQ(bytesOf(map.get("c")), "x=y");  // split at the first key separator
  EXPECT_EQ(map.find("d"), -1);

  ZMapStringToString tail;
  EXPECT_EQ(memOf("k=v;rest").parsePairs(tail, ';', '=', '\0'), 1);  // no separator after "rest"
  EXPECT_EQ(tail.getCount(), 1);
}
