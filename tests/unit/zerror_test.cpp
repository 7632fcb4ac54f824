#include "ZEL_UTIL/ZError.h"

#include <string>

#include <gtest/gtest.h>

#include "tests/support/MessageBoxCapture.h"
#include "ZEL_OS/OsMessageBox.h"
#include "ZEL_SYSTEM/ZDebug.h"
#include "ZEL_UTIL/ZApplicationBasic.h"
#include "ZEL_UTIL/ZLanguage.h"
#include "tests/support/ZStringBytes.h"

namespace {


// A number no system has a text for.
constexpr int numberWithoutText = 123456789;

// The system text as an entry of the log holds it: trimmed, every line break followed by a tab.
std::string asLogged(int number) {
  ZString text = ZError::getErrorText(number);
  text.trim();
  text.replace("\r\n", "\r\n\t");
  return bytesOf(text);
}

TEST(ZErrorText, SystemTextsAndNumbersWithoutOne) {
  EXPECT_FALSE(ZError::getErrorText(2).isEmpty());
  EXPECT_FALSE(ZError::getErrorText(5).isEmpty());
  EXPECT_EQ(bytesOf(ZError::getErrorText(numberWithoutText)), "");
}

TEST(ZErrorLog, EntriesAreTrimmedIndentedAndPrefixed) {
  ZError error;
  error.addError("  first line\r\nsecond line\r\n", 0);
  EXPECT_EQ(bytesOf(error.log), "\r\nfirst line\r\n\tsecond line");

  error.addError("open failed", 2);
  std::string expected = "\r\nfirst line\r\n\tsecond line\r\nopen failed\r\n\tFehlernummer: 2\r\n\t" + asLogged(2);
  EXPECT_EQ(bytesOf(error.log), expected);

  ZError unknown;
  unknown.addError("lost", numberWithoutText);
  EXPECT_EQ(bytesOf(unknown.log), "\r\nlost\r\n\tFehlernummer: 123456789");
  unknown.addError("neg", -7);
  EXPECT_EQ(bytesOf(unknown.log).find("\r\nneg\r\n\tFehlernummer: -7"), std::string("\r\nlost\r\n\tFehlernummer: 123456789").size());
}

TEST(ZErrorLog, AnEntryAlreadyInTheLogIsNotAddedAgain) {
  ZError error;
  error.addError("same", 2);
  error.addError("same", 2);
  std::string once = bytesOf(error.log);
  EXPECT_EQ(once.find("\r\nsame"), 0u);
  EXPECT_EQ(once.find("\r\nsame", 1), std::string::npos);
  error.addError("same", 5);  // another number: another entry
  EXPECT_NE(bytesOf(error.log).find("\r\nsame", 1), std::string::npos);

  ZError sub;
  sub.addError("abc def", 0);
  sub.addError("abc", 0);  // "\r\nabc" is part of "\r\nabc def"
  EXPECT_EQ(bytesOf(sub.log), "\r\nabc def");
  sub.addError("def", 0);  // "\r\ndef" is not
  EXPECT_EQ(bytesOf(sub.log), "\r\nabc def\r\ndef");
}

TEST(ZErrorBox, ShowErrorAppendsTheNumberAfterABlank) {
  testsupport::MessageBoxCapture boxes;
  ZError error;
  error.showError("Kann nicht \xF6" "ffnen", 5, "Fehler !", 0x10);
  ASSERT_EQ(boxes.count(), 1u);
  const testsupport::CapturedBox& box = boxes.last();
  EXPECT_EQ(box.text, "Kann nicht \xF6" "ffnen\r\n Fehlernummer: 5\r\n" + bytesOf(ZError::getErrorText(5)));
  EXPECT_EQ(box.caption, "Fehler !");
  EXPECT_EQ(box.style, 0x10u);
  EXPECT_EQ(box.owner, zos::activeWindow());

  error.showError("  as is\r\n");  // no number: the text unchanged, untrimmed; the usual caption
  EXPECT_EQ(boxes.last().text, "  as is\r\n");
  EXPECT_EQ(boxes.last().caption, "Fehler !");
  EXPECT_EQ(boxes.last().style, 0x10u);
  EXPECT_EQ(bytesOf(error.log), "");  // showing logs nothing
}

TEST(ZErrorBox, ShowLogShowsTheWholeLogOnce) {
  testsupport::MessageBoxCapture boxes;
  ZError error;
  error.showLog();
  EXPECT_EQ(boxes.count(), 0u);
  error.addError("a", 0);
  error.addError("b", 0);
  error.showLog();
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.last().text,
            "Folgende Fehler sind w\xE4" "hrend der Abarbeitung des Programmes protokolliert worden:\r\n\r\na\r\nb");
  EXPECT_EQ(boxes.last().caption, "Fehler !");
  EXPECT_EQ(boxes.last().style, 0x10u);
}

TEST(ZGlobals, TheFourObjectsAreReadyBeforeTheTestsRun) {
  EXPECT_EQ(ZString::languageTable, &zelLanguage);
  EXPECT_EQ(zelLanguage.active, 1);
  EXPECT_EQ(zelDebug.muted, 1);
  EXPECT_STREQ(zelError.getClassName(), "ZError");
  EXPECT_STREQ(zelApplication.getClassName(), "ZApplicationBasic");
  ASSERT_GE(zelApplication.params.getCount(), 1);
  EXPECT_EQ(bytesOf(zelApplication.programPath), bytesOf(zelApplication.params.getAt(0)));
  EXPECT_NE(bytesOf(zelApplication.programPath).find("zerror_test"), std::string::npos);
}

}  // namespace
