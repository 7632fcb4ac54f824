#include <gtest/gtest.h>

#include <string>

#include "ZEL_UTIL/ZApplicationBasic.h"
#include "tests/support/MessageBoxCapture.h"

namespace {

// Without a program title there is no file name: the failure is shown and nothing is opened.
TEST(ZApplicationBasicConfig, EmptyProgramTitleIsShown) {
  const std::string hint =
      "Der Dateiname der Anwendung konnte nicht ermittelt werden.\r\nEventuell haben Sie diese "
      "Funktion vor der Verarbeitung der \xDC" "bergabeparameter (z.B. in einem Konstruktor) "
      "aufgerufen.";
  testsupport::MessageBoxCapture boxes;
  ZApplicationBasic app;
  app.programPath = "";

  EXPECT_EQ(app.openUserConfigFile(), 0);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.last().text, "Fehler in ZApplication::openUserConfigFile(..): " + hint);
  EXPECT_EQ(boxes.last().caption, "Fehler !");
  EXPECT_EQ(boxes.last().style, 0x10u);

  EXPECT_EQ(app.openComputerConfigFile(), 0);
  ASSERT_EQ(boxes.count(), 2u);
  EXPECT_EQ(boxes.last().text, "Fehler in ZApplication::openComputerConfigFile(..): " + hint);
  EXPECT_EQ(app.userConfig.isOpen() + app.computerConfig.isOpen(), 0);
}

}  // namespace
