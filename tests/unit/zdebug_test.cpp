#include "ZEL_SYSTEM/ZDebug.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/LoopbackListener.h"

namespace {

std::string bytes(const ZString& s) { return std::string(s.getBuffer(), static_cast<std::size_t>(s.getLength())); }

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
  EXPECT_EQ(bytes(channel.monitorHost), "localhost");
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
  EXPECT_EQ(bytes(m.channel.errorText), "Daten konnten nicht gesendet werden.");
  m.channel.print("still alive");
  EXPECT_EQ(m.channel.connectState, 1);
}
