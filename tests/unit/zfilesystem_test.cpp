#include "ZEL_SYSTEM/ZFileSystem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "ZEL_OS/OsFileSystem.h"
#include "ZEL_OS/OsMessages.h"
#include "ZEL_SYSTEM/ZSystem.h"
#include "tests/support/CpuUse.h"
#include "tests/support/MessageBoxCapture.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZStringBytes.h"

namespace fs = std::filesystem;

namespace {

ZString z(const std::string& s) { return ZString(s.c_str(), static_cast<int>(s.size())); }

// This test program started again with one of the child routines below.
ZString childProgram() {
  return z("\"" + fs::absolute(::testing::internal::GetArgvs()[0]).string() + "\"");
}
ZString childRoutine(const std::string& name) {
  return z("--gtest_also_run_disabled_tests --gtest_filter=Child.DISABLED_" + name);
}

TEST(Child, DISABLED_WritesAFileInItsDirectory) { std::ofstream("child.txt") << "here"; }

TEST(Child, DISABLED_WritesAFileAfterTwoSeconds) {
  std::this_thread::sleep_for(std::chrono::seconds(2));
  std::ofstream("late.txt") << "done";
}

TEST(ZSystem, ErrorTexts) {
  EXPECT_FALSE(ZSystem::getErrorText(2).isEmpty());
  EXPECT_EQ(bytesOf(ZSystem::getErrorText(123456789)), "Unbekannter Fehler 123456789.");
}

TEST(ZSystem, EnvironmentVariablesAreTrimmed) {
  zos::setEnvironmentVariable("KALMO_TEST_VALUE", "  padded value \t");
  EXPECT_EQ(bytesOf(ZSystem::getEnvironmentVariable("KALMO_TEST_VALUE")), "padded value");
  zos::setEnvironmentVariable("KALMO_TEST_VALUE", std::string(3000, 'v').c_str());  // above the first buffer
  EXPECT_EQ(ZSystem::getEnvironmentVariable("KALMO_TEST_VALUE").getLength(), 3000);
  zos::setEnvironmentVariable("KALMO_TEST_VALUE", nullptr);
  EXPECT_TRUE(ZSystem::getEnvironmentVariable("KALMO_TEST_VALUE").isEmpty());
}

TEST(ZSystem, SpecialFolders) {
  EXPECT_FALSE(ZSystem::getSpecialFolderPath(ZSystem::folderUserAppData, 0).isEmpty());
  EXPECT_FALSE(ZSystem::getSpecialFolderPath(ZSystem::folderCommonAppData, 0).isEmpty());
  EXPECT_TRUE(ZSystem::getSpecialFolderPath(0x7F, 0).isEmpty());
}

TEST(ZFileSystemPaths, SplitsPaths) {
  struct Case {
    const char* path;
    const char* directory;
    const char* title;
    const char* name;
    const char* extension;
  } cases[] = {
      {"C:\\dir\\file.txt", "C:\\dir", "file", "file.txt", "txt"},
      {"dir/sub/tool.HEX", "dir/sub", "tool", "tool.HEX", "hex"},
      {"file", "", "file", "file", ""},
      {"a.b\\c.d.\xC4\xD6", "a.b", "c.d", "c.d.\xC4\xD6", "\xE4\xF6"},
      {"dir/", "dir", "", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(bytesOf(ZFileSystem::getDirectory(c.path)), c.directory) << c.path;
    EXPECT_EQ(bytesOf(ZFileSystem::getFileTitle(c.path)), c.title) << c.path;
    EXPECT_EQ(bytesOf(ZFileSystem::getFileName(c.path)), c.name) << c.path;
    EXPECT_EQ(bytesOf(ZFileSystem::getExtension(c.path)), c.extension) << c.path;
  }
}

TEST(ZFileSystemPaths, SystemDirectories) {
  ZString current = ZFileSystem::getCurrentDirectory();
  EXPECT_EQ(bytesOf(current), fs::current_path().string());
  EXPECT_EQ(bytesOf(ZFileSystem::getFullPathName("x.txt")), (fs::current_path() / "x.txt").string());
  ZString temp = ZFileSystem::getTempPath();
  ASSERT_FALSE(temp.isEmpty());
  EXPECT_EQ(temp.getAt(temp.getLength() - 1), zos::pathSeparator());

  ZString name = ZFileSystem::getTempFileName("kal", 0);
  ASSERT_FALSE(name.isEmpty());
  EXPECT_TRUE(bytesOf(name).compare(0, temp.getLength(), bytesOf(temp)) == 0);
  EXPECT_TRUE(fs::exists(bytesOf(name)));
  fs::remove(bytesOf(name));
}

class ZFileSystemFiles : public ::testing::Test {
 protected:
  ScratchDirectory dir;
  testsupport::MessageBoxCapture boxes;
};

TEST_F(ZFileSystemFiles, CreateDirectoryMakesEveryMissingLevel) {
  std::string deep = dir / "one/two/three";
  EXPECT_EQ(ZFileSystem::createDirectory(z(deep), 0), 1);
  EXPECT_TRUE(fs::is_directory(deep));
  EXPECT_EQ(boxes.count(), 0u);

  // A trailing separator names the same directory.
  EXPECT_EQ(ZFileSystem::createDirectory(z(dir / "four/five") + ZString(zos::pathSeparator()), 1), 1);
  EXPECT_TRUE(fs::is_directory(dir / "four/five"));
  // Without any parent the climb ends instead of going on forever.
  EXPECT_EQ(ZFileSystem::createDirectory("", 1), 0);
}

TEST_F(ZFileSystemFiles, CreateDirectoryOfAnExistingOneFails) {
  std::string existing = dir / "there";
  fs::create_directory(existing);
  EXPECT_EQ(ZFileSystem::createDirectory(z(existing), 1), 0);
  EXPECT_EQ(boxes.count(), 0u);
  EXPECT_EQ(ZFileSystem::createDirectory(z(existing), 0), 0);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.last().caption, "Fehler");
  EXPECT_EQ(boxes.last().style, 0x10u);
  EXPECT_EQ(boxes.last().text.rfind("Fehler beim Anlegen des Verzeichnisses:\r\n" + existing + "\r\n", 0), 0u)
      << boxes.last().text;
}

TEST_F(ZFileSystemFiles, CopyWithoutOverwriteReportsBothNames) {
  std::string source = dir.write("source.txt", "new");
  std::string target = dir.write("target.txt", "old");
  EXPECT_EQ(ZFileSystem::copyFile(z(source), z(target), 0, 1), 0);
  EXPECT_EQ(boxes.count(), 0u);
  EXPECT_EQ(ZFileSystem::copyFile(z(source), z(target), 0, 0), 0);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.last().caption, "Fehler !");
  EXPECT_EQ(boxes.last().text.rfind("Fehler beim Kopieren der Datei:\r\n" + source + "\r\nnach\r\n" + target +
                                        "\r\n Fehlernummer: ",
                                    0),
            0u)
      << boxes.last().text;
  EXPECT_EQ(ScratchDirectory::read(target), "old");

  EXPECT_EQ(ZFileSystem::copyFile(z(source), z(target), 1, 0), 1);
  EXPECT_EQ(ScratchDirectory::read(target), "new");
}

TEST_F(ZFileSystemFiles, DeleteFile) {
  std::string file = dir.write("gone.txt", "x");
  EXPECT_EQ(ZFileSystem::deleteFile(z(file), 0), 1);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(ZFileSystem::deleteFile(z(file), 1), 0);
  EXPECT_EQ(boxes.count(), 0u);
  EXPECT_EQ(ZFileSystem::deleteFile(z(file), 0), 0);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.last().text.rfind("Fehler beim L\xF6schen der Datei:\r\n" + file, 0), 0u);
}

TEST_F(ZFileSystemFiles, RunWaitsForTheProgramInItsDirectory) {
  ZString errorText = "stale";
  EXPECT_EQ(ZFileSystem::run(childProgram(), childRoutine("WritesAFileInItsDirectory"),
                             z(dir.path().string()), 0, &errorText, 60),
            1);
  EXPECT_EQ(bytesOf(errorText), "");
  EXPECT_EQ(ScratchDirectory::read(dir / "child.txt"), "here");
}

namespace {
int dispatched = 0;
std::intptr_t countMessage(zos::WindowHandle, unsigned, std::uintptr_t, std::intptr_t) {
  ++dispatched;
  return 0;
}
}  // namespace

// The time-out ends the wait, the program goes on, and the wait blocks instead of spinning
// while it still hands on the thread's window messages.
TEST_F(ZFileSystemFiles, RunStopsWaitingAtTheTimeOutAndLeavesTheProgramRunning) {
  zos::WindowHandle window = zos::createMessageWindow(countMessage, nullptr);
  ASSERT_NE(window, nullptr);
  dispatched = 0;
  zos::postMessage(window, zos::UserMessage + 1, 0, 0);

  ZString errorText;
  int result = -1;
  CpuUse use = measureCpuUse([&] {
    result = ZFileSystem::run(childProgram(), childRoutine("WritesAFileAfterTwoSeconds"),
                              z(dir.path().string()), 0, &errorText, 1);
  });
  EXPECT_EQ(result, 0);
  EXPECT_GE(use.elapsedMs, 900u);
  EXPECT_LT(use.elapsedMs, 1900u);
  EXPECT_LT(use.share, 0.05) << "CPU share while waiting";
  EXPECT_EQ(dispatched, 1);
  EXPECT_EQ(bytesOf(errorText), "TimeOut-Fehler bei der Ausf\xFChrung von \r\n" + bytesOf(childProgram()) + " " +
                                  bytesOf(childRoutine("WritesAFileAfterTwoSeconds")));
  EXPECT_EQ(boxes.count(), 0u);
  EXPECT_FALSE(fs::exists(dir / "late.txt"));

  // The program finishes on its own.
  for (int i = 0; i < 300 && ScratchDirectory::read(dir / "late.txt").empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(ScratchDirectory::read(dir / "late.txt"), "done");
  zos::destroyMessageWindow(window);
}

TEST_F(ZFileSystemFiles, RunOfAMissingProgram) {
  ZString program = z(dir / "no-such-program");
  ZString errorText;
  EXPECT_EQ(ZFileSystem::run(program, "-x", "", 0, &errorText, 5), 0);
  EXPECT_FALSE(errorText.isEmpty());
  EXPECT_EQ(boxes.count(), 0u);

  EXPECT_EQ(ZFileSystem::run(program, "-x", "", 0, nullptr, 5), 0);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.last().caption, "Fehler !");
  std::string text = boxes.last().text;
  EXPECT_EQ(text.rfind("Fehler bei ZFileSystem:run(..)\r\n", 0), 0u);
  EXPECT_NE(text.find("\r\n" + bytesOf(program) + " -x"), std::string::npos) << text;
}

TEST_F(ZFileSystemFiles, ShellExecuteOfAMissingFile) {
  ZString errorText;
  EXPECT_EQ(ZFileSystem::shellExecute(z(dir / "missing.txt"), "", "", 1, &errorText), 0);
  EXPECT_FALSE(errorText.isEmpty());
  EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(ZFileSystemFiles, CreateShortcut) {
  std::string link = dir / "tool.lnk";
  EXPECT_EQ(ZFileSystem::createShortcut(z(link), z(dir.write("tool.exe", "")), "Tool", z(dir.path().string()), "", 0),
            1);
  EXPECT_TRUE(fs::exists(link));
  EXPECT_EQ(ZFileSystem::createShortcut(z(dir / "missing/tool.lnk"), "x", "", "", "", 0), 0);
}

TEST_F(ZFileSystemFiles, VersionFailuresNameTheirStep) {
  EXPECT_TRUE(ZFileSystem::getVersion("", nullptr).isEmpty());
  EXPECT_EQ(boxes.count(), 0u);

  ZString errorText;
  EXPECT_TRUE(ZFileSystem::getVersion(z(dir / "missing.exe"), &errorText).isEmpty());
  EXPECT_EQ(bytesOf(errorText).rfind("[[MEMBBER]]: Fehler bei GetFileVersionInfoSize\r\n", 0), 0u);
  EXPECT_GT(errorText.getLength(), 48);  // followed by the system's text
  EXPECT_TRUE(ZFileSystem::getVersion(z(dir / "missing.exe"), nullptr).isEmpty());
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.last().caption, "Fehler !");
}

}  // namespace
