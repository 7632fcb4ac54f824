#include "ZEL_SYSTEM/ZFileFind.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>

#include "ZEL_OS/OsFileSystem.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZStringBytes.h"

namespace fs = std::filesystem;

namespace {


class ZFileFindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.write("a.hex", "x");
    dir.write("b.txt", "yy");
    dir.write("sub/c.hex", "z");
    dir.write("sub/deeper/d.hex", "z");
    dir.write("lib.hex/e.hex", "z");  // a directory whose name matches a file pattern
    dir.write("lib.hex/f.txt", "z");
  }
  std::string path(const std::string& name) const { return dir / name; }
  ScratchDirectory dir;
};

TEST_F(ZFileFindTest, WalksTheEntriesOfAPattern) {
  ZFileFind find;
  std::set<std::string> names, directories;
  ASSERT_EQ(find.findFirst(ZString(path("*").c_str())), 1);
  do {
    names.insert(bytesOf(find.getName()));
    if (find.isDirectory()) directories.insert(bytesOf(find.getName()));
    if (bytesOf(find.getName()) == "b.txt") {
      EXPECT_EQ(find.getSize(), 2u);
      ZTime now;
      EXPECT_NEAR(find.getWriteTime().getSeconds(), now.getSeconds(), 60);
      EXPECT_NEAR(find.getCreateTime().getSeconds(), now.getSeconds(), 60);
    }
    EXPECT_EQ(find.isDots(), bytesOf(find.getName()) == "." || bytesOf(find.getName()) == "..");
  } while (find.findNext());
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "a.hex", "b.txt", "lib.hex", "sub"}));
  EXPECT_EQ(directories, (std::set<std::string>{".", "..", "lib.hex", "sub"}));
  EXPECT_EQ(find.findNext(), 0);
  EXPECT_EQ(bytesOf(find.directory), dir.path().string());
}

TEST_F(ZFileFindTest, TheFullPathIsAbsolute) {
  ZFileFind find;
  ASSERT_EQ(find.findFirst(ZString(path("sub/c.*").c_str())), 1);
  EXPECT_EQ(bytesOf(find.getFullPath()), path("sub/c.hex"));

  // A pattern without a directory is searched in the current one, and so is its full path.
  fs::path before = fs::current_path();
  fs::current_path(dir.path() / "sub");
  ASSERT_EQ(find.findFirst("c.hex"), 1);
  EXPECT_EQ(bytesOf(find.getFullPath()), path("sub/c.hex"));
  fs::current_path(before);
}

TEST_F(ZFileFindTest, ExistsFindsFilesDirectoriesAndPatterns) {
  struct Case {
    std::string name;
    int exists;
  } cases[] = {{"a.hex", 1}, {"sub", 1}, {"sub/", 1}, {"*.txt", 1}, {"sub/c.?ex", 1},
               {"missing.hex", 0}, {"*.none", 0}, {"missing/a.hex", 0}};
  for (const Case& c : cases) EXPECT_EQ(ZFileFind::exists(ZString(path(c.name).c_str())), c.exists) << c.name;
  // Either separator leads into a directory.
  EXPECT_EQ(ZFileFind::exists(ZString((dir.path().string() + "\\sub\\c.hex").c_str())), 1);
  EXPECT_EQ(ZFileFind::exists(ZString((dir.path().string() + "/sub/c.hex").c_str())), 1);
}

TEST_F(ZFileFindTest, FindFilesVisitsOnlyMatchingSubdirectories) {
  ZStringList all;
  all.add("kept");
  EXPECT_EQ(ZFileFind::findFiles(ZString(dir.path().string().c_str()), all, "*"), 6);
  EXPECT_EQ(all.getCount(), 7);
  std::set<std::string> found;
  for (int i = 1; i < all.getCount(); ++i) found.insert(bytesOf(all.getAt(i)));
  EXPECT_EQ(found, (std::set<std::string>{path("a.hex"), path("b.txt"), path("sub/c.hex"),
                                          path("sub/deeper/d.hex"), path("lib.hex/e.hex"),
                                          path("lib.hex/f.txt")}));

  ZStringList hex;
  EXPECT_EQ(ZFileFind::findFiles(ZString(dir.path().string().c_str()), hex, "*.hex"), 2);
  found.clear();
  for (int i = 0; i < hex.getCount(); ++i) found.insert(bytesOf(hex.getAt(i)));
  EXPECT_EQ(found, (std::set<std::string>{path("a.hex"), path("lib.hex/e.hex")}));
}

}  // namespace
