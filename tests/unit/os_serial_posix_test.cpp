// The POSIX serial device, driven through a pseudo-terminal whose master plays the far end.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "ZEL_OS/OsClock.h"
#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsSerial.h"
#include "ZEL_OS/Unix/TestPseudoTerminal.h"
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

  std::uint32_t written = 0;
  EXPECT_TRUE(zos::writeSerial(port, control.data(), static_cast<std::uint32_t>(control.size()), written));
  EXPECT_EQ(written, control.size());
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

TEST_F(OsSerialPty, AGoneDeviceKeepsTheReadersPaceAndFailsWrites) {
  ASSERT_TRUE(apply(19200, zos::ParityNone, 8, zos::StopBitsOne));
  far.closeMaster();
  int gone = 0;
  CpuUse use = measureCpuUse([&] {
    unsigned char byte;
    for (int i = 0; i < 5; ++i) gone += zos::readSerialByte(port, 50, byte) == zos::SerialGone;
  });
  EXPECT_EQ(gone, 5);
  EXPECT_GE(use.elapsedMs, 5 * 45u);
  EXPECT_LT(use.share, 0.10);

  std::uint32_t written = 99;
  EXPECT_FALSE(zos::writeSerial(port, "x", 1, written));
  EXPECT_EQ(written, 0u);
  EXPECT_NE(zos::lastError(), 0);
}
