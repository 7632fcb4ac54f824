// The POSIX serial device, driven through a pseudo-terminal whose master plays the far end.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ZEL_OS/OsClock.h"
#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsSerial.h"
#include "tests/support/PosixPseudoTerminal.h"
#include "tests/support/CpuUse.h"

namespace {

class OsSerialPty : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(far.isOpen());
    port = zos::openSerial(far.slavePath().c_str());
    ASSERT_NE(port, nullptr) << "errno " << zos::lastError();
  }
  void TearDown() override { zos::closeSerial(port); }

  bool apply(std::uint32_t baud, int parity, int dataBits, int stopBits) {
    return zos::applyLineSettings(port, zos::LineSettings{baud, parity, dataBits, stopBits});
  }

  std::string readAll(unsigned timeoutMs) {
    std::string got;
    unsigned char byte;
    while (zos::readSerialByte(port, timeoutMs, byte) == zos::SerialByte) got += static_cast<char>(byte);
    return got;
  }

  zos::test::PseudoTerminal far;
  zos::Handle port = nullptr;
};

}  // namespace

TEST_F(OsSerialPty, ASecondOpenOfTheDeviceFailsUntilTheFirstIsClosed) {
  zos::setLastError(0);
  EXPECT_EQ(zos::openSerial(far.slavePath().c_str()), nullptr);
  EXPECT_EQ(zos::lastError(), EBUSY);
  zos::closeSerial(port);
  port = zos::openSerial(far.slavePath().c_str());
  EXPECT_NE(port, nullptr);
}

TEST_F(OsSerialPty, LineSettingsAreTakenAsAWhole) {
  // A pseudo-terminal keeps speed and stop bits but always has 8 data bits and no parity.
  const zos::LineSettings cases[] = {
      {19200, zos::ParityNone, 8, zos::StopBitsOne},
      {115200, zos::ParityNone, 8, zos::StopBitsTwo},
      {300, zos::ParityNone, 8, zos::StopBitsOne},
  };
  for (const zos::LineSettings& wanted : cases) {
    SCOPED_TRACE(::testing::Message() << wanted.baudRate << " stop " << wanted.stopBits);
    ASSERT_TRUE(zos::applyLineSettings(port, wanted)) << "errno " << zos::lastError();
    zos::LineSettings got{};
    ASSERT_TRUE(zos::readLineSettings(port, got));
    EXPECT_EQ(got.baudRate, wanted.baudRate);
    EXPECT_EQ(got.parity, wanted.parity);
    EXPECT_EQ(got.dataBits, wanted.dataBits);
    EXPECT_EQ(got.stopBits, wanted.stopBits);
  }
}

TEST_F(OsSerialPty, AFrameTheDeviceDoesNotKeepIsReportedAsAFailure) {
  // The system takes the call but the pseudo-terminal drops parity and data bits.
  const zos::LineSettings cases[] = {
      {9600, zos::ParityEven, 7, zos::StopBitsOne},
      {9600, zos::ParityMark, 8, zos::StopBitsOne},
      {9600, zos::ParityNone, 5, zos::StopBitsOneAndHalf},
  };
  for (const zos::LineSettings& frame : cases) {
    SCOPED_TRACE(::testing::Message() << "parity " << frame.parity << " bits " << frame.dataBits);
    zos::setLastError(0);
    EXPECT_FALSE(zos::applyLineSettings(port, frame));
    EXPECT_EQ(zos::lastError(), EINVAL);
  }
}

TEST_F(OsSerialPty, SettingsTheLineCannotTakeFail) {
  ASSERT_TRUE(apply(19200, zos::ParityNone, 8, zos::StopBitsOne));
  const zos::LineSettings cases[] = {
      {14400, zos::ParityNone, 8, zos::StopBitsOne},         // no standard rate here
      {0, zos::ParityNone, 8, zos::StopBitsOne},
      {19200, 5, 8, zos::StopBitsOne},                       // no such parity
      {19200, zos::ParityNone, 9, zos::StopBitsOne},
      {19200, zos::ParityNone, 4, zos::StopBitsOne},
      {19200, zos::ParityNone, 8, zos::StopBitsOneAndHalf},  // 1.5 stop bits only with 5 data bits
      {19200, zos::ParityNone, 5, zos::StopBitsTwo},
      {19200, zos::ParityNone, 8, 3},
  };
  for (const zos::LineSettings& bad : cases) {
    SCOPED_TRACE(::testing::Message() << bad.baudRate << " parity " << bad.parity << " bits " << bad.dataBits
                                      << " stop " << bad.stopBits);
    zos::setLastError(0);
    EXPECT_FALSE(zos::applyLineSettings(port, bad));
    EXPECT_EQ(zos::lastError(), EINVAL);
  }
  zos::LineSettings kept{};
  ASSERT_TRUE(zos::readLineSettings(port, kept));
  EXPECT_EQ(kept.baudRate, 19200u);  // a refused setting changes nothing
}

TEST_F(OsSerialPty, RawModePassesEveryByteUnchangedBothWays) {
  ASSERT_TRUE(apply(19200, zos::ParityNone, 8, zos::StopBitsOne));
  zos::raiseDtrRts(port);  // refused by a pseudo-terminal, without harm
  EXPECT_TRUE(zos::setSerialTimeouts(port));
  const std::string control("\r\n\x03\x11\x13\x1a\x7f\x00\xff", 9);  // CR, LF, ^C, XON, XOFF, ^Z, DEL, NUL, 0xFF
  ASSERT_TRUE(far.write(control));
  EXPECT_EQ(readAll(200), control);
  EXPECT_EQ(far.read(100, 50), "");  // nothing was echoed

  EXPECT_EQ(zos::writeSerial(port, control.data(), static_cast<std::uint32_t>(control.size())), zos::SerialWritten);
  EXPECT_EQ(far.read(control.size(), 1000), control);
}

TEST_F(OsSerialPty, RestoringTheSavedStateUndoesTheSettings) {
  zos::LineSettings before{};
  zos::LineState saved;
  ASSERT_TRUE(zos::readLineState(port, saved));
  ASSERT_TRUE(zos::readLineSettings(port, before));
  ASSERT_TRUE(apply(before.baudRate == 1200 ? 2400 : 1200, zos::ParityNone, 8, zos::StopBitsTwo));
  ASSERT_TRUE(zos::restoreLineState(port, saved));
  zos::LineSettings after{};
  ASSERT_TRUE(zos::readLineSettings(port, after));
  EXPECT_EQ(after.baudRate, before.baudRate);
  EXPECT_EQ(after.parity, before.parity);
  EXPECT_EQ(after.dataBits, before.dataBits);
  EXPECT_EQ(after.stopBits, before.stopBits);
}

TEST_F(OsSerialPty, AReadWaitsForTheByteOrForItsTime) {
  ASSERT_TRUE(apply(19200, zos::ParityNone, 8, zos::StopBitsOne));
  unsigned char byte = 0;
  std::uint32_t start = zos::tickCount();
  EXPECT_EQ(zos::readSerialByte(port, 50, byte), zos::SerialNoByte);
  EXPECT_GE(zos::tickCount() - start, 45u);
  EXPECT_EQ(zos::readSerialByte(port, 0, byte), zos::SerialNoByte);

  ASSERT_TRUE(far.write("Z"));
  start = zos::tickCount();
  EXPECT_EQ(zos::readSerialByte(port, 2000, byte), zos::SerialByte);
  EXPECT_LT(zos::tickCount() - start, 1000u);
  EXPECT_EQ(byte, 'Z');
}

TEST_F(OsSerialPty, PurgeDiscardsWhatWasReceivedButNotRead) {
  ASSERT_TRUE(apply(19200, zos::ParityNone, 8, zos::StopBitsOne));
  ASSERT_TRUE(far.write("ABC"));
  unsigned char byte = 0;
  ASSERT_EQ(zos::readSerialByte(port, 1000, byte), zos::SerialByte);
  EXPECT_EQ(byte, 'A');
  EXPECT_TRUE(zos::purgeSerial(port));
  EXPECT_EQ(zos::readSerialByte(port, 30, byte), zos::SerialNoByte);
}

TEST_F(OsSerialPty, AWriteThatNobodyTakesTimesOut) {
  // Nobody reads the far end: the line's buffer fills, and a write waits its length + 1000 ms.
  ASSERT_TRUE(apply(19200, zos::ParityNone, 8, zos::StopBitsOne));
  const std::string block(512, 'x');
  zos::SerialWriteResult result = zos::SerialWritten;
  std::uint32_t start = 0;
  for (int i = 0; i < 2048 && result == zos::SerialWritten; ++i) {
    start = zos::tickCount();
    result = zos::writeSerial(port, block.data(), static_cast<std::uint32_t>(block.size()));
  }
  EXPECT_EQ(result, zos::SerialWriteTimedOut);
  EXPECT_EQ(zos::lastError(), ETIMEDOUT);
  EXPECT_GE(zos::tickCount() - start, 512u + 1000u - 50u);
}

TEST_F(OsSerialPty, AGoneDeviceEndsTheReadAtOnceAndFailsWrites) {
  ASSERT_TRUE(apply(19200, zos::ParityNone, 8, zos::StopBitsOne));
  far.closeMaster();
  zos::SerialReadResult results[3];
  CpuUse use = measureCpuUse([&] {
    unsigned char byte;
    for (zos::SerialReadResult& result : results) {
      zos::setLastError(0);
      result = zos::readSerialByte(port, 2000, byte);
    }
  });
  for (zos::SerialReadResult result : results) EXPECT_EQ(result, zos::SerialGone);
  EXPECT_EQ(zos::lastError(), EIO) << "a hung-up terminal reads as end of file";
  EXPECT_LT(use.elapsedMs, 500u) << "the reads did not wait out their time";

  zos::setLastError(0);
  EXPECT_EQ(zos::writeSerial(port, "x", 1), zos::SerialWriteFailed);
  EXPECT_EQ(zos::lastError(), EIO);
}

TEST(OsSerialOpenRefusal, TellsMissingRightsAndABusyDeviceFromTheRest) {
  EXPECT_EQ(zos::serialOpenRefusal(EACCES), zos::SerialRefusedNoRights);
  EXPECT_EQ(zos::serialOpenRefusal(EPERM), zos::SerialRefusedNoRights);
  EXPECT_EQ(zos::serialOpenRefusal(EBUSY), zos::SerialRefusedInUse);
  EXPECT_EQ(zos::serialOpenRefusal(ENOENT), zos::SerialRefusedOther);
  EXPECT_EQ(zos::serialOpenRefusal(EIO), zos::SerialRefusedOther);
}

// A stand-in device file in a folder of its own, owned by the given group with the given mode.
class DeviceFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kalmo-devgroup-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
    path = folder + "/ttyUSB0";
    FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
  }
  void TearDown() override {
    std::remove(path.c_str());
    rmdir(folder.c_str());
  }
  void own(gid_t group, mode_t mode) {
    ASSERT_EQ(chown(path.c_str(), 0, group), 0) << "the tests run as root";
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
  }

  std::string folder;
  std::string path;
};

TEST_F(DeviceFile, TheGroupIsNamedOnlyWhereJoiningItHelps) {
  group* dialout = getgrnam("dialout");
  if (!dialout) GTEST_SKIP() << "no dialout group here";
  const gid_t unnamed = 54321;
  ASSERT_EQ(getgrgid(unnamed), nullptr);
  struct Case {
    gid_t group;
    mode_t mode;
    std::string named;
  } cases[] = {
      {dialout->gr_gid, 0660, "dialout"},
      {dialout->gr_gid, 0666, "dialout"},
      {unnamed, 0660, "54321"},          // a group without a name, by its number
      {dialout->gr_gid, 0620, ""},       // the group may not read: joining it does not help
      {dialout->gr_gid, 0600, ""},
      {0, 0660, ""},                     // the root group is no advice to give
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "group " << c.group << " mode " << std::oct << c.mode);
    own(c.group, c.mode);
    EXPECT_EQ(zos::serialDeviceGroup(path.c_str()), c.named);
  }
  EXPECT_EQ(zos::serialDeviceGroup((folder + "/ttyUSB9").c_str()), "");
}
