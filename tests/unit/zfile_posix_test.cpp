// Streams without a size: a FIFO has no position, so the whole-file reads fail instead of giving
// an empty success.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "ZEL_SYSTEM/ZFile.h"
#include "ZEL_SYSTEM/ZMem.h"
#include "tests/support/MessageBoxCapture.h"
#include "tests/support/ScratchDirectory.h"

namespace {

TEST(ZFilePosix, AStreamWithoutASizeFailsTheWholeFileReads) {
  testsupport::MessageBoxCapture boxes;
  ScratchDirectory dir;
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Held open for writing too, so that opening it for reading does not wait for a writer.
  const int keepOpen = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(keepOpen, 0);

  ZFile file;
  ASSERT_TRUE(file.open(fifo.c_str(), "rb", 1));
  EXPECT_EQ(file.getSize(), -1);
  EXPECT_FALSE(file.errorText.isEmpty());
  file.close();

  ZString error;
  ZMem block(0);
  EXPECT_FALSE(ZFile::readFile(fifo.c_str(), block, &error));
  EXPECT_FALSE(error.isEmpty());
  error = "";
  EXPECT_EQ(ZFile::readFile(fifo.c_str(), &error).getLength(), 0);
  EXPECT_FALSE(error.isEmpty());
  EXPECT_TRUE(boxes.count() == 0);
  ::close(keepOpen);
}

}  // namespace
