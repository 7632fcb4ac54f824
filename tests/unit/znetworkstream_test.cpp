#include "ZEL_SYSTEM/ZNetworkStreamTcp.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/LoopbackListener.h"
#include "ZEL_OS/OsClock.h"
#include "ZEL_OS/OsMessages.h"
#include "ZEL_OS/OsNet.h"
#include "ZEL_SYSTEM/ZMem.h"
#include "ZEL_UTIL/ZError.h"
#include "tests/support/ZStringBytes.h"

namespace {


std::string bytesOf(const ZMem& m) {
  return std::string(reinterpret_cast<const char*>(m.getData()), static_cast<std::size_t>(m.getSize()));
}

bool startsWith(const ZString& text, const std::string& prefix) { return bytesOf(text).rfind(prefix, 0) == 0; }

// Waits (sleeping, a bounded time) until the condition holds; gives whether it did.
template <class Condition>
bool eventually(Condition condition, int timeoutMs = 5000) {
  for (int waited = 0; !condition(); waited += 2) {
    if (waited >= timeoutMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Dispatches this thread's messages, blocking between them, until the condition holds.
template <class Condition>
bool pumpUntil(Condition condition, unsigned timeoutMs = 5000) {
  std::uint32_t start = zos::tickCount();
  while (!condition()) {
    std::uint32_t spent = zos::tickCount() - start;
    if (spent >= timeoutMs) return false;
    if (zos::waitForMessageOrObject(nullptr, timeoutMs - spent) == zos::WaitMessageWaiting) zos::pumpOneMessage();
  }
  return true;
}

const std::string kConnectFailed = "Fehler beim Erzeugen eines TCP-Clients\r\nFehler beim Verbinden.\r\n";

}  // namespace

TEST(ZNetworkStreamTcp, ConstructionState) {
  ZNetworkStreamTcp stream;
  EXPECT_STREQ(stream.getClassName(), "ZNetworkStreamTcp");
  EXPECT_EQ(stream.socketType, 1);
  EXPECT_EQ(stream.listenSocket.load(), 0u);
  EXPECT_EQ(stream.dataSocket.load(), 0u);
  EXPECT_EQ(stream.isConnected(), 0);
  EXPECT_EQ(stream.startEvents(), 0) << "no socket to watch";
  EXPECT_EQ(bytesOf(stream.receive()), "");
  ZMem out(10);
  EXPECT_EQ(stream.receive(out), 0);
  EXPECT_EQ(out.getSize(), 0);
}

TEST(ZNetworkStreamTcp, ClientFailuresLeaveTheStreamIdle) {
  struct Case {
    const char* host;
    std::uint16_t port;
    std::string textStart;
  };
  const Case cases[] = {
      {"127.0.0.1", unusedLoopbackPort(), kConnectFailed},
      {"localhost", unusedLoopbackPort(), kConnectFailed},
      {"no-such-host.invalid", 5001,
       "Fehler beim Erzeugen eines TCP-Clients\r\nKann Server-Name/Adresse 'no-such-host.invalid' nicht aufl\xF6" "sen.\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    ZNetworkStreamTcp stream;
    EXPECT_EQ(stream.createClient(nullptr, c.port, c.host), 0);
    EXPECT_TRUE(startsWith(stream.errorText, c.textStart)) << bytesOf(stream.errorText);
    EXPECT_GT(stream.errorText.getLength(), static_cast<int>(c.textStart.size())) << "the system's text follows";
    EXPECT_EQ(bytesOf(stream.statusText), "Fehler...");
    EXPECT_EQ(stream.listenSocket.load(), 0u);
    EXPECT_EQ(stream.dataSocket.load(), 0u);
    EXPECT_EQ(stream.isConnected(), 0);
  }
}

TEST(ZNetworkStreamTcp, ConnectedClientRefusesASecondConnectAndKnowsItsPeer) {
  LoopbackListener listener;
  ASSERT_NE(listener.port(), 0);
  ZNetworkStreamTcp stream;
  ASSERT_EQ(stream.createClient(nullptr, listener.port(), "localhost"), 1) << bytesOf(stream.errorText);
  ASSERT_TRUE(listener.acceptClient());
  EXPECT_EQ(bytesOf(stream.statusText), "Client verbunden.");
  EXPECT_EQ(stream.isConnected(), 1);
  zos::SocketHandle socket = stream.dataSocket.load();
  EXPECT_NE(socket, 0u);

  EXPECT_EQ(stream.isConnectedTo("localhost", -1), 1);
  EXPECT_EQ(stream.isConnectedTo("LOCALHOST", -1), 0);
  EXPECT_EQ(stream.isConnectedTo("localhost", listener.port()), 1);
  EXPECT_EQ(stream.isConnectedTo("localhost", listener.port() + 1), 0);

  EXPECT_EQ(stream.createClient(nullptr, listener.port(), "localhost"), 0);
  EXPECT_EQ(bytesOf(stream.errorText), "ZNetworkStream::createClient(..) : Fehler, Stream ist bereits verbunden.");
  EXPECT_EQ(bytesOf(stream.statusText), "Fehler...");
  EXPECT_EQ(stream.dataSocket.load(), socket);
  EXPECT_EQ(stream.createServer(nullptr, 0, ""), 0);
  EXPECT_EQ(bytesOf(stream.errorText), "ZNetworkStream::createServer(..) : Fehler, Stream ist bereits verbunden.");

  ASSERT_EQ(stream.send(ZString("still there")), 1);
  EXPECT_EQ(listener.readBytes(11), "still there");

  stream.disconnect();
  EXPECT_EQ(bytesOf(stream.statusText), "Verbindung beendet.");
  EXPECT_EQ(stream.dataSocket.load(), 0u);
  EXPECT_EQ(stream.isConnected(), 0);
  EXPECT_EQ(stream.isConnectedTo("localhost", -1), 0);
  EXPECT_EQ(listener.readUntilClosed(), "");
}

TEST(ZNetworkStreamTcp, ServerOnAllInterfacesAcceptsAClientAndTheyTalk) {
  ZNetworkStreamTcp server;
  ASSERT_EQ(server.createServer(nullptr, 0, ""), 1) << bytesOf(server.errorText);
  EXPECT_EQ(bytesOf(server.statusText), "Server gestartet.");
  EXPECT_EQ(server.isConnected(), 0);
  std::uint16_t port = zos::socketLocalPort(server.listenSocket.load());
  ASSERT_NE(port, 0);

  EXPECT_EQ(server.createClient(nullptr, port, "127.0.0.1"), 0);
  EXPECT_EQ(bytesOf(server.errorText),
            "ZNetworkStream::createClient(..) : Fehler, Stream ist bereits als Server gestartet.");

  ZNetworkStreamTcp client;
  ASSERT_EQ(client.createClient(nullptr, port, "127.0.0.1"), 1) << bytesOf(client.errorText);
  ASSERT_EQ(server.accept(), 1);
  EXPECT_EQ(bytesOf(server.statusText), "Client akzeptiert.");
  EXPECT_EQ(server.isConnected(), 1);
  EXPECT_NE(server.dataSocket.load(), 0u);

  ASSERT_EQ(client.send(ZString("hello")), 1);
  EXPECT_EQ(bytesOf(server.receive()), "hello");
  ZMem reply;
  reply.setSize(0);
  const unsigned char raw[] = {1, 0, 2, 0, 3};
  reply.append(raw, 5);
  ASSERT_EQ(server.send(reply), 1);
  ZMem got;
  ASSERT_EQ(client.receive(got), 1);
  EXPECT_EQ(bytesOf(got), std::string("\x01\x00\x02\x00\x03", 5));

  server.disconnect();
  EXPECT_EQ(server.listenSocket.load(), 0u);
  EXPECT_EQ(server.dataSocket.load(), 0u);
}

TEST(ZNetworkStreamTcp, ListeningAgainReplacesTheListeningSocket) {
  ZNetworkStreamTcp server;
  ASSERT_EQ(server.createServer(nullptr, 0, "127.0.0.1"), 1);
  std::uint16_t first = zos::socketLocalPort(server.listenSocket.load());
  ASSERT_EQ(server.createServer(nullptr, 0, "127.0.0.1"), 1) << "a listening stream is not refused";
  std::uint16_t second = zos::socketLocalPort(server.listenSocket.load());
  EXPECT_NE(second, first);
  ZNetworkStreamTcp client;
  EXPECT_EQ(client.createClient(nullptr, first, "127.0.0.1"), 0) << "the first socket was closed";
  EXPECT_EQ(client.createClient(nullptr, second, "127.0.0.1"), 1);
  EXPECT_EQ(server.accept(), 1);
}

TEST(ZNetworkStreamTcp, ReceiveGoesOnWhileChunksComeFull) {
  LoopbackListener listener;
  ZNetworkStreamTcp stream;
  ASSERT_EQ(stream.createClient(nullptr, listener.port(), "127.0.0.1"), 1);
  ASSERT_TRUE(listener.acceptClient());

  // Exactly 1000 bytes fill the first chunk, so receive asks again and gets the tail too.
  ASSERT_TRUE(listener.sendBytes(std::string(1000, 'a') + "tail"));
  EXPECT_EQ(bytesOf(stream.receive()), std::string(1000, 'a') + "tail");

  // 2500 bytes with zero bytes in them arrive as a block of exactly 2500.
  std::string block;
  for (int i = 0; i < 2500; ++i) block += static_cast<char>(i % 7);
  ASSERT_TRUE(listener.sendBytes(block));
  ZMem out;
  ASSERT_EQ(stream.receive(out), 1);
  EXPECT_EQ(out.getSize(), 2500);
  EXPECT_EQ(bytesOf(out), block);
}

TEST(ZNetworkStreamTcp, SendToAPeerThatWentAwayFailsAndKeepsTheConnectionFlag) {
  LoopbackListener listener;
  ZNetworkStreamTcp stream;
  ASSERT_EQ(stream.createClient(nullptr, listener.port(), "127.0.0.1"), 1);
  ASSERT_TRUE(listener.acceptClient());
  listener.closeClient();
  // The first sends may still be taken by the system; once the peer's reset is back they fail,
  // and they must never end the process with a signal.
  bool failed = false;
  for (int attempt = 0; attempt < 200 && !failed; ++attempt) {
    failed = stream.send(ZString("line\r\n")) == 0;
    if (!failed) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(failed);
  EXPECT_EQ(bytesOf(stream.errorText), "Daten konnten nicht gesendet werden.");
  EXPECT_EQ(bytesOf(stream.statusText), "Fehler...");
  EXPECT_EQ(stream.isConnected(), 1);
}

namespace {

// Records the handlers' calls in order. The handlers run on the event thread; a server takes
// the client in onAccept, and every handler takes up what arrived.
class RecordingStream : public ZNetworkStreamTcp {
 public:
  // The handlers use this object's members: a thread that still runs ends before they go.
  ~RecordingStream() override { endRunningThreadAtDestruction(); }
  void onRead() override {
    ZString got = receive();
    note("read:" + bytesOf(got));
  }
  void onWrite() override { note("write"); }
  void onAccept() override {
    accept();
    note("accept");
  }
  void onClose() override { note("close"); }

  std::vector<std::string> calls() {
    std::lock_guard<std::mutex> hold(lock);
    return recorded;
  }
  bool has(const std::string& call) {
    for (const std::string& c : calls())
      if (c == call) return true;
    return false;
  }
  // The calls without "write", which the system may report whenever the socket can take data.
  std::vector<std::string> callsWithoutWrite() {
    std::vector<std::string> out;
    for (const std::string& c : calls())
      if (c != "write") out.push_back(c);
    return out;
  }

 private:
  void note(const std::string& call) {
    std::lock_guard<std::mutex> hold(lock);
    recorded.push_back(call);
  }
  std::mutex lock;
  std::vector<std::string> recorded;
};

}  // namespace

TEST(ZNetworkStreamEvents, ClientThreadReportsReadThenCloseAndEndsSoonAfterDisconnect) {
  LoopbackListener listener;
  RecordingStream stream;
  ASSERT_EQ(stream.createClient(nullptr, listener.port(), "127.0.0.1"), 1);
  ASSERT_TRUE(listener.acceptClient());
  ASSERT_EQ(stream.startEvents(), 1);
  EXPECT_TRUE(stream.isRunning());
  EXPECT_NE(stream.event.load(), nullptr);

  ASSERT_TRUE(listener.sendBytes("ping"));
  ASSERT_TRUE(eventually([&] { return stream.has("read:ping"); }));
  listener.closeClient();
  ASSERT_TRUE(eventually([&] { return stream.has("close"); }));
  std::vector<std::string> calls = stream.callsWithoutWrite();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.front(), "read:ping");
  EXPECT_EQ(calls.back(), "close");

  std::uint32_t start = zos::tickCount();
  stream.disconnect();
  ASSERT_TRUE(eventually([&] { return !stream.isRunning(); }, 3000));
  EXPECT_LT(zos::tickCount() - start, 1500u) << "the loop looks at the sockets every 200 ms";
  EXPECT_EQ(stream.event.load(), nullptr) << "the thread's end closes the event";
}

TEST(ZNetworkStreamEvents, ServerThreadReportsAcceptThenTheClientsReadAndClose) {
  RecordingStream server;
  ASSERT_EQ(server.createServer(nullptr, 0, "127.0.0.1"), 1);
  std::uint16_t port = zos::socketLocalPort(server.listenSocket.load());
  ASSERT_EQ(server.startEvents(), 1);

  ZNetworkStreamTcp client;
  ASSERT_EQ(client.createClient(nullptr, port, "127.0.0.1"), 1);
  ASSERT_TRUE(eventually([&] { return server.has("accept"); }));
  ASSERT_EQ(client.send(ZString("hi")), 1);
  ASSERT_TRUE(eventually([&] { return server.has("read:hi"); }));
  client.disconnect();
  ASSERT_TRUE(eventually([&] { return server.has("close"); }));
  std::vector<std::string> calls = server.callsWithoutWrite();
  EXPECT_EQ(calls, (std::vector<std::string>{"accept", "read:hi", "close"}));

  server.disconnect();
  EXPECT_TRUE(eventually([&] { return !server.isRunning(); }, 3000));
}

TEST(ZNetworkStreamEvents, DestroyingAStreamWithItsThreadRunningEndsItLogsAndCloses) {
  const char* text = "Ein ZThread wurde abnormal im Destruktor beendet.";
  ASSERT_EQ(bytesOf(zelError.log).find(text), std::string::npos);
  LoopbackListener listener;
  {
    RecordingStream stream;
    ASSERT_EQ(stream.createClient(nullptr, listener.port(), "127.0.0.1"), 1);
    ASSERT_TRUE(listener.acceptClient());
    ASSERT_EQ(stream.startEvents(), 1);
    // Once the thread has handled this, it only waits: no handler runs while the object goes.
    ASSERT_TRUE(listener.sendBytes("x"));
    ASSERT_TRUE(eventually([&] { return stream.has("read:x"); }));
  }
  EXPECT_NE(bytesOf(zelError.log).find(text), std::string::npos);
  EXPECT_EQ(listener.readUntilClosed(2000), "") << "the destructor closes the connection";
}

namespace {

// Its handler works for a while in code that allocates, frees and holds the library's locks,
// so that forced ends also come while it is there.
class BusyReader : public ZNetworkStreamTcp {
 public:
  ~BusyReader() override { endRunningThreadAtDestruction(); }
  void onRead() override {
    begun = true;
    for (int round = 0; round < 20000; ++round) {
      ZString copy(std::string(64, 'x').c_str());
      copy += "y";
      work += copy.getLength();
    }
    receive();
  }
  std::atomic<bool> begun{false};
  std::atomic<long> work{0};
};

}  // namespace

// The forced end of an event thread comes wherever the thread happens to be: at its start, in
// its wait, in a handler. None of those places may end the process or leave a lock taken.
TEST(ZNetworkStreamEvents, DestroyingStreamsWithTheirThreadRunningNeverEndsTheProcess) {
  const char* text = "Ein ZThread wurde abnormal im Destruktor beendet.";
  LoopbackListener listener;
  for (int cycle = 0; cycle < 600; ++cycle) {
    SCOPED_TRACE(cycle);
    zelError.log = "";  // the log keeps a text once; each cycle must add it anew
    {
      BusyReader stream;
      ASSERT_EQ(stream.createClient(nullptr, listener.port(), "127.0.0.1"), 1);
      ASSERT_TRUE(listener.acceptClient());
      ASSERT_EQ(stream.startEvents(), 1);
      switch (cycle % 3) {
        case 0:  // at once, while the thread starts
          break;
        case 1:  // in its wait
          std::this_thread::sleep_for(std::chrono::microseconds(cycle % 1000));
          break;
        case 2:  // in its handler
          ASSERT_TRUE(listener.sendBytes("data"));
          ASSERT_TRUE(eventually([&] { return stream.begun.load(); }));
          std::this_thread::sleep_for(std::chrono::microseconds(cycle % 300));
          break;
      }
    }
    ASSERT_NE(bytesOf(zelError.log).find(text), std::string::npos) << "the forced end was not logged";
  }
  zelError.log = "";
}

namespace {

// A window of the test's thread that notes the socket messages it gets.
struct Notes {
  std::vector<long> events;
  std::vector<std::uintptr_t> sockets;
  ZNetworkStreamTcp* stream = nullptr;
  std::string received;
};

std::intptr_t noteSocketMessage(zos::WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  if (message != ZNetworkStream::notifyMessage) return 0;
  auto* notes = static_cast<Notes*>(zos::getWindowUserData(window));
  long event = static_cast<long>(lParam & 0xFFFF);
  notes->events.push_back(event);
  notes->sockets.push_back(wParam);
  if (event == zos::socketEventRead) notes->received += bytesOf(notes->stream->receive());
  if (event == zos::socketEventAccept) notes->stream->accept();
  return 0;
}

bool contains(const std::vector<long>& events, long event) {
  for (long e : events)
    if (e == event) return true;
  return false;
}

}  // namespace

TEST(ZNetworkStreamNotify, ClientWindowGetsReadAndCloseMessages) {
  LoopbackListener listener;
  Notes notes;
  zos::WindowHandle window = zos::createMessageWindow(noteSocketMessage, &notes);
  ASSERT_NE(window, nullptr);
  ZNetworkStreamTcp stream;
  notes.stream = &stream;
  ASSERT_EQ(stream.createClient(window, listener.port(), "127.0.0.1"), 1) << bytesOf(stream.errorText);
  ASSERT_TRUE(listener.acceptClient());

  ASSERT_TRUE(listener.sendBytes("abc"));
  ASSERT_TRUE(pumpUntil([&] { return notes.received == "abc"; }));
  EXPECT_EQ(notes.sockets.front(), stream.dataSocket.load());
  ASSERT_TRUE(listener.sendBytes("def"));
  ASSERT_TRUE(pumpUntil([&] { return notes.received == "abcdef"; })) << "read is told again after a receive";
  listener.closeClient();
  ASSERT_TRUE(pumpUntil([&] { return contains(notes.events, zos::socketEventClose); }));
  EXPECT_EQ(notes.events.back(), zos::socketEventClose);

  stream.disconnect();
  zos::destroyMessageWindow(window);
}

TEST(ZNetworkStreamNotify, ServerWindowGetsAcceptAndSendsBigBlocksWhole) {
  Notes notes;
  zos::WindowHandle window = zos::createMessageWindow(noteSocketMessage, &notes);
  ZNetworkStreamTcp server;
  notes.stream = &server;
  ASSERT_EQ(server.createServer(window, 0, "127.0.0.1"), 1) << bytesOf(server.errorText);
  std::uint16_t port = zos::socketLocalPort(server.listenSocket.load());

  ZNetworkStreamTcp client;
  ASSERT_EQ(client.createClient(nullptr, port, "127.0.0.1"), 1);
  ASSERT_TRUE(pumpUntil([&] { return server.isConnected() == 1; }));
  EXPECT_EQ(notes.events.front(), zos::socketEventAccept);

  // The accepted socket is non-blocking: a block far larger than the system's buffers goes out
  // in many partial sends, and every byte must arrive.
  const int size = 4 * 1024 * 1024;
  ZMem big(size);
  for (int i = 0; i < size; ++i) big.getData()[i] = static_cast<unsigned char>(i * 31 + i / 4096);
  std::atomic<long> arrived{0};
  std::atomic<bool> same{true};
  std::thread reader([&] {
    ZMem chunk;
    while (arrived < size && client.receive(chunk) == 1 && chunk.getSize() > 0) {
      for (int i = 0; i < chunk.getSize(); ++i)
        if (chunk.getData()[i] != big.getData()[arrived + i]) same = false;
      arrived += chunk.getSize();
    }
  });
  EXPECT_EQ(server.send(big), 1);
  reader.join();
  EXPECT_EQ(arrived.load(), size);
  EXPECT_TRUE(same);

  server.disconnect();
  zos::destroyMessageWindow(window);
}
