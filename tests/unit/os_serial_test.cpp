// What every platform can show without a serial device.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "ZEL_OS/OsClock.h"
#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsSerial.h"

TEST(OsSerial, OpeningAPortThatDoesNotExistFailsWithTheSystemsNumber) {
  for (const char* name : {"COM250", "com251"}) {
    SCOPED_TRACE(name);
    zos::setLastError(0);
    EXPECT_EQ(zos::openSerial(name), nullptr);
    EXPECT_NE(zos::lastError(), 0);
  }
}

// A real port whose far end echoes every byte, named by KALMO_SERIAL_ECHO_PORT (for instance a
// pseudo-terminal with an echoing master, mapped into Wine's devices as a COM port).
TEST(OsSerial, TalksToAnEchoingPortWhenOneIsGiven) {
  const char* name = std::getenv("KALMO_SERIAL_ECHO_PORT");
  if (!name || !*name) GTEST_SKIP() << "KALMO_SERIAL_ECHO_PORT names no port";
  zos::Handle port = zos::openSerial(name);
  ASSERT_NE(port, nullptr) << "error " << zos::lastError();

  zos::LineState atOpen;
  EXPECT_TRUE(zos::readLineState(port, atOpen));
  ASSERT_TRUE(zos::applyLineSettings(port, zos::LineSettings{19200, zos::ParityNone, 8, zos::StopBitsOne}))
      << "error " << zos::lastError();
  zos::LineSettings got{};
  ASSERT_TRUE(zos::readLineSettings(port, got));
  EXPECT_EQ(got.baudRate, 19200u);
  EXPECT_EQ(got.parity, zos::ParityNone);
  EXPECT_EQ(got.dataBits, 8);
  EXPECT_EQ(got.stopBits, zos::StopBitsOne);
  ASSERT_TRUE(zos::setSerialTimeouts(port));
  zos::raiseDtrRts(port);
  EXPECT_TRUE(zos::purgeSerial(port));

  unsigned char byte = 0;
  std::uint32_t start = zos::tickCount();
  EXPECT_EQ(zos::readSerialByte(port, 50, byte), zos::SerialNoByte);
  EXPECT_GE(zos::tickCount() - start, 40u);

  const std::string text("ping\r\n\x00\xff", 8);
  ASSERT_EQ(zos::writeSerial(port, text.data(), static_cast<std::uint32_t>(text.size())), zos::SerialWritten);
  std::string echoed;
  for (int step = 0; step < 40 && echoed.size() < text.size(); ++step) {
    if (zos::readSerialByte(port, 50, byte) == zos::SerialByte) echoed += static_cast<char>(byte);
  }
  EXPECT_EQ(echoed, text);

  EXPECT_TRUE(zos::restoreLineState(port, atOpen));
  zos::closeSerial(port);
  port = zos::openSerial(name);
  EXPECT_NE(port, nullptr);
  zos::closeSerial(port);
}
