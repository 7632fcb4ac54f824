// The base pieces of the OS layer: heap, runtime functions, code page, texts, message boxes.
#include <cstdarg>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/MessageBoxCapture.h"
#include "ZEL_OS/OsCommandLine.h"
#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsHeap.h"
#include "ZEL_OS/OsMessageBox.h"
#include "ZEL_OS/OsRuntime.h"
#include "ZEL_OS/OsVariant.h"

namespace {

TEST(OsHeap, BlocksAreZeroFilledAndGrowWithAZeroTail) {
  zos::Handle heap = zos::processHeap();
  ASSERT_NE(heap, nullptr);
  auto* block = static_cast<unsigned char*>(zos::heapAllocate(heap, 64));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(block[i], 0) << i;
  std::memset(block, 0xAB, 64);
  block = static_cast<unsigned char*>(zos::heapReallocate(heap, block, 64, 4096));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(block[i], 0xAB) << i;
  for (int i = 64; i < 4096; ++i) ASSERT_EQ(block[i], 0) << i;
  block = static_cast<unsigned char*>(zos::heapReallocate(heap, block, 4096, 8));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block[7], 0xAB);
  zos::heapFree(heap, block);
  zos::heapFree(heap, nullptr);
  void* empty = zos::heapAllocate(heap, 0);
  EXPECT_NE(empty, nullptr);
  zos::heapFree(heap, empty);
}

int formatInto(char* buffer, std::size_t count, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = zos::vsnprintf(buffer, count, format, args);
  va_end(args);
  return result;
}

TEST(OsRuntime, FormatReportsOverflowWithMinusOne) {
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(formatInto(buffer, 6, "%d", 1234), 4);
  EXPECT_STREQ(buffer, "1234");
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(formatInto(buffer, 6, "%s", "abcdef"), 6);  // exactly fits: no terminator
  EXPECT_EQ(std::string(buffer, 7), "abcdef#");
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(formatInto(buffer, 6, "%s", "abcdefgh"), -1);
  EXPECT_EQ(std::string(buffer, 7), "abcdef#");
}

TEST(OsRuntime, IntegerDigitsInEveryRadix) {
  struct Case {
    std::int32_t value;
    int radix;
    const char* expected;
  };
  const Case cases[] = {{0, 10, "0"},          {-42, 10, "-42"},        {INT32_MIN, 10, "-2147483648"},
                        {-1, 16, "ffffffff"},  {255, 16, "ff"},         {5, 2, "101"},
                        {-1, 2, "11111111111111111111111111111111"}, {35, 36, "z"}, {-8, 8, "37777777770"}};
  for (const Case& c : cases) {
    char buffer[40];
    EXPECT_STREQ(zos::ltoa(c.value, buffer, c.radix), c.expected) << c.value << " radix " << c.radix;
  }
}

TEST(OsRuntime, NumbersFromText) {
  EXPECT_EQ(zos::atol(" 42x"), 42);
  EXPECT_EQ(zos::atol("-3"), -3);
  EXPECT_EQ(zos::atol("abc"), 0);
  EXPECT_DOUBLE_EQ(zos::atof("1.5e2"), 150.0);
  char buffer[40];
  EXPECT_DOUBLE_EQ(zos::atof(zos::gcvt(0.125, 10, buffer)), 0.125);
  EXPECT_DOUBLE_EQ(zos::atof(zos::gcvt(-123456.0, 10, buffer)), -123456.0);
  EXPECT_NEAR(zos::atof(zos::gcvt(2.0 / 3.0, 4, buffer)), 0.6667, 1e-9);
}

TEST(OsRuntime, CaseMappingAndComparisonAreAscii) {
  char text[] = "aZ\xE4\xC4-q";
  EXPECT_STREQ(zos::strupr(text), "AZ\xE4\xC4-Q");
  EXPECT_STREQ(zos::strlwr(text), "az\xE4\xC4-q");
  EXPECT_EQ(zos::stricmp("Hello", "hELLO"), 0);
  EXPECT_LT(zos::stricmp("abc", "ABD"), 0);
  EXPECT_GT(zos::stricmp("b", "A"), 0);
  EXPECT_NE(zos::stricmp("\xE4", "\xC4"), 0);
}

TEST(OsRuntime, AnsiCodePageRoundTripsEveryByte) {
  char all[256];
  for (int i = 0; i < 256; ++i) all[i] = static_cast<char>(i);
  zos::WideChar wide[256];
  ASSERT_EQ(zos::multiByteToWide(all, 256, wide, 256), 256);
  EXPECT_EQ(wide[0x41], 0x0041);
  EXPECT_EQ(wide[0x80], 0x20AC);  // euro sign
  EXPECT_EQ(wide[0x8A], 0x0160);
  EXPECT_EQ(wide[0x93], 0x201C);
  EXPECT_EQ(wide[0x9F], 0x0178);
  EXPECT_EQ(wide[0xA0], 0x00A0);
  EXPECT_EQ(wide[0xE4], 0x00E4);
  EXPECT_EQ(wide[0xFF], 0x00FF);
  char back[256];
  ASSERT_EQ(zos::wideToMultiByte(wide, 256, back, 256), 256);
  EXPECT_EQ(std::string(back, 256), std::string(all, 256));
}

TEST(OsError, KnownAndUnknownNumbers) {
  EXPECT_FALSE(zos::errorText(2).empty());
  EXPECT_NE(zos::errorText(2), zos::errorText(5));
  EXPECT_EQ(zos::errorText(123456789), "");
}

int answerTwo(zos::WindowHandle, const char*, const char*, unsigned) { return 2; }

TEST(OsMessageBox, TheHookReceivesEveryBox) {
  testsupport::MessageBoxCapture boxes;
  EXPECT_EQ(zos::messageBox(nullptr, "Text", "Titel", 0x10), zos::messageBoxAnswerOk);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.last().text, "Text");
  EXPECT_EQ(boxes.last().caption, "Titel");
  EXPECT_EQ(boxes.last().style, 0x10u);
  EXPECT_EQ(boxes.last().owner, nullptr);

  zos::MessageBoxHook recorder = zos::setMessageBoxHook(answerTwo);
  EXPECT_NE(recorder, nullptr);
  EXPECT_EQ(zos::messageBox(nullptr, "x", "y", 0), 2);
  EXPECT_EQ(zos::setMessageBoxHook(recorder), &answerTwo);
  EXPECT_EQ(boxes.count(), 1u);
}

TEST(OsVariant, CountedTextsKeepTheirLength) {
  const zos::WideChar text[] = {u'a', 0, u'b'};
  zos::Bstr bstr = zos::allocBstr(text, 3);
  ASSERT_NE(bstr, nullptr);
  EXPECT_EQ(zos::bstrLength(bstr), 3u);  // a zero inside counts
  EXPECT_EQ(bstr[2], u'b');
  EXPECT_EQ(bstr[3], 0);
  zos::freeBstr(bstr);
  EXPECT_EQ(zos::bstrLength(nullptr), 0u);

  zos::Variant source, target;
  zos::variantInit(source);
  zos::variantInit(target);
  zos::setVariantInt(source, 123);
  ASSERT_TRUE(zos::variantChangeToBstr(target, source));
  EXPECT_EQ(zos::variantType(source), zos::VariantType::int32);
  ASSERT_EQ(zos::bstrLength(zos::variantBstr(target)), 3u);
  EXPECT_EQ(zos::variantBstr(target)[0], u'1');
  EXPECT_EQ(zos::variantBstr(source), nullptr);
  zos::variantClear(target);
  zos::variantClear(source);
}

TEST(OsCommandLine, BeginsWithTheProgram) {
  std::string line = zos::commandLine();
  EXPECT_NE(line.find("os_base_test"), std::string::npos) << line;
}

}  // namespace
