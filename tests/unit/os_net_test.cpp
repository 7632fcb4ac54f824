// The socket layer against real loopback listeners.
#include "ZEL_OS/OsNet.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsMessages.h"

namespace {

const std::uint32_t loopback = 0x0100007F;  // 127.0.0.1 in network byte order

class OsNet : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(zos::netStartup(), 0); }
  void TearDown() override {
    for (zos::SocketHandle s : sockets) zos::socketClose(s);
    zos::netCleanup();
  }

  zos::SocketHandle keep(zos::SocketHandle s) {
    if (s) sockets.push_back(s);
    return s;
  }

  // A listener on a port the system picks.
  zos::SocketHandle listener(std::uint16_t& port) {
    zos::SocketHandle s = keep(zos::socketCreate(zos::socketTypeStream));
    EXPECT_NE(s, 0u);
    EXPECT_TRUE(zos::socketBind(s, loopback, 0));
    EXPECT_TRUE(zos::socketListen(s, 5));
    port = zos::socketLocalPort(s);
    EXPECT_NE(port, 0);
    return s;
  }

  // A connected pair: a client and the server's side of it.
  void connectedPair(zos::SocketHandle& client, zos::SocketHandle& server) {
    std::uint16_t port = 0;
    zos::SocketHandle listen = listener(port);
    client = keep(zos::socketCreate(zos::socketTypeStream));
    ASSERT_TRUE(zos::socketConnect(client, loopback, port));
    server = keep(zos::socketAccept(listen));
    ASSERT_NE(server, 0u);
  }

  std::vector<zos::SocketHandle> sockets;
};

TEST_F(OsNet, ResolvesNamesAndDottedAddresses) {
  std::uint32_t address = 0;
  EXPECT_TRUE(zos::netResolveHost("localhost", address));
  EXPECT_EQ(address & 0xFF, 127u);
  EXPECT_TRUE(zos::netResolveHost("127.0.0.1", address));
  EXPECT_EQ(address, loopback);
  EXPECT_FALSE(zos::netResolveHost("no-such-host.invalid", address));
  EXPECT_NE(zos::lastError(), 0);

  EXPECT_TRUE(zos::netParseAddress("127.0.0.1", address));
  EXPECT_EQ(address, loopback);
  EXPECT_FALSE(zos::netParseAddress("localhost", address));
  EXPECT_FALSE(zos::netParseAddress("", address));
}

TEST_F(OsNet, ConnectToAPortWithoutListenerFails) {
  std::uint16_t port = 0;
  zos::SocketHandle unused = listener(port);
  zos::socketClose(unused);
  sockets.clear();
  zos::SocketHandle client = keep(zos::socketCreate(zos::socketTypeStream));
  zos::setLastError(0);
  EXPECT_FALSE(zos::socketConnect(client, loopback, port));
  EXPECT_NE(zos::lastError(), 0);
}

// A large block goes out whole, in order, while the peer reads it in pieces.
TEST_F(OsNet, SendAllDeliversEveryByte) {
  zos::SocketHandle client = 0, server = 0;
  connectedPair(client, server);
  std::vector<char> block(3 * 1024 * 1024);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7 + i / 251);
  std::vector<char> received;
  std::thread reader([&] {
    char buffer[1000];
    while (received.size() < block.size()) {
      int n = zos::socketReceive(server, buffer, sizeof buffer);
      if (n <= 0) break;
      received.insert(received.end(), buffer, buffer + n);
    }
  });
  EXPECT_TRUE(zos::socketSendAll(client, block.data(), static_cast<int>(block.size())));
  reader.join();
  EXPECT_TRUE(received == block);
}

// After an event selection the socket no longer blocks: a full send buffer is waited on, not
// reported as a short send.
TEST_F(OsNet, SendAllOnANonBlockingSocketWaitsInsteadOfCuttingShort) {
  zos::SocketHandle client = 0, server = 0;
  connectedPair(client, server);
  zos::NetEvent event = zos::netEventCreate();
  ASSERT_NE(event, nullptr);
  ASSERT_TRUE(zos::netEventSelect(client, event, zos::socketEventRead | zos::socketEventWrite));
  std::vector<char> block(4 * 1024 * 1024, 'x');
  std::size_t total = 0;
  std::thread reader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the buffers fill up
    char buffer[65536];
    while (total < block.size()) {
      int n = zos::socketReceive(server, buffer, sizeof buffer);
      if (n <= 0) break;
      total += static_cast<std::size_t>(n);
    }
  });
  EXPECT_TRUE(zos::socketSendAll(client, block.data(), static_cast<int>(block.size())));
  reader.join();
  EXPECT_EQ(total, block.size());
  EXPECT_TRUE(zos::netEventSelect(client, event, 0));
  zos::netEventClose(event);
}

TEST_F(OsNet, ReceiveReportsTheEndOfTheStream) {
  zos::SocketHandle client = 0, server = 0;
  connectedPair(client, server);
  ASSERT_TRUE(zos::socketSendAll(client, "abc", 3));
  zos::socketClose(client);
  sockets.erase(sockets.begin() + 1);
  char buffer[10];
  EXPECT_EQ(zos::socketReceive(server, buffer, sizeof buffer), 3);
  EXPECT_EQ(zos::socketReceive(server, buffer, sizeof buffer), 0);
}

// Sending to a peer that has gone fails instead of ending the program with a signal.
TEST_F(OsNet, SendToAClosedPeerFailsQuietly) {
  zos::SocketHandle client = 0, server = 0;
  connectedPair(client, server);
  zos::socketClose(server);
  sockets.pop_back();
  std::vector<char> block(256 * 1024, 'y');
  bool ok = true;
  for (int i = 0; i < 20 && ok; ++i)
    ok = zos::socketSendAll(client, block.data(), static_cast<int>(block.size()));
  EXPECT_FALSE(ok);
  EXPECT_NE(zos::lastError(), 0);
}

TEST_F(OsNet, EventsOfAListener) {
  std::uint16_t port = 0;
  zos::SocketHandle listen = listener(port);
  zos::NetEvent event = zos::netEventCreate();
  ASSERT_TRUE(zos::netEventSelect(listen, event, 0x2B));
  EXPECT_EQ(zos::netEventWait(event, 50), zos::NetWaitResult::timeout);

  zos::SocketHandle client = keep(zos::socketCreate(zos::socketTypeStream));
  ASSERT_TRUE(zos::socketConnect(client, loopback, port));
  EXPECT_EQ(zos::netEventWait(event, 2000), zos::NetWaitResult::signalled);
  long events = 0;
  EXPECT_TRUE(zos::netEnumEvents(listen, event, events));
  EXPECT_EQ(events, zos::socketEventAccept);
  EXPECT_NE(keep(zos::socketAccept(listen)), 0u);

  zos::netEventSelect(listen, event, 0);
  zos::netEventClose(event);
}

// Each kind of event is reported once and comes again only after the call that consumes it:
// unread data does not keep the event signalled.
TEST_F(OsNet, EventsOfAConnection) {
  zos::SocketHandle client = 0, server = 0;
  connectedPair(client, server);
  zos::NetEvent event = zos::netEventCreate();
  ASSERT_TRUE(zos::netEventSelect(server, event, 0x2B));
  long events = 0;

  ASSERT_EQ(zos::netEventWait(event, 2000), zos::NetWaitResult::signalled);
  EXPECT_TRUE(zos::netEnumEvents(server, event, events));
  EXPECT_EQ(events, zos::socketEventWrite);

  ASSERT_TRUE(zos::socketSendAll(client, "hello", 5));
  ASSERT_EQ(zos::netEventWait(event, 2000), zos::NetWaitResult::signalled);
  EXPECT_TRUE(zos::netEnumEvents(server, event, events));
  EXPECT_EQ(events, zos::socketEventRead);

  ASSERT_TRUE(zos::socketSendAll(client, "more", 4));
  EXPECT_EQ(zos::netEventWait(event, 200), zos::NetWaitResult::timeout);

  char buffer[16];
  EXPECT_GT(zos::socketReceive(server, buffer, sizeof buffer), 0);
  zos::socketClose(client);
  sockets.erase(sockets.begin() + 1);
  // What is left to read, then the end of the connection.
  long seen = 0;
  for (int i = 0; i < 4 && !(seen & zos::socketEventClose); ++i) {
    if (zos::netEventWait(event, 2000) != zos::NetWaitResult::signalled) break;
    EXPECT_TRUE(zos::netEnumEvents(server, event, events));
    seen |= events;
    if (events & zos::socketEventRead) zos::socketReceive(server, buffer, sizeof buffer);
  }
  EXPECT_TRUE(seen & zos::socketEventClose);

  zos::netEventSelect(server, event, 0);
  zos::netEventClose(event);
}

struct Notification {
  unsigned message;
  std::uintptr_t socket;
  std::intptr_t event;
};
std::vector<Notification> notifications;

std::intptr_t recordNotification(zos::WindowHandle, unsigned message, std::uintptr_t wParam,
                                 std::intptr_t lParam) {
  notifications.push_back({message, wParam, lParam});
  return 0;
}

// Handles this thread's messages until one more notification came, at most two seconds.
bool nextNotification() {
  std::size_t before = notifications.size();
  for (int i = 0; i < 100 && notifications.size() == before; ++i) {
    if (zos::waitForMessageOrObject(nullptr, 20) == zos::WaitMessageWaiting) zos::pumpOneMessage();
  }
  return notifications.size() > before;
}

// A window learns of each event by a message: the socket, and the event in the low word.
// A socket accepted on such a listener is watched the same way.
TEST_F(OsNet, AWindowIsNotifiedOfSocketEvents) {
  notifications.clear();
  zos::WindowHandle window = zos::createMessageWindow(recordNotification, nullptr);
  ASSERT_NE(window, nullptr);
  const unsigned message = 0x4402;
  std::uint16_t port = 0;
  zos::SocketHandle listen = listener(port);
  ASSERT_TRUE(zos::socketAsyncSelect(listen, window, message, 0x29));

  zos::SocketHandle client = keep(zos::socketCreate(zos::socketTypeStream));
  ASSERT_TRUE(zos::socketConnect(client, loopback, port));
  ASSERT_TRUE(nextNotification());
  EXPECT_EQ(notifications.back().message, message);
  EXPECT_EQ(notifications.back().socket, listen);
  EXPECT_EQ(notifications.back().event & 0xFFFF, zos::socketEventAccept);

  zos::SocketHandle server = keep(zos::socketAccept(listen));
  ASSERT_NE(server, 0u);
  ASSERT_TRUE(zos::socketSendAll(client, "x", 1));
  ASSERT_TRUE(nextNotification());
  EXPECT_EQ(notifications.back().socket, server);
  EXPECT_EQ(notifications.back().event & 0xFFFF, zos::socketEventRead);

  EXPECT_TRUE(zos::socketAsyncSelect(server, window, message, 0));
  EXPECT_TRUE(zos::socketAsyncSelect(listen, window, message, 0));
  zos::destroyMessageWindow(window);
}

}  // namespace
