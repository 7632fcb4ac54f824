// Starting programs: the test program starts itself with one of the child routines below.
#include "ZEL_OS/OsProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "ZEL_OS/OsError.h"
#include "tests/support/ScratchDirectory.h"

namespace {

// The command line that runs one child routine of this program.
std::string childCommand(const std::string& routine) {
  std::string self = std::filesystem::absolute(::testing::internal::GetArgvs()[0]).string();
  return "\"" + self + "\" --gtest_also_run_disabled_tests --gtest_filter=Child.DISABLED_" +
         routine;
}

TEST(Child, DISABLED_ExitsWithSeven) { std::exit(7); }

TEST(Child, DISABLED_WritesAFileInItsDirectory) { std::ofstream("child.txt") << "here"; }

TEST(Child, DISABLED_SleepsTwoSeconds) { std::this_thread::sleep_for(std::chrono::seconds(2)); }

TEST(OsProcess, StartsAProgramAndReadsItsExitCode) {
  zos::Handle process = zos::processStart(childCommand("ExitsWithSeven").c_str(), "", 0);
  ASSERT_NE(process, nullptr);
  EXPECT_TRUE(zos::processWait(process, 60000));
  unsigned code = 0;
  EXPECT_TRUE(zos::processExitCode(process, code));
  EXPECT_EQ(code, 7u);
  EXPECT_TRUE(zos::processWait(process, 0));  // an ended program stays signalled
  zos::processClose(process);
}

TEST(OsProcess, TheProgramRunsInTheGivenDirectory) {
  ScratchDirectory dir;
  zos::Handle process =
      zos::processStart(childCommand("WritesAFileInItsDirectory").c_str(),
                        dir.path().string().c_str(), 0);
  ASSERT_NE(process, nullptr);
  EXPECT_TRUE(zos::processWait(process, 60000));
  zos::processClose(process);
  EXPECT_EQ(ScratchDirectory::read(dir / "child.txt"), "here");
}

TEST(OsProcess, ARunningProgramIsStillActive) {
  zos::Handle process = zos::processStart(childCommand("SleepsTwoSeconds").c_str(), "", 0);
  ASSERT_NE(process, nullptr);
  EXPECT_FALSE(zos::processWait(process, 100));
  unsigned code = 0;
  EXPECT_TRUE(zos::processExitCode(process, code));
  EXPECT_EQ(code, zos::processStillActive);
  EXPECT_TRUE(zos::processWait(process, 60000));
  EXPECT_TRUE(zos::processExitCode(process, code));
  EXPECT_EQ(code, 0u);
  zos::processClose(process);
}

TEST(OsProcess, AMissingProgramDoesNotStart) {
  ScratchDirectory dir;
  zos::setLastError(0);
  EXPECT_EQ(zos::processStart((dir / "no-such-program").c_str(), "", 0), nullptr);
  EXPECT_NE(zos::lastError(), 0);
  EXPECT_EQ(zos::processStart(childCommand("ExitsWithSeven").c_str(),
                              (dir / "no-such-directory").c_str(), 0),
            nullptr);
}

TEST(OsProcess, ShellOpenOfAMissingFileFails) {
  ScratchDirectory dir;
  EXPECT_LE(zos::shellOpen((dir / "missing.txt").c_str(), "", "", 1), 32);
  EXPECT_NE(zos::lastError(), 0);
}

TEST(OsProcess, WritesALinkFile) {
  ScratchDirectory dir;
  std::string link = dir / "tool.lnk";
  std::string target = dir.write("tool.exe", "");
  EXPECT_TRUE(zos::shellCreateLink(link.c_str(), target.c_str(), "Der Kalmo", dir.path().string().c_str(),
                                   "", 0));
  EXPECT_FALSE(ScratchDirectory::read(link).empty());
  EXPECT_FALSE(zos::shellCreateLink((dir / "missing/tool.lnk").c_str(), target.c_str(), "", "", "", 0));
}

TEST(OsProcess, VersionOfAMissingFileFailsAtTheFirstStep) {
  ScratchDirectory dir;
  zos::setLastError(0);
  EXPECT_EQ(zos::fileVersionInfoSize((dir / "missing.exe").c_str()), 0u);
  EXPECT_NE(zos::lastError(), 0);
}

}  // namespace
