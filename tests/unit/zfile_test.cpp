#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ZEL_OS/OsFileSystem.h"
#include "ZEL_SYSTEM/ZFile.h"
#include "ZEL_SYSTEM/ZFileSystem.h"
#include "ZEL_SYSTEM/ZMem.h"
#include "tests/support/MessageBoxCapture.h"
#include "tests/support/ScratchDirectory.h"

namespace {

class ZFileTest : public ::testing::Test {
 protected:
  testsupport::MessageBoxCapture boxes;
  ScratchDirectory dir;
};

TEST_F(ZFileTest, ModesWithoutTextOrBinaryLetterOpenBinary) {
  std::string path = dir.write("crlf.txt", "a\r\nb\r\n");
  for (const char* mode : {"r", "rT", "rb"}) {
    SCOPED_TRACE(mode);
    ZFile file;
    ASSERT_TRUE(file.open(path.c_str(), mode, 1));
    EXPECT_EQ(std::string(file.readText(-1)), "a\r\nb\r\n") << "no line ends translated";
  }
}

TEST_F(ZFileTest, EmptyNameIsShownAndTouchesNothing) {
  ZFile file;
  EXPECT_EQ(file.open("", "rb", 0), 0);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.boxes()[0].caption, "Fehler ZFile::open(..)");
  EXPECT_EQ(boxes.boxes()[0].text,
            "Fehler beim \xF6" "ffnen der Datei, es wurde kein Dateiname \xFC" "bergeben.");
  EXPECT_EQ(boxes.boxes()[0].style, 0x10u);
  EXPECT_FALSE(file.isOpen());
}

TEST_F(ZFileTest, MissingFileFailsQuietlyWithItsNameAndTheSystemText) {
  std::string path = (dir / "missing.bin");
  ZFile file;
  EXPECT_EQ(file.open(path.c_str(), "rb", 1), 0);
  EXPECT_TRUE(boxes.count() == 0);
  std::string expectedStart = "Fehler beim \xF6" "ffnen der Datei '" + path + "'\r\n";
  std::string text(file.errorText);
  EXPECT_EQ(text.substr(0, expectedStart.size()), expectedStart);
  EXPECT_GT(text.size(), expectedStart.size()) << "the system's text follows";

  EXPECT_EQ(file.open(path.c_str(), "rb", 0), 0);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, text);
}

TEST_F(ZFileTest, PositionsAndSize) {
  std::string path = dir.write("data.bin", std::string(300, 'x'));
  ZFile file;
  ASSERT_TRUE(file.open(path.c_str(), "r+b", 1));
  EXPECT_EQ(std::string(file.getFileName()), std::string(ZFileSystem::getFullPathName(path.c_str())));
  EXPECT_EQ(std::string(file.getName()), "data.bin");

  ASSERT_TRUE(file.seek(100, 2));
  EXPECT_EQ(file.tell(), 200);
  ASSERT_TRUE(file.seek(-100, 2));
  EXPECT_EQ(file.tell(), 200);
  ASSERT_TRUE(file.seek(-50, 1));
  EXPECT_EQ(file.getSize(), 300);
  EXPECT_EQ(file.tell(), 150) << "getSize leaves the position";

  EXPECT_EQ(file.write("", 0), 1);
  EXPECT_EQ(file.truncate(120), 1);
  EXPECT_EQ(file.getSize(), 120);
  EXPECT_EQ(file.tell(), 120);
  file.close();
  EXPECT_EQ(ScratchDirectory::read(path).size(), 120u);
  EXPECT_EQ(std::string(file.getFileName()), "");
}

TEST_F(ZFileTest, ReadTextKeepsItsLengthAndAnEmptyFileGivesAnEmptyText) {
  std::string path = dir.write("short.txt", "abc");
  ZFile file;
  ASSERT_TRUE(file.open(path.c_str(), "rb", 1));
  ZString text = file.readText(5);
  EXPECT_EQ(text.getLength(), 5);
  EXPECT_EQ(std::string(text), "abc  ");

  dir.write("empty.txt", "");
  ASSERT_TRUE(file.open((dir / "empty.txt").c_str(), "rb", 1));
  EXPECT_EQ(file.readText(-1).getLength(), 0);
}

TEST_F(ZFileTest, ClosedFileReadAndSizeAreShown) {
  ZFile file;
  char buffer[4];
  EXPECT_EQ(file.read(buffer, 4), 0);
  EXPECT_EQ(file.getSize(), 0);
  EXPECT_EQ(file.write("x", 1), 0);
  EXPECT_EQ(file.seek(0, 0), 0);
  ASSERT_EQ(boxes.count(), 2u);
  EXPECT_EQ(boxes.boxes()[0].caption, "Fehler ZFile::read(..)");
  EXPECT_EQ(boxes.boxes()[0].text, "Fehler beim lesen der Datei.\r\nDie Datei wurde noch nicht ge\xF6" "ffnet.");
  EXPECT_EQ(boxes.boxes()[1].caption, "Fehler !");
  EXPECT_EQ(boxes.boxes()[1].text,
            "Fehler, ZFile::getSize()\r\nDiese Funktion kann nur auf auf eine ge\xF6"
            "ffnete Datei angewendet werden.");
  EXPECT_EQ(boxes.boxes()[1].style, 0x10u);
}

TEST_F(ZFileTest, ReopenEmptyEmptiesTheSameFile) {
  std::string path = dir.write("log.txt", "old content");
  ZFile file;
  ASSERT_TRUE(file.open(path.c_str(), "rb", 1));
  ASSERT_TRUE(file.reopenEmpty());
  ASSERT_TRUE(file.writeText("new"));
  file.close();
  EXPECT_EQ(ScratchDirectory::read(path), "new");
}

TEST_F(ZFileTest, TempFileIsNewEmptyAndInTheDirectory) {
  ZFile first, second;
  ASSERT_TRUE(first.createTempFile("tst", dir.path().string().c_str()));
  ASSERT_TRUE(second.createTempFile("tst", dir.path().string().c_str()));
  std::string name(first.getFileName());
  EXPECT_NE(name, std::string(second.getFileName()));
  EXPECT_EQ(std::string(ZFileSystem::getDirectory(first.getFileName())),
            std::string(ZFileSystem::getFullPathName(dir.path().string().c_str())));
  EXPECT_EQ(std::string(first.getName()).substr(0, 3), "tst");
  EXPECT_EQ(first.getSize(), 0);
  ASSERT_TRUE(first.writeText("tmp"));
  first.close();
  EXPECT_EQ(ScratchDirectory::read(name), "tmp");

  ZFile inSystemFolder;
  ASSERT_TRUE(inSystemFolder.createTempFile("tst", ""));
  std::string systemName(inSystemFolder.getFileName());
  EXPECT_EQ(std::string(ZFileSystem::getDirectory(systemName.c_str())) +
                std::string(1, zos::pathSeparator()),
            std::string(ZFileSystem::getTempPath()));
  inSystemFolder.close();
  std::remove(systemName.c_str());
}

TEST_F(ZFileTest, WholeFileHelpers) {
  std::string path = (dir / "whole.bin");
  ASSERT_TRUE(ZFile::writeFile(path.c_str(), ZString("one\0two", 7)));
  EXPECT_EQ(ScratchDirectory::read(path), std::string("one\0two", 7));
  EXPECT_EQ(ZFile::readFile(path.c_str()).getLength(), 7);

  ZMem block(0);
  ASSERT_TRUE(ZFile::readFile(path.c_str(), block));
  ASSERT_EQ(block.getSize(), 7);
  block.append("!", 1);
  ASSERT_TRUE(ZFile::writeFile(path.c_str(), block));
  EXPECT_EQ(ScratchDirectory::read(path), std::string("one\0two!", 8));
  EXPECT_TRUE(boxes.count() == 0);
}

// The text helpers are quiet without an error text pointer, the block helpers with one.
TEST_F(ZFileTest, ADirectoryOpenedAsAFileFailsWithTheSystemText) {
  const std::string path = dir.path().string();
  ZFile file;
  EXPECT_EQ(file.open(path.c_str(), "rb", 1), 0);
  EXPECT_FALSE(file.isOpen());
  std::string expectedStart = "Fehler beim \xF6" "ffnen der Datei '" + path + "'\r\n";
  std::string text(file.errorText);
  EXPECT_EQ(text.substr(0, expectedStart.size()), expectedStart);
  EXPECT_GT(text.size(), expectedStart.size()) << "the system's text follows";

  ZString error;
  ZMem block(0);
  EXPECT_FALSE(ZFile::readFile(path.c_str(), block, &error));
  EXPECT_EQ(std::string(error), text);
  EXPECT_TRUE(boxes.count() == 0);
}

TEST_F(ZFileTest, WholeFileFailuresAreShownOrReturnedByTheirPointer) {
  std::string missing = (dir / "missing.bin");
  std::string inMissingDir = (dir / "none/out.bin");

  EXPECT_EQ(ZFile::readFile(missing.c_str()).getLength(), 0);
  EXPECT_FALSE(ZFile::writeFile(inMissingDir.c_str(), ZString("x")));
  EXPECT_TRUE(boxes.count() == 0);

  ZString error;
  ZMem block(0);
  EXPECT_FALSE(ZFile::readFile(missing.c_str(), block, &error));
  EXPECT_TRUE(boxes.count() == 0);
  EXPECT_NE(std::string(error).find(missing), std::string::npos);

  error = "";
  EXPECT_FALSE(ZFile::writeFile(inMissingDir.c_str(), ZString("x"), &error));
  EXPECT_EQ(boxes.count(), 1u);
  EXPECT_NE(std::string(error).find(inMissingDir), std::string::npos);

  EXPECT_FALSE(ZFile::writeFile(inMissingDir.c_str(), block));
  EXPECT_EQ(boxes.count(), 2u);
}

}  // namespace
