// A save that is cut off must leave the old file whole. The child processes here are stopped in
// the middle of writing by a file size limit: with the limit's signal at its default the child
// dies inside the write, as in a crash; with the signal ignored the write fails as on a full disk.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "ZEL_SYSTEM/ZFileIni.h"
#include "tests/support/DirectoryListing.h"
#include "tests/support/MessageBoxCapture.h"
#include "tests/support/ScratchDirectory.h"

namespace {

const char* const oldText = "[A]\r\nkeep=old\r\n";

// Runs a save of more than the limit allows in a child; returns the child's wait status.
int saveLargeInChild(const std::string& path, bool ignoreLimitSignal) {
  pid_t child = fork();
  if (child == 0) {
    ZFileIni ini;
    if (!ini.open(path.c_str(), 0, 0)) _exit(10);
    ini.setSectionText("Big", std::string(4 * 1024 * 1024, 'x').c_str());
    rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    rlimit limit{64 * 1024, 64 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    if (ignoreLimitSignal) signal(SIGXFSZ, SIG_IGN);
    int saved = ini.save();
    bool failedWithText = !saved && !ini.errorText.isEmpty() && ini.modified == 1;
    ini.errorText = "keeps the destructor from saving again";
    _exit(failedWithText ? 20 : 30);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return status;
}

TEST(ZFileIniSave, ProcessKilledInTheMiddleOfASaveLeavesTheOldFile) {
  ScratchDirectory dir;
  std::string path = dir.write("config.ini", oldText);
  int status = saveLargeInChild(path, false);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
  EXPECT_EQ(ScratchDirectory::read(path), oldText);
}

TEST(ZFileIniSave, FailedWriteLeavesTheOldFileAndNoTemporaryFile) {
  ScratchDirectory dir;
  std::string path = dir.write("config.ini", oldText);
  int status = saveLargeInChild(path, true);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 20) << "save fails with its text and keeps the changes pending";
  EXPECT_EQ(ScratchDirectory::read(path), oldText);
  EXPECT_EQ(directoryListing(dir.path()), "config.ini");
}

TEST(ZFileIniSave, ReplacedFileKeepsItsAccessRights) {
  ScratchDirectory dir;
  std::string path = dir.write("config.ini", oldText);
  chmod(path.c_str(), 0640);
  {
    ZFileIni ini;
    ASSERT_TRUE(ini.open(path.c_str(), 0, 0));
    ini.setValue("A", "keep", "new");
    ASSERT_TRUE(ini.save());
  }
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(ScratchDirectory::read(path), "[A]\r\nkeep=new\r\n");
}

// Root saving a user's private file (a setup script, sudo): the file stays the user's, with its
// rights, so the user can still read and change it.
TEST(ZFileIniSave, AFileSavedByAnotherUserKeepsItsOwnerAndRights) {
  if (geteuid() != 0) GTEST_SKIP() << "only the superuser can save a file that stays another user's";
  ScratchDirectory dir;
  std::string path = dir.write("config.ini", oldText);
  const uid_t user = 65534;  // nobody
  const gid_t group = 65534;
  ASSERT_EQ(chown(path.c_str(), user, group), 0);
  chmod(path.c_str(), 0600);
  {
    ZFileIni ini;
    ASSERT_TRUE(ini.open(path.c_str(), 0, 0));
    ini.setValue("A", "keep", "new");
    ASSERT_TRUE(ini.save());
  }
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, user);
  EXPECT_EQ(info.st_gid, group);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  EXPECT_EQ(ScratchDirectory::read(path), "[A]\r\nkeep=new\r\n");
}

// A configuration kept elsewhere and linked in (a chain of links, relative and absolute): the file
// at the end of the chain gets the new text, and every link stays a link.
TEST(ZFileIniSave, ASaveThroughSymbolicLinksWritesTheFileTheyPointTo) {
  ScratchDirectory dir;
  std::string target = dir.write("real/config.ini", oldText);
  std::string link = dir / "link.ini";
  std::string outer = dir / "outer.ini";
  ASSERT_EQ(symlink("real/config.ini", link.c_str()), 0);
  ASSERT_EQ(symlink(link.c_str(), outer.c_str()), 0);
  {
    ZFileIni ini;
    ASSERT_TRUE(ini.open(outer.c_str(), 0, 0));
    ini.setValue("A", "keep", "new");
    ASSERT_TRUE(ini.save());
  }
  struct stat info;
  for (const std::string& path : {link, outer}) {
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode)) << path;
  }
  EXPECT_EQ(ScratchDirectory::read(target), "[A]\r\nkeep=new\r\n");
  EXPECT_EQ(directoryListing(dir.path() / "real"), "config.ini") << "no temporary file left";
}

TEST(ZFileIniSave, AFileMadeBySaveGetsTheRightsOfTheCreationMask) {
  ScratchDirectory dir;
  std::string path = dir.write("config.ini", oldText);
  mode_t previous = umask(027);
  {
    ZFileIni ini;
    ASSERT_TRUE(ini.open(path.c_str(), 0, 0));
    ini.setValue("A", "keep", "new");
    unlink(path.c_str());
    EXPECT_TRUE(ini.save());
  }
  umask(previous);
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u) << "not the private rights of a temporary file";
}

TEST(ZFileIniSave, DirectoryWithoutWriteRightsFailsAndKeepsTheFile) {
  if (geteuid() == 0) GTEST_SKIP() << "the superuser writes anywhere";
  testsupport::MessageBoxCapture boxes;
  ScratchDirectory dir;
  std::string path = dir.write("config.ini", oldText);
  ZFileIni ini;
  ASSERT_TRUE(ini.open(path.c_str(), 0, 0));
  ini.setValue("A", "keep", "new");
  chmod(dir.path().string().c_str(), 0500);
  EXPECT_EQ(ini.save(), 0);
  EXPECT_FALSE(ini.errorText.isEmpty());
  chmod(dir.path().string().c_str(), 0700);
  EXPECT_EQ(ScratchDirectory::read(path), oldText);
  ini.errorText = "";
  EXPECT_EQ(ini.save(), 1);
}

}  // namespace
