#include "ZEL_SYSTEM/ZDebug.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/LoopbackListener.h"
#include "tests/support/ZStringBytes.h"

namespace {


const std::string kCutWarning =
    "!!!!!!!! debug.printf(): Ergebnis-String wurde gr\xF6\xDF" "er als 5000 Zeichen -> wurden abgeschnitten !!!!!!!!!!";

// A channel pointed at the listener and unmuted, as the tool's run leaves it.
struct MonitoredChannel {
  LoopbackListener monitor;
  ZDebug channel;
  MonitoredChannel() {
    channel.monitorPort = monitor.port();
    channel.muted = 0;
  }
  // Sends one line first, so that the monitor has its client.
  bool connect(const ZString& firstLine) {
    channel.print(firstLine);
    return channel.connectState == 1 && monitor.acceptClient();
  }
};

}  // namespace

TEST(ZDebug, ConstructionState) {
  ZDebug channel;
  EXPECT_STREQ(channel.getClassName(), "ZDebug");
  EXPECT_EQ(bytesOf(channel.monitorHost), "localhost");
  EXPECT_EQ(channel.muted, 1);
  EXPECT_EQ(channel.connectState, 0);
  EXPECT_EQ(channel.socketType, 1);
  if (std::getenv("KALMO_DEBUG_PORT") == nullptr) {
    EXPECT_EQ(channel.monitorPort, 5001);
  }
}

TEST(ZDebug, EnvironmentPointsTheChannelToAnotherPort) {
  struct Case {
    const char* setting;
    int port;
  };
  // putenv keeps the texts themselves, so they live as long as the program.
  static char number[] = "KALMO_DEBUG_PORT=4321";
  static char junk[] = "KALMO_DEBUG_PORT=50x1";
  static char tooBig[] = "KALMO_DEBUG_PORT=70000";
  static char empty[] = "KALMO_DEBUG_PORT=";
  const Case cases[] = {{number, 4321}, {junk, 5001}, {tooBig, 5001}, {empty, 5001}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    putenv(const_cast<char*>(c.setting));
    ZDebug channel;
    EXPECT_EQ(channel.monitorPort, c.port);
  }
}

TEST(ZDebug, MutedChannelOpensNoConnection) {
  LoopbackListener monitor;
  ZDebug channel;
  channel.monitorPort = monitor.port();
  channel.print("abc");
  channel.printf("%d", 1);
  EXPECT_EQ(channel.connectState, 0);
  EXPECT_EQ(channel.dataSocket.load(), 0u);
  EXPECT_FALSE(monitor.acceptClient(200));
}

TEST(ZDebug, WithoutAMonitorTheOneAttemptFailsAndIsNotRepeated) {
  ZDebug channel;
  channel.monitorPort = unusedLoopbackPort();
  channel.muted = 0;
  channel.print("lost");
  EXPECT_EQ(channel.connectState, 2);
  EXPECT_FALSE(channel.connectMonitor());

  LoopbackListener lateMonitor;  // a monitor that starts later is not tried
  channel.monitorPort = lateMonitor.port();
  channel.print("lost too");
  EXPECT_EQ(channel.connectState, 2);
  EXPECT_FALSE(lateMonitor.acceptClient(200));
}

TEST(ZDebug, LinesArriveWithCrLfAsTheirBytesAreStored) {
  MonitoredChannel m;
  ASSERT_TRUE(m.connect("abc"));
  EXPECT_TRUE(m.channel.connectMonitor());
  EXPECT_EQ(m.monitor.readBytes(5), "abc\r\n");

  m.channel.printf("Dauer/duration: %dms", 120);
  m.channel.print(" ### \xF6" "ffne Serial Port COM3");
  m.channel.print("");
  const std::string expected = "Dauer/duration: 120ms\r\n ### \xF6" "ffne Serial Port COM3\r\n\r\n";
  EXPECT_EQ(m.monitor.readBytes(expected.size()), expected);
}

TEST(ZDebug, PrintfCutsAtFiveThousandCharactersAndWarns) {
  MonitoredChannel m;
  ASSERT_TRUE(m.connect("start"));
  EXPECT_EQ(m.monitor.readBytes(7), "start\r\n");

  std::string exact(4990, 'x');
  m.channel.printf("%s%010d", exact.c_str(), 42);  // exactly 5000 characters
  std::string whole = exact + "0000000042\r\n";
  EXPECT_EQ(m.monitor.readBytes(whole.size()), whole);

  std::string longer(5001, 'y');
  m.channel.printf("%s", longer.c_str());
  m.channel.print("after");
  std::string cut = std::string(5000, 'y') + "\r\n" + kCutWarning + "\r\n" + "after\r\n";
  EXPECT_EQ(m.monitor.readBytes(cut.size()), cut);
}

TEST(ZDebug, AMonitorThatGoesAwayDoesNotEndTheProgram) {
  MonitoredChannel m;
  ASSERT_TRUE(m.connect("hello"));
  m.monitor.closeClient();
  m.monitor.stopListening();
  // The first lines may still be taken by the system; once the monitor's reset is back, each
  // line fails inside send, without a signal that would end the process.
  for (int line = 0; line < 200 && m.channel.errorText.isEmpty(); ++line) {
    m.channel.printf("line %d", line);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(bytesOf(m.channel.errorText), "Daten konnten nicht gesendet werden.");
  m.channel.print("still alive");
  EXPECT_EQ(m.channel.connectState, 1);
}

// A monitor whose accept queue is full lets no connection in: the attempt gives up after its
// short wait, and the tool goes on without a monitor.
TEST(ZDebug, AMonitorThatLetsNoConnectionInCountsAsNone) {
  LoopbackListener monitor;
  ASSERT_TRUE(monitor.fillAcceptQueue());
  ZDebug channel;
  channel.monitorPort = monitor.port();
  channel.muted = 0;
  auto start = std::chrono::steady_clock::now();
  channel.print("lost");
  channel.print("lost too");
  auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_EQ(channel.connectState, 2);
  EXPECT_LT(spent.count(), 1500) << "the attempt waits about 200 ms";
}

// A monitor that does not read: lines that no longer fit are dropped without waiting, and once
// the monitor reads again the next line that fits says how many were dropped. Every line that
// arrives arrives whole and in order.
TEST(ZDebug, LinesThatDoNotFitAreDroppedCountedAndNeverCut) {
  MonitoredChannel m;
  ASSERT_TRUE(m.connect("start"));
  const int lines = 30000;  // 30 MB: more than any connection buffers
  const std::string padding(990, 'x');
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < lines; ++i) m.channel.printf("line %06d %s", i, padding.c_str());
  auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_LT(spent.count(), 30000) << "sending never waits for the monitor";

  std::string received = m.monitor.readBytes(std::string::npos, 500);  // all that was taken
  m.channel.print("end");
  m.channel.disconnect();
  received += m.monitor.readUntilClosed();

  std::vector<std::string> got;
  for (std::size_t at = 0; at < received.size();) {
    std::size_t end = received.find("\r\n", at);
    ASSERT_NE(end, std::string::npos) << "a line without its end";
    got.push_back(received.substr(at, end - at));
    at = end + 2;
  }
  ASSERT_GE(got.size(), 3u);
  EXPECT_EQ(got.front(), "start");
  EXPECT_EQ(got.back(), "end");
  // The kernel moves bytes on to the monitor's side while the lines go out, so room may come
  // back more than once: each notice counts the lines dropped since the one before.
  int dropped = 0;
  int notices = 0;
  int previous = -1;
  for (std::size_t i = 1; i + 1 < got.size(); ++i) {
    int count = 0;
    if (std::sscanf(got[i].c_str(), "!!!!!!!! debug: %d Zeilen verworfen", &count) == 1) {
      EXPECT_NE(got[i].find(std::to_string(count) + " lines dropped"), std::string::npos) << got[i];
      dropped += count;
      ++notices;
      continue;
    }
    int number = -1;
    ASSERT_EQ(std::sscanf(got[i].c_str(), "line %d", &number), 1) << got[i].substr(0, 40);
    ASSERT_EQ(got[i].size(), 12 + padding.size()) << "line " << number << " arrived cut";
    EXPECT_GT(number, previous);
    previous = number;
  }
  EXPECT_GT(dropped, 0);
  EXPECT_GE(notices, 1);
  EXPECT_EQ(static_cast<int>(got.size()) - 2 - notices + dropped, lines) << "each line arrived or was counted";
}
