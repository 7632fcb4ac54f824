// The serial port on pseudo-terminals: against the programmer simulator for opening, the line,
// the device exchange, notifications and a device that goes away; against a bare far end for
// the exact bytes the reads take and leave.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ZEL_OS/OsClock.h"
#include "ZEL_OS/OsMessages.h"
#include "ZEL_OS/OsSerial.h"
#include "ZEL_OS/OsThread.h"
#include "tests/support/PosixPseudoTerminal.h"
#include "ZEL_SYSTEM/ZComPort.h"
#include "ZEL_SYSTEM/ZSystem.h"
#include "ZEL_UTIL/ZError.h"
#include "sim/Simulator.h"
#include "tests/support/CpuUse.h"
#include "tests/support/MessageBoxCapture.h"
#include "tests/support/ZStringBytes.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const char preamble[] = "\xE6\xB5\xBA\xB9\xB2\xB3\xA9";

ZString text(const std::string& bytes) { return ZString(bytes.data(), static_cast<int>(bytes.size())); }

std::string bytesOf(const ZMem& block, int count) {
  return std::string(reinterpret_cast<const char*>(block.getData()), static_cast<std::size_t>(count));
}


// What is left in the receive buffer, taken out.
std::string leftInBuffer(ZComPort& port) {
  std::string left;
  unsigned char byte;
  while (port.receiveBuffer.get(&byte, 1)) left += static_cast<char>(byte);
  return left;
}

// Waits until the reader thread has stored count bytes (the far end's bytes take microseconds).
bool waitForBuffered(ZComPort& port, int count) {
  for (int waited = 0; waited < 2000; waited += 5) {
    if (port.receiveBuffer.getAvailable() >= count) return true;
    zos::sleepMs(5);
  }
  return false;
}

std::string settingsFor(const std::string& path) { return path + ",19200,N,8,1"; }

// ---- Against the simulator -----------------------------------------------------------------------

class SimulatedPort : public testing::Test {
 protected:
  void startWith(const sim::SimulatorOptions& options) {
    simulator.reset(new sim::ProgrammerSimulator(options));
    ASSERT_TRUE(simulator->start()) << simulator->errorText();
    path = simulator->slavePath();
    port.settings.set(text(settingsFor(path)));
  }
  void SetUp() override { startWith(sim::SimulatorOptions()); }
  void TearDown() override { port.close(0); }

  // Sends a preamble command and waits for its line.
  int command(char letter, ZString& answer) {
    if (!port.write(text(std::string(preamble) + letter))) return 0;
    return port.readString(answer, 1000, "\n");
  }

  std::unique_ptr<sim::ProgrammerSimulator> simulator;
  std::string path;
  ZComPort port;
};

TEST_F(SimulatedPort, OpenSetsTheLineAndCloseZeroPutsBackWhatItFound) {
  // Leave a line of another shape on the device first.
  zos::LineState before;
  {
    zos::Handle raw = zos::openSerial(path.c_str());
    ASSERT_NE(nullptr, raw);
    zos::LineSettings other{4800, zos::ParityNone, 8, zos::StopBitsTwo};
    ASSERT_TRUE(zos::applyLineSettings(raw, other));
    ASSERT_TRUE(zos::readLineState(raw, before));
    zos::closeSerial(raw);
  }

  ASSERT_EQ(1, port.open("", nullptr)) << port.errorText.getBuffer();
  sim::PtyLineSettings line;
  ASSERT_TRUE(simulator->clientLineSettings(line));
  EXPECT_EQ(19200, line.baudRate);
  EXPECT_EQ(8, line.dataBits);
  EXPECT_EQ('N', line.parity);
  EXPECT_EQ(1, line.stopBits);
  EXPECT_TRUE(line.raw);
  port.close(0);
  EXPECT_FALSE(port.isOpen());

  zos::Handle raw = zos::openSerial(path.c_str());
  ASSERT_NE(nullptr, raw) << "close releases the device";
  zos::LineState after;
  ASSERT_TRUE(zos::readLineState(raw, after));
  EXPECT_EQ(0, std::memcmp(before.bytes, after.bytes, sizeof before.bytes));
  zos::closeSerial(raw);

  // close(1) keeps the line as the port set it.
  ASSERT_EQ(1, port.open("", nullptr));
  port.close(1);
  raw = zos::openSerial(path.c_str());
  ASSERT_NE(nullptr, raw);
  zos::LineSettings kept{};
  ASSERT_TRUE(zos::readLineSettings(raw, kept));
  EXPECT_EQ(19200u, kept.baudRate);
  EXPECT_EQ(8, kept.dataBits);
  EXPECT_EQ(zos::ParityNone, kept.parity);
  zos::closeSerial(raw);
}

TEST_F(SimulatedPort, CommandsAndTheirAnswersCrossTheLine) {
  ASSERT_EQ(1, port.open("", nullptr));
  ZString answer;
  ASSERT_EQ(1, command('p', answer));
  EXPECT_EQ("OK\n", bytesOf(answer));

  EXPECT_EQ(1, port.writeByte(0x153));  // the low byte: 'S', which the device answers with its name
  EXPECT_EQ(1, port.readStringCount(answer, 1000, 7));
  EXPECT_EQ("KALMSIM", bytesOf(answer));
  Bytes received = simulator->received();
  EXPECT_EQ((Bytes{0xE6, 0xB5, 0xBA, 0xB9, 0xB2, 0xB3, 0xA9, 'p', 'S'}), received);
}

TEST_F(SimulatedPort, TheDeviceOpensOnceAndTheFirstHandleStays) {
  ASSERT_EQ(1, port.open("", nullptr));

  EXPECT_TRUE(port.openHint.isEmpty());

  ZComPort other;
  EXPECT_EQ(0, other.open(text(path), nullptr));
  EXPECT_FALSE(other.isOpen());
  EXPECT_EQ("Der Port " + path + " konnte nicht ge\xF6" "ffnet werden.", bytesOf(other.errorText));
  EXPECT_EQ("Hinweis: Der Port " + path + " ist von einem anderen Programm belegt.\n"
            "Hint: the port " + path + " is held by another program.\n", bytesOf(other.openHint));
  // A port that does not exist has nothing to add to the system's text, and the hint goes with a new open.
  EXPECT_EQ(0, other.open(text(path + "-missing"), nullptr));
  EXPECT_TRUE(other.openHint.isEmpty());

  EXPECT_EQ(0, port.open(text(path), nullptr));
  EXPECT_EQ("Der Port " + path + " ist bereits ge\xF6" "ffnet.", bytesOf(port.errorText));
  ASSERT_TRUE(port.isOpen());
  ZString answer;
  EXPECT_EQ(1, command('d', answer));
}

TEST_F(SimulatedPort, ALineSettingTheDeviceCannotTakeFailsWithTheSystemText) {
  ASSERT_EQ(1, port.open("", nullptr));
  const std::string prefix = "Der Port " + path + " konnte nicht konfiguriert werden.(";
  for (const char* fields : {",12345,N,8,1", ",19200,N,9,1", ",19200,N,8,1.5"}) {
    SCOPED_TRACE(fields);
    port.errorText = "";
    EXPECT_EQ(0, port.setState(text(path + fields)));
    std::string message = bytesOf(port.errorText);
    ASSERT_GT(message.size(), prefix.size() + 1);
    EXPECT_EQ(prefix, message.substr(0, prefix.size()));
    EXPECT_EQ(')', message.back());
  }
  EXPECT_EQ(1, port.setState(text(settingsFor(path))));
  ZString answer;
  EXPECT_EQ(1, command('q', answer));
}

// A window of the test's thread that records every message it handles.
struct Notification {
  std::uint32_t thread;
  unsigned message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
};

std::intptr_t recordNotification(zos::WindowHandle window, unsigned message, std::uintptr_t wParam,
                                 std::intptr_t lParam) {
  auto* record = static_cast<std::vector<Notification>*>(zos::getWindowUserData(window));
  record->push_back({zos::currentThreadId(), message, wParam, lParam});
  return 0;
}

TEST_F(SimulatedPort, TheWindowHearsOfEveryByteOnItsOwnThread) {
  std::vector<Notification> heard;
  zos::WindowHandle window = zos::createMessageWindow(recordNotification, &heard);
  ASSERT_NE(nullptr, window);
  ASSERT_EQ(1, port.open("", window));
  ZString answer;
  ASSERT_EQ(1, command('m', answer));
  port.close(0);
  zos::destroyMessageWindow(window);

  ASSERT_EQ(3u, heard.size());
  const char expected[] = "OK\n";
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(zos::currentThreadId(), heard[i].thread);
    EXPECT_EQ(0x1DC8u, heard[i].message);
    EXPECT_EQ(0u, heard[i].wParam);
    EXPECT_EQ(static_cast<unsigned char>(expected[i]), heard[i].lParam);
  }
}

std::intptr_t closePort(zos::WindowHandle window, unsigned, std::uintptr_t, std::intptr_t) {
  static_cast<ZComPort*>(zos::getWindowUserData(window))->close(0);
  return 0;
}

TEST_F(SimulatedPort, APortClosedDuringAReadEndsTheRead) {
  zos::WindowHandle window = zos::createMessageWindow(closePort, &port);
  ASSERT_NE(nullptr, window);
  ASSERT_EQ(1, port.open("", nullptr));
  ASSERT_TRUE(zos::postMessage(window, zos::UserMessage, 0, 0));
  ZMem out;
  std::uint32_t start = zos::tickCount();
  EXPECT_EQ(0, port.readUntil(out, 5000, "\n"));
  EXPECT_LT(zos::tickCount() - start, 2500u);
  EXPECT_FALSE(port.isOpen());
  zos::destroyMessageWindow(window);
}

TEST_F(SimulatedPort, ADeviceThatGoesAwayEndsTheReadsAtOnce) {
  sim::SimulatorOptions options;
  options.hangupAfter = 8;  // after the first command, before its answer
  simulator.reset();
  startWith(options);
  ASSERT_EQ(1, port.open("", nullptr));
  ASSERT_EQ(1, port.write(text(std::string(preamble) + "p")));

  const std::string systemText = bytesOf(ZSystem::getErrorText(EIO));
  ZMem out;
  int result = -1;
  CpuUse use = measureCpuUse([&] { result = port.readUntil(out, 5000, "\n"); });
  EXPECT_EQ(0, result);
  EXPECT_LT(use.elapsedMs, 1000u) << "the read ended with the line, not with its time-out";
  EXPECT_LT(use.share, 0.2);
  EXPECT_EQ(systemText, bytesOf(port.errorText));
  EXPECT_TRUE(port.isOpen()) << "the owner closes the port";

  // Every later read and write fails as well, without waiting out its time.
  std::uint32_t start = zos::tickCount();
  EXPECT_EQ(0, port.readByte(2000));
  EXPECT_EQ(systemText, bytesOf(port.errorText));
  ZString answer;
  EXPECT_EQ(0, port.readStringCount(answer, 2000, 3));
  port.errorText = "";
  EXPECT_EQ(0, port.writeByte('p'));
  EXPECT_EQ(systemText, bytesOf(port.errorText));
  EXPECT_LT(zos::tickCount() - start, 1000u);

  port.close(0);
  EXPECT_FALSE(port.isOpen());
}

TEST_F(SimulatedPort, ThePortClosesWithItsObject) {
  {
    ZComPort first;
    first.settings.set(text(settingsFor(path)));
    ASSERT_EQ(1, first.open("", nullptr));
  }
  ASSERT_EQ(1, port.open("", nullptr)) << port.errorText.getBuffer();
}

// ---- Against a bare far end ----------------------------------------------------------------------

class FarEnd : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(far.isOpen());
    port.settings.set(text(settingsFor(far.slavePath())));
    ASSERT_EQ(1, port.open("", nullptr)) << port.errorText.getBuffer();
  }
  void TearDown() override { port.close(0); }

  // The far end sends the bytes; they are in the receive buffer when this returns.
  void arrive(const std::string& bytes) {
    ASSERT_TRUE(far.write(bytes));
    ASSERT_TRUE(waitForBuffered(port, static_cast<int>(bytes.size())));
  }

  zos::test::PseudoTerminal far;
  ZComPort port;
};

TEST_F(FarEnd, ReadCountTakesItsCountAndLeavesTheRest) {
  arrive("12345");
  ZMem out;
  EXPECT_EQ(0, port.readCount(out, 0, 3)) << "no time, no bytes";
  EXPECT_EQ(5, port.receiveBuffer.getAvailable());

  EXPECT_EQ(1, port.readCount(out, 1000, 3));
  EXPECT_EQ(3, out.getSize());
  EXPECT_EQ("123", bytesOf(out, 3));
  EXPECT_EQ("45", leftInBuffer(port));

  // Short of its count: the bytes that came, then what the block held before.
  ZMem held(ZString("wxyz"));
  arrive("ab");
  EXPECT_EQ(0, port.readCount(held, 200, 4));
  EXPECT_EQ(4, held.getSize());
  EXPECT_EQ("abyz", bytesOf(held, 4));

  // Count -1 takes whatever comes within the whole time.
  arrive("xy");
  ZMem any;
  EXPECT_EQ(1, port.readCount(any, 150, -1));
  EXPECT_EQ(1000, any.getSize());
  EXPECT_EQ(std::string("xy\0\0", 4), bytesOf(any, 4));
}

// A read for more bytes than the receive buffer holds takes them while they come: a read that
// waited for all of them before it looked would find the ring overwritten.
TEST_F(FarEnd, ReadCountLargerThanTheBufferLosesNothing) {
  port.receiveBuffer.setSize(64);
  std::string sent;
  for (int i = 0; i < 400; ++i) sent += static_cast<char>('A' + i % 26);
  std::thread sender([&] {
    zos::sleepMs(100);  // after the read's first step, which takes nothing
    for (std::size_t at = 0; at < sent.size(); at += 10) {
      if (!far.write(sent.substr(at, 10))) return;
      zos::sleepMs(3);
    }
  });
  ZMem out;
  int result = port.readCount(out, 5000, static_cast<int>(sent.size()));
  sender.join();
  ASSERT_EQ(1, result);
  EXPECT_EQ(sent, bytesOf(out, static_cast<int>(sent.size())));
  EXPECT_EQ(0, port.receiveBuffer.getLost());
}

struct UntilCase {
  const char* arriving;
  const char* terminator;
  int result;
  const char* taken;
  const char* left;
};

class ReadUntil : public FarEnd, public testing::WithParamInterface<UntilCase> {};

TEST_P(ReadUntil, TakesUpToTheTerminator) {
  const UntilCase& c = GetParam();
  arrive(c.arriving);
  ZMem out;
  EXPECT_EQ(c.result, port.readUntil(out, c.result ? 2000 : 200, c.terminator));
  EXPECT_EQ(c.taken, bytesOf(out, out.getSize()));
  EXPECT_EQ(c.left, leftInBuffer(port));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadUntil,
    testing::Values(UntilCase{"OK\nX", "\n", 1, "OK\n", "X"},
                    UntilCase{"\r\r\n", "\r\n", 1, "\r\r\n", ""},   // a new start right after a part
                    UntilCase{"aaab!", "aab", 1, "aaab", "!"},
                    UntilCase{"abab\r", "aba\r", 0, "abab\r", ""},  // holds no "aba\r"
                    UntilCase{"ababa\r+", "aba\r", 1, "ababa\r", "+"},
                    UntilCase{"half\r", "\r\n", 0, "half\r", ""}));

TEST_F(FarEnd, TextReadsShowZeroBytesAsFF) {
  arrive(std::string("A\0B\n", 4));
  ZString answer;
  EXPECT_EQ(1, port.readString(answer, 1000, "\n"));
  EXPECT_EQ("A\xFF" "B\n", bytesOf(answer));

  arrive("ab");
  EXPECT_EQ(0, port.readStringCount(answer, 200, 4));
  EXPECT_EQ("ab\xFF\xFF", bytesOf(answer));

  arrive("\xC8");
  EXPECT_EQ(200, port.readByte(1000));
  EXPECT_TRUE(port.errorText.isEmpty());
}

TEST_F(FarEnd, AReadReturnsAsSoonAsItsTerminatorArrives) {
  std::thread sender([this] {
    zos::sleepMs(150);
    far.write("done\n");
  });
  ZMem out;
  std::uint32_t start = zos::tickCount();
  int result = port.readUntil(out, 3000, "\n");
  std::uint32_t spent = zos::tickCount() - start;
  sender.join();
  EXPECT_EQ(1, result);
  EXPECT_EQ("done\n", bytesOf(out, out.getSize()));
  EXPECT_LT(spent, 1500u);
}

TEST_F(FarEnd, BytesThatCameBeforeTheLineWentAreStillTaken) {
  arrive("OK");
  std::thread hangUp([this] {
    zos::sleepMs(200);  // while the read waits
    far.closeMaster();
  });
  // A read for whatever comes ends with the line and keeps what came before.
  ZMem any;
  std::uint32_t start = zos::tickCount();
  int result = port.readCount(any, 5000, -1);
  std::uint32_t spent = zos::tickCount() - start;
  hangUp.join();
  EXPECT_EQ(1, result);
  EXPECT_EQ("OK", bytesOf(any, 2));
  EXPECT_GE(spent, 150u);
  EXPECT_LT(spent, 1000u);
  EXPECT_TRUE(port.errorText.isEmpty());

  ZMem out;
  EXPECT_EQ(0, port.readUntil(out, 5000, "\n"));
  EXPECT_EQ(0, out.getSize());
  EXPECT_EQ(bytesOf(ZSystem::getErrorText(EIO)), bytesOf(port.errorText));
}

TEST_F(FarEnd, AWriteThatItsTimeOutCutsShortFails) {
  // Nobody reads the far end, so the line's buffer fills and a write stalls.
  const std::string block(1024, 'x');
  int failedAt = -1;
  for (int i = 0; i < 256 && failedAt < 0; ++i) {
    if (!port.write(text(block))) failedAt = i;
  }
  ASSERT_GT(failedAt, 0);
  EXPECT_FALSE(port.errorText.isEmpty());
  EXPECT_EQ(bytesOf(ZSystem::getErrorText(ETIMEDOUT)), bytesOf(port.errorText));
}

}  // namespace
