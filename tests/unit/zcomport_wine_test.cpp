// The serial port on a real device of the system: the COM port named by KALMO_TEST_COM_PORT, whose
// far end is the programmer simulator (under Wine, a pseudo-terminal mapped as a COM port; see
// tests/wine). Without that variable every test is skipped. The test of a vanishing line runs only
// where KALMO_TEST_LINE_VANISHES is set: its simulator closes the line after the first command.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ZEL_OS/OsClock.h"
#include "ZEL_OS/OsSerial.h"
#include "ZEL_SYSTEM/ZComPort.h"
#include "ZEL_SYSTEM/ZMem.h"
#include "ZEL_UTIL/ZString.h"
#include "tests/support/ZStringBytes.h"

namespace {

const char preamble[] = "\xE6\xB5\xBA\xB9\xB2\xB3\xA9";

ZString text(const std::string& bytes) { return ZString(bytes.data(), static_cast<int>(bytes.size())); }

std::string bytesOf(const ZMem& block, int count) {
  return std::string(reinterpret_cast<const char*>(block.getData()), static_cast<std::size_t>(count));
}


class DevicePort : public testing::Test {
 protected:
  void SetUp() override {
    const char* name = std::getenv("KALMO_TEST_COM_PORT");
    if (!name || !*name) GTEST_SKIP() << "KALMO_TEST_COM_PORT names no port";
    portName = name;
    port.settings.set(text(portName + ",19200,N,8,1"));
  }
  void TearDown() override { port.close(0); }

  // Sends a preamble command and waits for its line.
  int command(const std::string& token, ZString& answer) {
    port.purge();
    if (!port.write(text(preamble + token))) return 0;
    return port.readString(answer, 500, "\n");
  }

  // Sends a programming command and waits for its carriage return.
  int confirmed(const std::string& bytes, int timeout = 1000) {
    if (!port.write(text(bytes))) return 0;
    ZMem answer;
    return port.readUntil(answer, timeout, "\r");
  }

  std::string portName;
  ZComPort port;
};

TEST_F(DevicePort, OpenSetsTheLineAndCloseZeroPutsBackWhatItFound) {
  // Leave a line of another shape on the device first.
  zos::LineState before;
  {
    zos::Handle raw = zos::openSerial(portName.c_str());
    ASSERT_NE(nullptr, raw);
    ASSERT_TRUE(zos::applyLineSettings(raw, zos::LineSettings{4800, zos::ParityNone, 8, zos::StopBitsTwo}));
    ASSERT_TRUE(zos::readLineState(raw, before));
    zos::closeSerial(raw);
  }

  ASSERT_EQ(1, port.open("", nullptr)) << port.errorText.getBuffer();
  EXPECT_TRUE(port.isOpen());
  port.close(0);
  EXPECT_FALSE(port.isOpen());

  zos::Handle raw = zos::openSerial(portName.c_str());
  ASSERT_NE(nullptr, raw) << "close releases the device";
  zos::LineState after;
  ASSERT_TRUE(zos::readLineState(raw, after));
  EXPECT_EQ(0, std::memcmp(before.bytes, after.bytes, sizeof before.bytes));
  zos::closeSerial(raw);

  // close(1) keeps the line as the port set it.
  ASSERT_EQ(1, port.open("", nullptr));
  port.close(1);
  raw = zos::openSerial(portName.c_str());
  ASSERT_NE(nullptr, raw);
  zos::LineSettings kept{};
  ASSERT_TRUE(zos::readLineSettings(raw, kept));
  EXPECT_EQ(19200u, kept.baudRate);
  EXPECT_EQ(8, kept.dataBits);
  EXPECT_EQ(zos::ParityNone, kept.parity);
  EXPECT_EQ(zos::StopBitsOne, kept.stopBits);
  zos::closeSerial(raw);
}

TEST_F(DevicePort, OpenRefusesAMissingPortAndASecondOpen) {
  ZComPort missing;
  EXPECT_EQ(0, missing.open("COM199", nullptr));
  EXPECT_FALSE(missing.isOpen());
  EXPECT_EQ("Der Port COM199 konnte nicht ge\xF6" "ffnet werden.", bytesOf(missing.errorText));

  ASSERT_EQ(1, port.open("", nullptr));
  EXPECT_EQ(0, port.open("", nullptr));
  // The settings keep the port name in lower case.
  EXPECT_EQ("Der Port " + bytesOf(port.settings.port) + " ist bereits ge\xF6" "ffnet.", bytesOf(port.errorText));
  ZString answer;
  EXPECT_EQ(1, command("d", answer)) << "the first handle stays usable";
}

TEST_F(DevicePort, CommandsAndTheirAnswersCrossTheLine) {
  ASSERT_EQ(1, port.open("", nullptr));
  ZString answer;
  ASSERT_EQ(1, command("p", answer));
  EXPECT_EQ("OK\n", bytesOf(answer));
  ASSERT_EQ(1, command("+", answer));
  EXPECT_EQ("OK\n", bytesOf(answer));

  EXPECT_EQ(1, port.writeByte(0x153));  // the low byte: 'S', which the device answers with its name
  EXPECT_EQ(1, port.readStringCount(answer, 1000, 7));
  EXPECT_EQ("KALMSIM", bytesOf(answer));

  // The port closes and opens again on the same device, as every dialog key does.
  port.close(0);
  ASSERT_EQ(1, port.open("", nullptr));
  ASSERT_EQ(1, command("r", answer));
  EXPECT_EQ("OK\n", bytesOf(answer));
}

TEST_F(DevicePort, AReadWithoutAnAnswerRunsIntoItsTimeOut) {
  ASSERT_EQ(1, port.open("", nullptr));
  ZString answer;
  std::uint32_t start = zos::tickCount();
  EXPECT_EQ(0, port.readString(answer, 300, "\n"));
  std::uint32_t spent = zos::tickCount() - start;
  EXPECT_GE(spent, 250u);
  EXPECT_LT(spent, 3000u);
  EXPECT_TRUE(answer.isEmpty());

  EXPECT_EQ(1, port.writeByte('b'));  // the block size query: 'Y' and two bytes
  ZMem reply;
  ASSERT_EQ(1, port.readCount(reply, 200, 3));
  EXPECT_EQ(std::string("Y\x00\x80", 3), bytesOf(reply, 3));
}

TEST_F(DevicePort, ABlockGoesIntoFlashAndComesBackWhole) {
  const int size = 1024;
  std::string data;
  for (int i = 0; i < size; ++i) data += static_cast<char>((i * 7 + 3) & 0xFF);

  ASSERT_EQ(1, port.open("", nullptr));
  ASSERT_EQ(1, confirmed("P"));
  ASSERT_EQ(1, confirmed("e", 2000));
  ASSERT_EQ(1, confirmed(std::string("A\0\0", 3)));
  ASSERT_EQ(1, port.write(text(std::string("B\x04\x00" "F", 4))));
  for (char byte : data) ASSERT_EQ(1, port.writeByte(static_cast<unsigned char>(byte)));  // one call a byte
  ZMem answer;
  ASSERT_EQ(1, port.readUntil(answer, 4000, "\r"));

  ASSERT_EQ(1, confirmed(std::string("A\0\0", 3)));
  port.receiveBuffer.setSize(size);  // the whole block fits the buffer
  port.receiveBuffer.reset();
  ASSERT_EQ(1, port.write(text(std::string("g\x04\x00" "F", 4))));
  ZMem readBack;
  ASSERT_EQ(1, port.readCount(readBack, 5000, size));
  EXPECT_EQ(data, bytesOf(readBack, size));
  EXPECT_EQ(1, confirmed("L"));
}

TEST_F(DevicePort, AVanishedLineEndsAWaitingReadAtOnce) {
  const char* vanishes = std::getenv("KALMO_TEST_LINE_VANISHES");
  if (!vanishes || !*vanishes) GTEST_SKIP() << "KALMO_TEST_LINE_VANISHES is not set";
  ASSERT_EQ(1, port.open("", nullptr)) << port.errorText.getBuffer();
  ASSERT_EQ(1, port.write(text(preamble + std::string("p"))));  // the simulator hangs up on it

  ZMem out;
  std::uint32_t start = zos::tickCount();
  EXPECT_EQ(0, port.readUntil(out, 5000, "\n"));
  EXPECT_LT(zos::tickCount() - start, 1500u) << "the read ended with the line, not with its time-out";
  EXPECT_FALSE(port.errorText.isEmpty()) << "the system's text";

  start = zos::tickCount();
  EXPECT_EQ(0, port.readByte(3000));
  EXPECT_FALSE(port.errorText.isEmpty());
  EXPECT_LT(zos::tickCount() - start, 1500u);
  port.close(0);
  EXPECT_FALSE(port.isOpen());
}

}  // namespace
