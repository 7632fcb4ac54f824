// What the POSIX side makes of links and version resources.
#include "ZEL_OS/OsProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "ZEL_OS/OsError.h"
#include "tests/support/ScratchDirectory.h"

namespace {

TEST(OsProcessPosix, ALinkIsADesktopLauncher) {
  ScratchDirectory dir;
  std::string link = dir / "Kalmo Tool.desktop";
  ASSERT_TRUE(zos::shellCreateLink(link.c_str(), "/opt/my tools/kalmo", "Brennt\nHEX", "/opt/work",
                                   "/opt/kalmo.png", 3));
  EXPECT_EQ(ScratchDirectory::read(link),
            "[Desktop Entry]\nType=Application\nName=Kalmo Tool\n"
            "Exec=\"/opt/my tools/kalmo\"\nComment=Brennt\\nHEX\nPath=/opt/work\n"
            "Icon=/opt/kalmo.png\n");
  auto perms = std::filesystem::status(link).permissions();
  EXPECT_NE(perms & std::filesystem::perms::owner_exec, std::filesystem::perms::none);

  // Empty texts are left out.
  ASSERT_TRUE(zos::shellCreateLink(link.c_str(), "/bin/x", "", "", "", 0));
  EXPECT_EQ(ScratchDirectory::read(link), "[Desktop Entry]\nType=Application\nName=Kalmo Tool\nExec=/bin/x\n");
}

TEST(OsProcessPosix, ExecutablesCarryNoVersion) {
  ScratchDirectory dir;
  std::string file = dir.write("tool", "#!/bin/sh\n");
  EXPECT_EQ(zos::fileVersionInfoSize(file.c_str()), 0u);
  EXPECT_EQ(zos::lastError(), ENODATA);
}

TEST(OsProcessPosix, ShellOpenStartsAProgramWithItsParameters) {
  ScratchDirectory dir;
  std::string program = dir.write("tool.sh", "#!/bin/sh\necho \"$1|$2\" > out.txt\n");
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);
  EXPECT_GT(zos::shellOpen("tool.sh", "one \"two words\"", dir.path().string().c_str(), 1), 32);
  // It runs in the background: wait for its file.
  std::string out;
  for (int i = 0; i < 100 && out.empty(); ++i) {
    zos::Handle pause = zos::processStart("sleep 0.05", "", 0);
    zos::processWait(pause, 1000);
    zos::processClose(pause);
    out = ScratchDirectory::read(dir / "out.txt");
  }
  EXPECT_EQ(out, "one|two words\n");
}

}  // namespace
