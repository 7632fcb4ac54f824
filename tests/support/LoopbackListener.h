// A plain TCP peer on the loopback interface for network tests: it listens on a port the system
// picks (port 0, read back), accepts one client, and reads and writes raw bytes with time-outs,
// so a test never blocks for good on a peer that does not come. Works through the OS layer, so
// the same test runs natively and under Wine. Also serves as a debug monitor in tests.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "ZEL_OS/OsNet.h"

class LoopbackListener {
 public:
  LoopbackListener();  // listens on 127.0.0.1; port() is 0 if that failed
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  std::uint16_t port() const { return listeningPort; }

  // Waits up to the time for a client and accepts it; false if none came.
  bool acceptClient(unsigned timeoutMs = 5000);
  // Reads until count bytes have arrived, the client closed, or the time passed.
  std::string readBytes(std::size_t count, unsigned timeoutMs = 5000);
  // Reads until the client closes its end (or the time passes).
  std::string readUntilClosed(unsigned timeoutMs = 5000);
  bool sendBytes(const std::string& bytes);
  // Closes the accepted client's socket (the listening one stays open).
  void closeClient();
  // Closes the listening socket, so nothing listens on port() any more.
  void stopListening();
  // Connects clients that are never accepted until the accept queue is full and a further
  // connection is not made within a short time: then nothing more is let in. False if the queue
  // did not fill.
  bool fillAcceptQueue();

 private:
  bool waitFor(zos::SocketHandle socket, long events, unsigned timeoutMs);

  zos::SocketHandle listener = 0;
  zos::SocketHandle client = 0;
  zos::NetEvent event = nullptr;
  std::uint16_t listeningPort = 0;
  std::vector<zos::SocketHandle> waitingClients;  // the connections that fill the accept queue
};

// A port on the loopback interface on which nothing listens (taken from the system, then freed).
std::uint16_t unusedLoopbackPort();
