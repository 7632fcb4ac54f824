// The programmer simulator, driven through its pseudo-terminal by a small raw client, the way the
// tool and other AVR109 software reach it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "sim/Pty.h"
#include "sim/Simulator.h"
#include "sim/SimulatorOptions.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using sim::ProgrammerSimulator;
using sim::SimulatorOptions;

const Bytes preamble = {0xE6, 0xB5, 0xBA, 0xB9, 0xB2, 0xB3, 0xA9};
const int answerTimeoutMs = 2000;
const int silenceMs = 300;  // long enough for any answer that would come without a fault

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes operator+(Bytes left, const Bytes& right) {
  left.insert(left.end(), right.begin(), right.end());
  return left;
}

Bytes command(char letter, const Bytes& operands = {}) { return Bytes{static_cast<std::uint8_t>(letter)} + operands; }

Bytes sizeBytes(std::size_t n) { return {static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)}; }

Bytes pattern(std::size_t size) {
  Bytes image(size);
  for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return image;
}

long millisecondsSince(Clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// A raw serial client on the simulator's slave device.
class Client {
 public:
  explicit Client(const std::string& path) : handle(sim::ptyOpenTerminal(path.c_str(), 19200)) {}
  ~Client() { sim::ptyClose(handle); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool isOpen() const { return handle != nullptr; }
  bool hungUp() const { return lineGone; }

  bool send(const Bytes& bytes) {
    return sim::ptyWrite(handle, bytes.data(), static_cast<int>(bytes.size()), answerTimeoutMs) ==
           static_cast<int>(bytes.size());
  }

  // Reads until count bytes came, the terminator came, the line went away or the time is up.
  Bytes read(std::size_t count, int timeoutMs = answerTimeoutMs, int terminator = -1) {
    Bytes got;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count && !(terminator >= 0 && !got.empty() && got.back() == terminator)) {
      long left = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
      sim::PtyWaitResult result = sim::ptyWaitReadable(handle, left < 0 ? 0 : static_cast<int>(left));
      if (result == sim::PtyWaitResult::timedOut) break;
      if (result != sim::PtyWaitResult::ready) {
        lineGone = true;
        break;
      }
      std::uint8_t byte;
      int n = sim::ptyRead(handle, &byte, 1);
      if (n < 0) {
        lineGone = true;
        break;
      }
      if (n == 1) got.push_back(byte);
    }
    return got;
  }

  Bytes readLine(std::uint8_t terminator) { return read(4096, answerTimeoutMs, terminator); }

  // What comes within the silence time (nothing, where a fault swallowed the answer).
  Bytes drain() { return read(4096, silenceMs); }

  Bytes exchange(const Bytes& request, std::size_t answerSize) {
    EXPECT_TRUE(send(request));
    return read(answerSize);
  }

 private:
  zos::Handle handle;
  bool lineGone = false;
};

// A simulator running with the given options, and a client on its line.
struct Rig {
  explicit Rig(const SimulatorOptions& options = SimulatorOptions()) : simulator(options) {
    started = simulator.start();
    if (started) client.reset(new Client(simulator.slavePath()));
  }
  bool ready() const { return started && client && client->isOpen(); }

  ProgrammerSimulator simulator;
  bool started = false;
  std::unique_ptr<Client> client;
};

std::filesystem::path freshDirectory(const std::string& name) {
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kalmo_sim_" + name + "_" + std::to_string(Clock::now().time_since_epoch().count()));
  std::filesystem::create_directories(dir);
  return dir;
}

std::string readText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const Bytes cr = {0x0D};

TEST(SimPreamble, TokensAreAnsweredWithALineAndChangeTheDevice) {
  struct Case {
    std::string token;
    std::string answer;
    std::string logged;
  };
  const Case cases[] = {
      {"p", "OK\n", "cmd:p"}, {"+", "OK\n", "cmd:+"}, {"", "ERR\n", "cmd:"}, {"prog", "OK\n", "cmd:prog"},
      {"r", "OK\n", "cmd:r"},  {"-", "OK\n", "cmd:-"}, {"d", "OK\n", "cmd:d"},
  };
  Rig rig;
  ASSERT_TRUE(rig.ready()) << rig.simulator.errorText();
  std::vector<std::string> expectedLog;
  for (const Case& c : cases) {
    SCOPED_TRACE("token '" + c.token + "'");
    ASSERT_TRUE(rig.client->send(preamble + bytesOf(c.token)));
    EXPECT_EQ(rig.client->readLine('\n'), bytesOf(c.answer));
    expectedLog.push_back(c.logged);
  }
  EXPECT_EQ(rig.client->drain(), Bytes());
  EXPECT_EQ(rig.simulator.commands(), expectedLog);
  sim::DeviceStatus status = rig.simulator.status();
  EXPECT_EQ(status.mode, 'd');
  EXPECT_FALSE(status.targetPowered);
  EXPECT_EQ(status.resets, 1);
  EXPECT_EQ(rig.simulator.received()[7], 'p');
}

TEST(SimAvr109, IdentificationAndSmallCommandsAnswerAsAvr109) {
  struct Case {
    Bytes request;
    Bytes answer;
  };
  const Case cases[] = {
      {command('b'), {'Y', 0x00, 0x80}},
      {command('S'), bytesOf("KALMSIM")},
      {command('V'), bytesOf("10")},
      {command('v'), bytesOf("10")},
      {command('p'), {'S'}},
      {command('a'), {'Y'}},
      {command('t'), {0x74, 0x00}},
      {command('T', {0x74}), cr},
      {command('s'), {0x0F, 0x95, 0x1E}},
      {command('x', {0x00}), cr},
      {command('y', {0x00}), cr},
      {command('F'), {0xFF}},
      {command('N'), {0xDA}},
      {command('Q'), {0xFD}},
      {command('r'), {0xFF}},
      {command('P'), cr},
      {command('L'), cr},
      {command('E'), cr},
      {command('Z'), {'?'}},
      {Bytes{0x1B} + command('a'), {'Y'}},            // ESC is ignored
      {Bytes{0xE6, 0xB5} + command('a'), {'?', '?', 'Y'}},  // a broken preamble is stray bytes
  };
  Rig rig;
  ASSERT_TRUE(rig.ready()) << rig.simulator.errorText();
  for (const Case& c : cases) {
    SCOPED_TRACE("request starting with " + std::to_string(c.request[0]));
    EXPECT_EQ(rig.client->exchange(c.request, c.answer.size()), c.answer);
  }
  EXPECT_EQ(rig.client->drain(), Bytes());
  EXPECT_TRUE(rig.simulator.status().bootloaderExited);
}

TEST(SimAvr109, ImageWrittenInBlocksReadsBackEqual) {
  Rig rig;
  ASSERT_TRUE(rig.ready()) << rig.simulator.errorText();
  const Bytes image = pattern(300);
  const std::size_t blocks[] = {128, 128, 44};
  Bytes wire;
  auto step = [&](const Bytes& request, const Bytes& answer) {
    wire = wire + request;
    EXPECT_EQ(rig.client->exchange(request, answer.size()), answer);
  };
  step(command('P'), cr);
  step(command('b'), {'Y', 0x00, 0x80});
  step(command('e'), cr);
  step(command('A', {0, 0}), cr);
  std::size_t offset = 0;
  for (std::size_t n : blocks) {
    step(command('B', sizeBytes(n) + Bytes{'F'}) + Bytes(image.begin() + offset, image.begin() + offset + n), cr);
    offset += n;
  }
  step(command('A', {0, 0}), cr);
  offset = 0;
  for (std::size_t n : blocks) {
    step(command('g', sizeBytes(n) + Bytes{'F'}), Bytes(image.begin() + offset, image.begin() + offset + n));
    offset += n;
  }
  step(command('L'), cr);

  Bytes flash = rig.simulator.flash();
  ASSERT_EQ(flash.size(), 32768u);
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 300), image);
  EXPECT_EQ(flash[300], 0xFF);
  EXPECT_EQ(rig.simulator.received(), wire);
  const std::vector<std::string> expected = {"P",         "b",         "e",         "A 0", "B 128 F", "B 128 F",
                                             "B 44 F",    "A 0",       "g 128 F",   "g 128 F", "g 44 F", "L"};
  EXPECT_EQ(rig.simulator.commands(), expected);
  EXPECT_FALSE(rig.simulator.status().programming);
  EXPECT_EQ(rig.simulator.status().address, 150u);
}

TEST(SimAvr109, FlashIsAddressedInWordsAndEndsAtItsSize) {
  SimulatorOptions options;
  options.flashSize = 256;
  Rig rig(options);
  ASSERT_TRUE(rig.ready()) << rig.simulator.errorText();
  // Word 0x10 is byte 0x20; a block of 4 bytes moves on by 2 words.
  EXPECT_EQ(rig.client->exchange(command('A', {0x00, 0x10}), 1), cr);
  EXPECT_EQ(rig.client->exchange(command('B', {0, 4, 'F', 1, 2, 3, 0xFF}), 1), cr);
  EXPECT_EQ(rig.client->exchange(command('B', {0, 2, 'F', 4, 5}), 1), cr);
  Bytes flash = rig.simulator.flash();
  EXPECT_EQ(Bytes(flash.begin() + 0x20, flash.begin() + 0x26), (Bytes{1, 2, 3, 0xFF, 4, 5}));
  EXPECT_EQ(rig.client->exchange(command('A', {0x00, 0x10}), 1), cr);
  EXPECT_EQ(rig.client->exchange(command('g', {0, 6, 'F'}), 6), (Bytes{1, 2, 3, 0xFF, 4, 5}));
  // A memory type the device does not have is refused before any data.
  EXPECT_EQ(rig.client->exchange(command('B', {0, 4, 'X'}), 1), Bytes{'?'});
  // Words 0x7F and on: the block runs past the end of 256 bytes.
  EXPECT_EQ(rig.client->exchange(command('A', {0x00, 0x7F}), 1), cr);
  EXPECT_EQ(rig.client->exchange(command('B', {0, 4, 'F', 9, 9, 9, 9}), 1), Bytes{'?'});
  EXPECT_EQ(rig.simulator.flash()[255], 9);
  // EEPROM counts in bytes.
  EXPECT_EQ(rig.client->exchange(command('A', {0x00, 0x03}), 1), cr);
  EXPECT_EQ(rig.client->exchange(command('B', {0, 3, 'E', 7, 8, 9}), 1), cr);
  EXPECT_EQ(rig.simulator.eeprom()[3], 7);
  EXPECT_EQ(rig.simulator.eeprom()[5], 9);
}

// Flash is filled a word at a time: an odd block never ends, and the device takes every byte
// after its header as fill data, answering nothing, commands and preambles alike.
TEST(SimAvr109, OddFlashBlockHangsTheDevice) {
  Rig rig;
  ASSERT_TRUE(rig.ready()) << rig.simulator.errorText();
  ASSERT_TRUE(rig.client->send(command('B', {0, 3, 'F', 1, 2, 3})));
  EXPECT_EQ(rig.client->drain(), Bytes());
  ASSERT_TRUE(rig.client->send(command('P') + Bytes(1100, 0x1B) + command('P') + preamble + bytesOf("q")));
  EXPECT_EQ(rig.client->drain(), Bytes());
  EXPECT_TRUE(rig.simulator.status().hung);
  EXPECT_FALSE(rig.simulator.status().programming);
  EXPECT_EQ(rig.simulator.commands(), std::vector<std::string>{"B 3 F"});
  EXPECT_EQ(rig.simulator.flash()[0], 0xFF);
}

TEST(SimFaults, IgnoresTheFirstP) {
  SimulatorOptions options;
  options.ignoreFirstP = 1;
  Rig rig(options);
  ASSERT_TRUE(rig.ready()) << rig.simulator.errorText();
  ASSERT_TRUE(rig.client->send(command('P')));
  EXPECT_EQ(rig.client->drain(), Bytes());
  EXPECT_FALSE(rig.simulator.status().programming);
  EXPECT_EQ(rig.client->exchange(command('P'), 1), cr);
  EXPECT_TRUE(rig.simulator.status().programming);
}

// The bootloader's own section: blocks that reach into it get 0x00 and no CR, and stay unwritten.
TEST(SimFaults, RefusesBlocksFromAnAddress) {
  SimulatorOptions options;
  options.refuseBlocks = true;
  options.refuseFrom = 0x100;
  Rig rig(options);
  ASSERT_TRUE(rig.ready()) << rig.simulator.errorText();
  EXPECT_EQ(rig.client->exchange(command('A', {0x00, 0x78}), 1), cr);  // byte 0xF0
  EXPECT_EQ(rig.client->exchange(command('B', {0, 16, 'F'}) + pattern(16), 1), cr);
  EXPECT_EQ(rig.client->exchange(command('B', {0, 2, 'F', 1, 2}), 2), Bytes{0x00});
  EXPECT_EQ(rig.client->exchange(command('A', {0x00, 0x7C}), 1), cr);  // byte 0xF8: runs into it
  EXPECT_EQ(rig.client->exchange(command('B', {0, 16, 'F'}) + Bytes(16, 0), 2), Bytes{0x00});
  Bytes flash = rig.simulator.flash();
  EXPECT_EQ(Bytes(flash.begin() + 0xF0, flash.begin() + 0x100), pattern(16));
  EXPECT_EQ(flash[0x100], 0xFF);
  EXPECT_EQ(rig.client->exchange(command('a'), 1), Bytes{'Y'});
}

// A run that ended in the middle of a block leaves the device waiting for the rest of it, for the
// next client too: it started that way here, and it stays so when a client leaves mid-block.
TEST(SimFaults, PendingBlockWaitsForItsDataAcrossClients) {
  SimulatorOptions options;
  options.pendingBlock = 8;
  ProgrammerSimulator simulator(options);
  ASSERT_TRUE(simulator.start()) << simulator.errorText();
  EXPECT_TRUE(simulator.status().blockPending);
  {
    Client client(simulator.slavePath());
    ASSERT_TRUE(client.send(command('P') + Bytes{0x1B, 0x1B}));
    EXPECT_EQ(client.drain(), Bytes());
  }
  Client client(simulator.slavePath());
  ASSERT_TRUE(client.send(Bytes(5, 0x1B)));
  EXPECT_EQ(client.read(1), cr);
  EXPECT_FALSE(simulator.status().blockPending);
  EXPECT_EQ(client.exchange(command('B', {0, 4, 'F', 1, 2}), 1), Bytes());
  EXPECT_TRUE(simulator.status().blockPending);
  EXPECT_EQ(client.exchange(Bytes{3, 4}, 1), cr);
  EXPECT_EQ(client.exchange(command('P'), 1), cr);
  EXPECT_EQ(simulator.commands(), (std::vector<std::string>{"B 8 F", "B 4 F", "P"}));
  Bytes flash = simulator.flash();
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 12), (Bytes{'P', 0x1B, 0x1B, 0x1B, 0x1B, 0x1B, 0x1B, 0x1B, 1, 2, 3, 4}));
}

TEST(SimFaults, BlockSupportAnswers) {
  struct Case {
    bool refused;
    int blockSize;
    Bytes answer;
  };
  const Case cases[] = {{true, 128, {'N', 0, 0}}, {false, 0, {'Y', 0, 0}}, {false, 0x0102, {'Y', 1, 2}}};
  for (const Case& c : cases) {
    SimulatorOptions options;
    options.blockModeRefused = c.refused;
    options.blockSize = c.blockSize;
    Rig rig(options);
    ASSERT_TRUE(rig.ready()) << rig.simulator.errorText();
    EXPECT_EQ(rig.client->exchange(command('b'), 3), c.answer);
  }
}

TEST(SimFaults, DropsTheAnswerToTheKthCommand) {
  SimulatorOptions options;
  options.dropAnswers = {2, 4};
  Rig rig(options);
  ASSERT_TRUE(rig.ready()) << rig.simulator.errorText();
  EXPECT_EQ(rig.client->exchange(command('a'), 1), Bytes{'Y'});
  ASSERT_TRUE(rig.client->send(preamble + bytesOf("+")));
  EXPECT_EQ(rig.client->drain(), Bytes());
  EXPECT_EQ(rig.client->exchange(preamble + bytesOf("+"), 3), bytesOf("OK\n"));
  ASSERT_TRUE(rig.client->send(command('a')));
  EXPECT_EQ(rig.client->drain(), Bytes());
  EXPECT_EQ(rig.client->exchange(command('a'), 1), Bytes{'Y'});
}

TEST(SimFaults, AnswersWithoutLineFeed) {
  SimulatorOptions options;
  options.noLineFeed = true;
  Rig rig(options);
  ASSERT_TRUE(rig.ready()) << rig.simulator.errorText();
  ASSERT_TRUE(rig.client->send(preamble + bytesOf("p")));
  EXPECT_EQ(rig.client->drain(), bytesOf("OK"));
  EXPECT_EQ(rig.client->exchange(command('P'), 1), cr);
}

TEST(SimFaults, LateAnswerComesNoEarlierThanItsDelay) {
  SimulatorOptions options;
  options.lateMs = 300;
  options.lateCommand = 2;
  Rig rig(options);
  ASSERT_TRUE(rig.ready()) << rig.simulator.errorText();
  EXPECT_EQ(rig.client->exchange(command('a'), 1), Bytes{'Y'});
  Clock::time_point start = Clock::now();
  EXPECT_EQ(rig.client->exchange(command('a'), 1), Bytes{'Y'});
  EXPECT_GE(millisecondsSince(start), 300);
}

TEST(SimFaults, CorruptsOneByteOnReadBackOnly) {
  struct Case {
    int value;
    std::uint8_t readBack;
  };
  const Case cases[] = {{0xFF, 0xFF}, {-1, 0xF3}};  // -1: the stored 0x0C inverted
  for (const Case& c : cases) {
    SimulatorOptions options;
    options.corruptReadback = true;
    options.corruptOffset = 5;
    options.corruptValue = c.value;
    Rig rig(options);
    ASSERT_TRUE(rig.ready()) << rig.simulator.errorText();
    EXPECT_EQ(rig.client->exchange(command('B', {0, 8, 'F'}) + Bytes(8, 0x0C), 1), cr);
    EXPECT_EQ(rig.client->exchange(command('A', {0, 0}), 1), cr);
    Bytes expected(8, 0x0C);
    expected[5] = c.readBack;
    EXPECT_EQ(rig.client->exchange(command('g', {0, 8, 'F'}), 8), expected);
    EXPECT_EQ(rig.simulator.flash()[5], 0x0C);
  }
}

TEST(SimFaults, NeverAnswersButCarriesCommandsOut) {
  SimulatorOptions options;
  options.neverAnswer = true;
  Rig rig(options);
  ASSERT_TRUE(rig.ready()) << rig.simulator.errorText();
  ASSERT_TRUE(rig.client->send(preamble + bytesOf("p")));
  ASSERT_TRUE(rig.simulator.waitForCommands(1, answerTimeoutMs));  // the token ends with its pause
  ASSERT_TRUE(rig.client->send(command('P')));
  EXPECT_EQ(rig.client->drain(), Bytes());
  EXPECT_EQ(rig.simulator.received(), preamble + bytesOf("pP"));
  EXPECT_EQ(rig.simulator.commands(), (std::vector<std::string>{"cmd:p", "P"}));
  EXPECT_EQ(rig.simulator.status().mode, 'p');
  EXPECT_TRUE(rig.simulator.status().programming);
  EXPECT_TRUE(rig.simulator.sent().empty());
}

TEST(SimFaults, HangsUpAfterNBytes) {
  SimulatorOptions options;
  options.hangupAfter = 3;
  Rig rig(options);
  ASSERT_TRUE(rig.ready()) << rig.simulator.errorText();
  bool ended = false;
  rig.simulator.onEnded([&] { ended = true; });
  EXPECT_EQ(rig.client->exchange(command('a'), 1), Bytes{'Y'});
  ASSERT_TRUE(rig.client->send(command('a') + command('a')));
  // The second byte may be answered before the third arrives; the third never is.
  Bytes answer = rig.client->read(1);
  if (answer == Bytes{'Y'}) answer = rig.client->read(1);
  EXPECT_EQ(answer, Bytes());
  EXPECT_TRUE(rig.client->hungUp());
  EXPECT_TRUE(rig.simulator.waitUntilEnded(answerTimeoutMs));
  EXPECT_TRUE(rig.simulator.hasHungUp());
  EXPECT_TRUE(ended);
  EXPECT_EQ(rig.simulator.received(), bytesOf("aaa"));
  EXPECT_FALSE(Client(rig.simulator.slavePath()).isOpen());
}

TEST(SimTranscript, FileAndAccessorsHoldEveryByteBothWays) {
  std::filesystem::path dir = freshDirectory("transcript");
  SimulatorOptions options;
  options.transcriptFile = (dir / "line.txt").string();
  const std::string expected =
      "> E6 B5 BA B9 B2 B3 A9 70\n"
      "< 4F 4B 0A\n"
      "> 62\n"
      "< 59 00 80\n";
  {
    Rig rig(options);
    ASSERT_TRUE(rig.ready()) << rig.simulator.errorText();
    EXPECT_EQ(rig.client->exchange(preamble + bytesOf("p"), 3), bytesOf("OK\n"));
    EXPECT_EQ(rig.client->exchange(command('b'), 3), (Bytes{'Y', 0, 0x80}));
    EXPECT_EQ(rig.simulator.transcriptText(), expected);
    EXPECT_EQ(rig.simulator.sent(), (bytesOf("OK\nY") + Bytes{0, 0x80}));
    ASSERT_EQ(rig.simulator.transcript().size(), 4u);
    EXPECT_EQ(rig.simulator.transcript()[2].direction, sim::Direction::toDevice);
    rig.simulator.clearTranscript();
    EXPECT_TRUE(rig.simulator.received().empty());
    EXPECT_TRUE(rig.simulator.commands().empty());
    rig.simulator.stop();
    EXPECT_EQ(readText(dir / "line.txt"), expected);
  }
  std::filesystem::remove_all(dir);
}

TEST(SimLine, ClientsMayCloseAndReopenThePort) {
  ProgrammerSimulator simulator;
  ASSERT_TRUE(simulator.start()) << simulator.errorText();
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Client client(simulator.slavePath());
    ASSERT_TRUE(client.isOpen());
    EXPECT_EQ(client.exchange(preamble + bytesOf("q"), 3), bytesOf("OK\n"));
    EXPECT_EQ(client.exchange(command('a'), 1), Bytes{'Y'});
    sim::PtyLineSettings settings;
    ASSERT_TRUE(simulator.clientLineSettings(settings));
    EXPECT_EQ(settings.baudRate, 19200);
    EXPECT_EQ(settings.dataBits, 8);
    EXPECT_EQ(settings.parity, 'N');
    EXPECT_EQ(settings.stopBits, 1);
    EXPECT_TRUE(settings.raw);
  }
  EXPECT_TRUE(simulator.isServing());
  EXPECT_EQ(simulator.status().commands, 6);
}

// A client that goes away without reading a long answer must not stall the device: once the
// terminal's queue is full, what waits there is dropped.
TEST(SimLine, AnAnswerNobodyReadsDoesNotStallTheDevice) {
  SimulatorOptions options;
  options.flashSize = 1 << 18;
  ProgrammerSimulator simulator(options);
  ASSERT_TRUE(simulator.start()) << simulator.errorText();
  {
    Client client(simulator.slavePath());
    ASSERT_TRUE(client.send(command('g', {0xFF, 0xFF, 'F'})));  // more than the terminal queues
    ASSERT_TRUE(client.send(command('a')));
  }
  // The device takes a command only after it answered the one before.
  EXPECT_TRUE(simulator.waitForCommands(2, 20000));
  Client client(simulator.slavePath());
  ASSERT_TRUE(client.isOpen());
  ASSERT_TRUE(client.send(command('a')));
  Bytes got = client.read(1 << 20, 10000, 'Y');
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back(), 'Y');
  EXPECT_TRUE(simulator.isServing());
}

TEST(SimLine, PacesBytesAtTheBaudRateWithPageWriteTime) {
  SimulatorOptions options;
  options.baudRate = 9600;  // 1.04 ms a byte
  options.pageWriteMs = 50;
  Rig rig(options);
  ASSERT_TRUE(rig.ready()) << rig.simulator.errorText();
  const Bytes block = pattern(128);
  // 132 bytes in take 137.5 ms, then the page write.
  Clock::time_point start = Clock::now();
  EXPECT_EQ(rig.client->exchange(command('B', {0, 128, 'F'}) + block, 1), cr);
  long writeMs = millisecondsSince(start);
  EXPECT_GE(writeMs, 187);
  EXPECT_LT(writeMs, 5000);
  EXPECT_EQ(rig.client->exchange(command('A', {0, 0}), 1), cr);
  // 4 bytes in, 128 bytes out.
  start = Clock::now();
  EXPECT_EQ(rig.client->exchange(command('g', {0, 128, 'F'}), 128), block);
  long readMs = millisecondsSince(start);
  EXPECT_GE(readMs, 137);
  EXPECT_LT(readMs, 5000);
}

TEST(SimLine, StopReturnsPromptlyWhileAnAnswerWaits) {
  SimulatorOptions options;
  options.lateMs = 10000;
  Rig rig(options);
  ASSERT_TRUE(rig.ready()) << rig.simulator.errorText();
  ASSERT_TRUE(rig.client->send(command('a')));
  ASSERT_TRUE(rig.simulator.waitForCommands(1, answerTimeoutMs));
  Clock::time_point start = Clock::now();
  rig.simulator.stop();
  EXPECT_LT(millisecondsSince(start), 2000);
  EXPECT_FALSE(rig.simulator.isServing());
}

TEST(SimOptions, CommandLineSetsEveryOptionAndRefusesBadOnes) {
  SimulatorOptions options;
  bool help = true;
  std::string error;
  ASSERT_TRUE(sim::parseOptions({"--baud", "19200", "--page-write-ms", "4.5", "--block-size", "0x40",
                                 "--ignore-first-p", "1", "--block-mode-refused", "--drop-answer", "3",
                                 "--drop-answer=5", "--no-lf", "--late-ms", "600", "--late-command", "2",
                                 "--corrupt-readback", "5:0xFF", "--never-answer", "--hangup-after", "10",
                                 "--transcript", "t.txt", "--flash-size", "1024", "--dump-flash", "f.bin",
                                 "--refuse-from", "0x7000", "--pending-block", "1024"},
                                options, help, error))
      << error;
  EXPECT_FALSE(help);
  EXPECT_EQ(options.baudRate, 19200);
  EXPECT_DOUBLE_EQ(options.pageWriteMs, 4.5);
  EXPECT_EQ(options.blockSize, 0x40);
  EXPECT_EQ(options.ignoreFirstP, 1);
  EXPECT_TRUE(options.blockModeRefused);
  EXPECT_EQ(options.dropAnswers, (std::vector<long>{3, 5}));
  EXPECT_TRUE(options.noLineFeed);
  EXPECT_DOUBLE_EQ(options.lateMs, 600);
  EXPECT_EQ(options.lateCommand, 2);
  EXPECT_TRUE(options.corruptReadback);
  EXPECT_EQ(options.corruptOffset, 5u);
  EXPECT_EQ(options.corruptValue, 0xFF);
  EXPECT_TRUE(options.neverAnswer);
  EXPECT_EQ(options.hangupAfter, 10);
  EXPECT_EQ(options.transcriptFile, "t.txt");
  EXPECT_EQ(options.flashSize, 1024u);
  EXPECT_EQ(options.dumpFlashFile, "f.bin");
  EXPECT_TRUE(options.refuseBlocks);
  EXPECT_EQ(options.refuseFrom, 0x7000u);
  EXPECT_EQ(options.pendingBlock, 1024u);

  const std::vector<std::vector<std::string>> bad = {
      {"--bogus"},          {"--baud"},          {"--baud", "fast"},         {"--block-size", "65536"},
      {"--block-size", "-1"}, {"--no-lf=1"},     {"--corrupt-readback", "5:256"}, {"--late-ms", "1e9"},
      {"--drop-answer", "0"}, {"--transcript", ""},      {"--pending-block", "0"}, {"--refuse-from", "x"},
  };
  for (const std::vector<std::string>& args : bad) {
    SimulatorOptions ignored;
    error.clear();
    EXPECT_FALSE(sim::parseOptions(args, ignored, help, error)) << args[0];
    EXPECT_FALSE(error.empty());
  }
  ASSERT_TRUE(sim::parseOptions({"--help"}, options, help, error));
  EXPECT_TRUE(help);
  EXPECT_NE(sim::optionsHelp().find("--hangup-after"), std::string::npos);
}

// The program: path on the first line, a line that works, a clean end on SIGTERM with the
// transcript and the flash dump written.
TEST(SimProgram, PrintsThePathServesAndEndsOnSignal) {
  std::filesystem::path dir = freshDirectory("program");
  std::string d = dir.string();
  ASSERT_EQ(std::system(("mkfifo '" + d + "/out' '" + d + "/status'").c_str()), 0);
  std::string run = "( sh -c 'echo $$ > \"" + d + "/pid\"; exec \"" KALMO_SIM_PROGRAM "\" --flash-size 1024"
                    " --transcript \"" + d + "/t.txt\" --dump-flash \"" + d + "/flash.bin\"' > '" + d +
                    "/out'; echo $? > '" + d + "/status' ) &";
  ASSERT_EQ(std::system(run.c_str()), 0);

  // Ends the program and takes its exit status, also when an assertion below gives up early, so
  // that no process is left behind.
  struct Program {
    std::filesystem::path dir;
    std::string pid;
    std::string status;
    bool ended = false;
    void end() {
      if (ended) return;
      ended = true;
      if (!pid.empty()) std::system(("kill -TERM " + pid + " 2>/dev/null").c_str());
      std::ifstream statusFifo(dir / "status");
      std::getline(statusFifo, status);
    }
    ~Program() {
      end();
      std::filesystem::remove_all(dir);
    }
  } program{dir, "", "", false};

  std::string path;
  {
    std::ifstream out(dir / "out");
    std::getline(out, path);
  }
  program.pid = readText(dir / "pid");
  ASSERT_FALSE(program.pid.empty());
  ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;
  {
    Client client(path);
    ASSERT_TRUE(client.isOpen());
    EXPECT_EQ(client.exchange(command('B', {0, 4, 'F', 1, 2, 3, 4}), 1), cr);
  }
  program.end();
  EXPECT_EQ(program.status, "0");
  EXPECT_EQ(readText(dir / "t.txt"), "> 42 00 04 46 01 02 03 04\n< 0D\n");
  std::string flash = readText(dir / "flash.bin");
  ASSERT_EQ(flash.size(), 1024u);
  EXPECT_EQ(flash.substr(0, 5), std::string("\x01\x02\x03\x04\xFF", 5));
}

std::string intelHex(const Bytes& image) {
  std::string text;
  char line[64];
  for (std::size_t offset = 0; offset < image.size(); offset += 16) {
    std::size_t n = std::min<std::size_t>(16, image.size() - offset);
    unsigned sum = static_cast<unsigned>(n + (offset >> 8) + (offset & 0xFF));
    std::snprintf(line, sizeof line, ":%02X%04X00", static_cast<unsigned>(n), static_cast<unsigned>(offset));
    text += line;
    for (std::size_t i = 0; i < n; ++i) {
      std::snprintf(line, sizeof line, "%02X", image[offset + i]);
      text += line;
      sum += image[offset + i];
    }
    std::snprintf(line, sizeof line, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
    text += line;
  }
  return text + ":00000001FF\n";
}

// A generic AVR109 programmer client writes and verifies an image through the simulator.
TEST(SimCrossCheck, Avr109ClientWritesAndVerifies) {
  if (std::system("command -v avrdude >/dev/null 2>&1") != 0) GTEST_SKIP() << "avrdude is not installed";
  std::filesystem::path dir = freshDirectory("avrdude");
  const Bytes image = pattern(300);
  {
    std::ofstream hex(dir / "image.hex");
    hex << intelHex(image);
  }
  ProgrammerSimulator simulator;
  ASSERT_TRUE(simulator.start()) << simulator.errorText();
  std::string run = "timeout 120 avrdude -q -c avr109 -p m328p -P " + simulator.slavePath() +
                    " -b 19200 -U flash:w:'" + (dir / "image.hex").string() + "':i > '" + (dir / "log").string() +
                    "' 2>&1";
  int status = std::system(run.c_str());
  EXPECT_EQ(status, 0) << readText(dir / "log");
  Bytes flash = simulator.flash();
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 300), image);
  std::vector<std::string> commands = simulator.commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "e"), commands.end());
  EXPECT_NE(std::find(commands.begin(), commands.end(), "B 128 F"), commands.end());
  std::filesystem::remove_all(dir);
}

}  // namespace
