// The simulator's line faults for the reliability tests: noise before and behind answers,
// answers split into single bytes, and the answer filter of a programmer that answers anything.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "sim/Pty.h"
#include "sim/Simulator.h"
#include "sim/SimulatorOptions.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A raw client on the simulator's line: sends a request and collects what comes within a while.
class Line {
 public:
  // The filter, if any, is set before the simulator starts serving.
  explicit Line(const sim::SimulatorOptions& options, sim::ProgrammerSimulator::AnswerFilter filter = nullptr)
      : simulator(options) {
    if (filter) simulator.setAnswerFilter(std::move(filter));
    if (simulator.start()) handle = sim::ptyOpenTerminal(simulator.slavePath().c_str(), 19200);
  }
  ~Line() { sim::ptyClose(handle); }

  bool ready() const { return handle != nullptr; }

  // The bytes that came until count of them are there or quietMs passed without a byte.
  Bytes exchange(const Bytes& request, std::size_t count, int quietMs = 300, int* reads = nullptr) {
    EXPECT_EQ(sim::ptyWrite(handle, request.data(), static_cast<int>(request.size()), 1000),
              static_cast<int>(request.size()));
    Bytes got;
    std::uint8_t buffer[256];
    while (got.size() < count && sim::ptyWaitReadable(handle, quietMs) == sim::PtyWaitResult::ready) {
      int n = sim::ptyRead(handle, buffer, sizeof buffer);
      if (n <= 0) break;
      got.insert(got.end(), buffer, buffer + n);
      if (reads) ++*reads;
    }
    return got;
  }

  sim::ProgrammerSimulator simulator;
  zos::Handle handle = nullptr;
};

Bytes noise(std::size_t n) {
  const Bytes pattern = {0xFF, 0x00, 0xAA, 0x55, '?', 'Z', 0x80, 0x7F};
  Bytes bytes;
  for (std::size_t i = 0; i < n; ++i) bytes.push_back(pattern[i % pattern.size()]);
  return bytes;
}

Bytes operator+(Bytes left, const Bytes& right) {
  left.insert(left.end(), right.begin(), right.end());
  return left;
}

TEST(SimNoise, NoiseGoesBeforeAndBehindTheChosenAnswers) {
  struct Case {
    std::size_t before, after;
    long onlyCommand;
    Bytes first, second;  // what the client gets for 'a' (answered 'Y') and then for 'P' (CR)
  };
  const Bytes y = {'Y'}, cr = {0x0D};
  const Case cases[] = {
      {3, 0, 0, noise(3) + y, noise(3) + cr},
      {0, 10, 0, y + noise(10), cr + noise(10)},
      {2, 1, 2, y, noise(2) + cr + noise(1)},
  };
  for (const Case& c : cases) {
    sim::SimulatorOptions options;
    options.garbageBeforeAnswer = c.before;
    options.extraAfterAnswer = c.after;
    options.noiseCommand = c.onlyCommand;
    Line line(options);
    ASSERT_TRUE(line.ready());
    EXPECT_EQ(line.exchange({'a'}, c.first.size()), c.first);
    EXPECT_EQ(line.exchange({'P'}, c.second.size()), c.second);
    // The device itself is not disturbed: 'P' still entered programming mode.
    EXPECT_TRUE(line.simulator.status().programming);
  }
  // Noise never holds a byte that a client waits for.
  for (std::uint8_t b : noise(64)) EXPECT_TRUE(b != 0x0D && b != 0x0A);
}

TEST(SimNoise, SplitAnswersArriveOneByteAtATime) {
  sim::SimulatorOptions options;
  options.splitAnswersMs = 40;
  Line line(options);
  ASSERT_TRUE(line.ready());
  int reads = 0;
  Clock::time_point start = Clock::now();
  EXPECT_EQ(line.exchange({'S'}, 7, 1000, &reads), bytesOf("KALMSIM"));
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 6 * 40);
  EXPECT_EQ(reads, 7);
}

TEST(SimNoise, AnswerFilterRewritesAnswers) {
  std::mutex seenMutex;  // the filter runs on the serving thread
  std::vector<std::string> seen;
  Line line(sim::SimulatorOptions(), [&](long number, const std::string& text, Bytes& bytes) {
    std::lock_guard<std::mutex> lock(seenMutex);
    seen.push_back(std::to_string(number) + ":" + text);
    if (text == "b") bytes = {'Y', 0x01};  // one byte short
    if (text == "e") bytes.clear();        // no answer at all
  });
  ASSERT_TRUE(line.ready());
  EXPECT_EQ(line.exchange({'b'}, 3), (Bytes{'Y', 0x01}));
  EXPECT_EQ(line.exchange({'e'}, 1), Bytes());
  EXPECT_EQ(line.exchange({'A', 0, 2}, 1), Bytes{0x0D});
  std::lock_guard<std::mutex> lock(seenMutex);
  EXPECT_EQ(seen, (std::vector<std::string>{"1:b", "2:e", "3:A 2"}));
  // The transcript holds what went out.
  EXPECT_EQ(line.simulator.sent(), (Bytes{'Y', 0x01, 0x0D}));
}

TEST(SimNoise, OptionsOnTheCommandLine) {
  sim::SimulatorOptions options;
  bool help = false;
  std::string error;
  ASSERT_TRUE(sim::parseOptions({"--garbage-before-answer", "3", "--extra-after-answer=0x10", "--noise-command", "5",
                                 "--split-answers", "0.5"},
                                options, help, error))
      << error;
  EXPECT_EQ(options.garbageBeforeAnswer, 3u);
  EXPECT_EQ(options.extraAfterAnswer, 16u);
  EXPECT_EQ(options.noiseCommand, 5);
  EXPECT_DOUBLE_EQ(options.splitAnswersMs, 0.5);
  EXPECT_FALSE(sim::parseOptions({"--noise-command", "0"}, options, help, error));
  EXPECT_FALSE(sim::parseOptions({"--split-answers", "-1"}, options, help, error));
  EXPECT_NE(sim::optionsHelp().find("--split-answers MS"), std::string::npos);
}

}  // namespace
