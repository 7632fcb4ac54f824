// The file-system layer on real temporary directories.
#include "ZEL_OS/OsFileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "ZEL_OS/OsError.h"
#include "tests/support/ScratchDirectory.h"

namespace fs = std::filesystem;

namespace {

std::vector<zos::FindData> findAll(const std::string& pattern) {
  std::vector<zos::FindData> found;
  zos::FindData data;
  zos::Handle search = zos::findFirstFile(pattern.c_str(), data);
  if (!search) return found;
  do {
    found.push_back(data);
  } while (zos::findNextFile(search, data));
  zos::findClose(search);
  return found;
}

std::set<std::string> namesOf(const std::vector<zos::FindData>& entries) {
  std::set<std::string> names;
  for (const zos::FindData& entry : entries) names.insert(entry.name);
  return names;
}

class OsFileSystem : public ::testing::Test {
 protected:
  ScratchDirectory dir;
  std::string sep = std::string(1, zos::pathSeparator());
};

TEST_F(OsFileSystem, FindsEntriesByPattern) {
  dir.write("a.txt", "12345");
  dir.write("b.txt", "");
  dir.write("c.hex", ":00000001FF\n");
  fs::create_directory(dir.path() / "sub");
  std::string base = dir.path().string();

  struct Case {
    std::string pattern;
    std::set<std::string> names;
  } cases[] = {
      {"*", {".", "..", "a.txt", "b.txt", "c.hex", "sub"}},
      {"*.*", {".", "..", "a.txt", "b.txt", "c.hex", "sub"}},  // also names without a dot
      {"*.txt", {"a.txt", "b.txt"}},
      {"?.hex", {"c.hex"}},
      {"a*t", {"a.txt"}},
      {"sub", {"sub"}},
      {"c.hex", {"c.hex"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(namesOf(findAll(base + sep + c.pattern)), c.names) << c.pattern;
  }
  // Both separators lead into the directory.
  EXPECT_EQ(namesOf(findAll(base + "/" + "*.hex")), std::set<std::string>{"c.hex"});
  EXPECT_EQ(namesOf(findAll(base + "\\" + "*.hex")), std::set<std::string>{"c.hex"});

  zos::FindData data;
  EXPECT_EQ(zos::findFirstFile((base + sep + "*.none").c_str(), data), nullptr);
  EXPECT_EQ(zos::findFirstFile((base + sep + "missing" + sep + "*").c_str(), data), nullptr);
}

TEST_F(OsFileSystem, EntriesCarryAttributesSizeAndTimes) {
  dir.write("a.txt", "12345");
  fs::create_directory(dir.path() / "sub");
  std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  for (const zos::FindData& entry : findAll(dir.path().string() + sep + "*")) {
    std::string name = entry.name;
    if (name == "sub" || name == "." || name == "..") {
      EXPECT_TRUE(entry.attributes & zos::fileAttributeDirectory) << name;
    } else {
      EXPECT_FALSE(entry.attributes & zos::fileAttributeDirectory);
      EXPECT_EQ(entry.size, 5u);
      EXPECT_NEAR(static_cast<double>(entry.writeTime), static_cast<double>(now), 60);
      EXPECT_NEAR(static_cast<double>(entry.createTime), static_cast<double>(now), 60);
    }
  }
}

TEST_F(OsFileSystem, FullPathResolvesRelativeParts) {
  std::string current;
  ASSERT_TRUE(zos::currentDirectory(current));
  std::string full;
  ASSERT_TRUE(zos::fullPathName("x/../b/./c.txt", full));
  std::string expected = current;
  if (expected.back() != zos::pathSeparator()) expected += sep;
  EXPECT_EQ(full, expected + "b" + sep + "c.txt");
  ASSERT_TRUE(zos::fullPathName((dir.path().string() + sep + "no" + sep + "such").c_str(), full));
  EXPECT_EQ(full, dir.path().string() + sep + "no" + sep + "such");
}

TEST_F(OsFileSystem, TempPathAndTempFileNames) {
  std::string temp;
  ASSERT_TRUE(zos::tempPath(temp));
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), zos::pathSeparator());

  std::string first, second;
  ASSERT_TRUE(zos::tempFileName(dir.path().string().c_str(), "kal", 0, first));
  ASSERT_TRUE(zos::tempFileName(dir.path().string().c_str(), "kal", 0, second));
  EXPECT_NE(first, second);
  EXPECT_TRUE(fs::exists(first));
  EXPECT_TRUE(fs::exists(second));
  EXPECT_EQ(fs::path(first).parent_path(), dir.path());
  EXPECT_EQ(fs::path(first).filename().string().substr(0, 3), "kal");

  std::string numbered;
  ASSERT_TRUE(zos::tempFileName(dir.path().string().c_str(), "kal", 0x1234, numbered));
  EXPECT_EQ(fs::path(numbered).filename().string(), "kal1234.tmp");
  EXPECT_FALSE(fs::exists(numbered));  // a given number only names the file

  EXPECT_FALSE(zos::tempFileName((dir / "missing").c_str(), "kal", 0, numbered));
}

TEST_F(OsFileSystem, SplitsPaths) {
  std::string drive, directory, title, extension;
  zos::splitPath("dir/sub\\file.tar.gz", drive, directory, title, extension);
  EXPECT_EQ(directory, "dir/sub\\");
  EXPECT_EQ(title, "file.tar");
  EXPECT_EQ(extension, ".gz");
  zos::splitPath("name", drive, directory, title, extension);
  EXPECT_EQ(drive + directory + extension, "");
  EXPECT_EQ(title, "name");
}

TEST_F(OsFileSystem, CreatesOneDirectoryAndTellsAMissingParent) {
  std::string child = dir / "a";
  EXPECT_TRUE(zos::createDirectory(child.c_str()));
  EXPECT_TRUE(fs::is_directory(child));

  EXPECT_FALSE(zos::createDirectory(child.c_str()));  // it exists
  EXPECT_FALSE(zos::isPathNotFound(zos::lastError()));

  EXPECT_FALSE(zos::createDirectory((dir / "x/y/z").c_str()));
  EXPECT_TRUE(zos::isPathNotFound(zos::lastError()));
  EXPECT_FALSE(fs::exists(dir / "x"));
}

TEST_F(OsFileSystem, DeletesFiles) {
  std::string file = dir.write("gone.txt", "x");
  EXPECT_TRUE(zos::deleteFile(file.c_str()));
  EXPECT_FALSE(fs::exists(file));
  zos::setLastError(0);
  EXPECT_FALSE(zos::deleteFile(file.c_str()));
  EXPECT_NE(zos::lastError(), 0);
}

TEST_F(OsFileSystem, CopiesFiles) {
  std::string source = dir.write("source.bin", std::string("a\0b\r\nc", 6));
  std::string target = dir.write("target.bin", "old");

  EXPECT_FALSE(zos::copyFile(source.c_str(), target.c_str(), true));
  EXPECT_NE(zos::lastError(), 0);
  EXPECT_EQ(ScratchDirectory::read(target), "old");

  EXPECT_TRUE(zos::copyFile(source.c_str(), target.c_str(), false));
  EXPECT_EQ(ScratchDirectory::read(target), std::string("a\0b\r\nc", 6));

  std::string fresh = dir / "fresh.bin";
  EXPECT_TRUE(zos::copyFile(source.c_str(), fresh.c_str(), true));
  EXPECT_EQ(ScratchDirectory::read(fresh), std::string("a\0b\r\nc", 6));

  // Onto itself: refused, and the file keeps its content.
  EXPECT_FALSE(zos::copyFile(source.c_str(), source.c_str(), false));
  EXPECT_EQ(ScratchDirectory::read(source), std::string("a\0b\r\nc", 6));

  EXPECT_FALSE(zos::copyFile((dir / "missing").c_str(), fresh.c_str(), false));
}

TEST_F(OsFileSystem, TruncatesAStreamAtAPosition) {
  std::string file = dir / "cut.bin";
  std::FILE* stream = std::fopen(file.c_str(), "w+b");
  ASSERT_NE(stream, nullptr);
  std::string content(100, 'z');
  std::fwrite(content.data(), 1, content.size(), stream);
  std::fseek(stream, 10, SEEK_SET);
  EXPECT_TRUE(zos::truncateStream(stream, 10));
  std::fclose(stream);
  EXPECT_EQ(fs::file_size(file), 10u);
}

TEST_F(OsFileSystem, ReadsEnvironmentVariables) {
  std::string value;
  EXPECT_TRUE(zos::environmentVariable("PATH", value));
  EXPECT_FALSE(value.empty());
  EXPECT_FALSE(zos::environmentVariable("KALMO_SURELY_NOT_SET_42", value));
  EXPECT_TRUE(value.empty());
}

TEST_F(OsFileSystem, NamesTheApplicationDataFolders) {
  std::string user, common;
  EXPECT_TRUE(zos::specialFolderPath(zos::folderUserAppData, false, user));
  EXPECT_FALSE(user.empty());
  EXPECT_TRUE(zos::specialFolderPath(zos::folderCommonAppData, false, common));
  EXPECT_FALSE(common.empty());
  EXPECT_NE(user, common);
}

}  // namespace
