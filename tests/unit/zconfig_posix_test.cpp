// The configuration files in the folders the POSIX side uses for them: $XDG_CONFIG_HOME for the
// user and the first entry of $XDG_CONFIG_DIRS for the computer.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "ZEL_UTIL/ZApplicationBasic.h"
#include "tests/support/DirectoryListing.h"
#include "tests/support/MessageBoxCapture.h"
#include "tests/support/ScratchDirectory.h"

namespace {

TEST(ZApplicationBasicConfig, UserFileIsCreatedOnceInTheUserFolder) {
  testsupport::MessageBoxCapture boxes;
  ScratchDirectory dir;
  setenv("XDG_CONFIG_HOME", dir.path().string().c_str(), 1);
  ZApplicationBasic app;
  app.programPath = "/opt/tools/kalmo.exe";

  ASSERT_EQ(app.openUserConfigFile(), 1);
  EXPECT_EQ(directoryListing(dir.path()), "kalmo.cfg");
  EXPECT_EQ(std::string(app.userConfig.fileName), dir / "kalmo.cfg");
  EXPECT_EQ(app.computerConfig.isOpen(), 0);

  std::filesystem::remove(dir / "kalmo.cfg");
  EXPECT_EQ(app.openUserConfigFile(), 1) << "an open file is not opened again";
  EXPECT_EQ(directoryListing(dir.path()), "");
  EXPECT_EQ(boxes.count(), 0u);
  unsetenv("XDG_CONFIG_HOME");
}

TEST(ZApplicationBasicConfig, ComputerFileIsInTheFirstSystemFolder) {
  ScratchDirectory first, second;
  std::string dirs = first.path().string() + ":" + second.path().string();
  setenv("XDG_CONFIG_DIRS", dirs.c_str(), 1);
  ZApplicationBasic app;
  app.programPath = "kalmo";
  first.write("kalmo.cfg", "[Tool]\r\nmode=p\r\n");

  ASSERT_EQ(app.openComputerConfigFile(), 1);
  EXPECT_EQ(std::string(app.computerConfig.getValue("Tool", "mode", "")), "p");
  EXPECT_EQ(directoryListing(second.path()), "");
  unsetenv("XDG_CONFIG_DIRS");
}

}  // namespace
