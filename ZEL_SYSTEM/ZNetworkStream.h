// ZNetworkStream: one connection over sockets, either a client connected to a server or a server
// that listens and accepts one client. This class holds the state and the texts and runs the
// optional event thread; the protocol's steps (socket, connect, listen, send, receive) are virtual
// and come from a subclass such as ZNetworkStreamTcp.
#pragma once
#include <atomic>
#include <cstdint>

#include "ZEL_OS/OsTypes.h"
#include "ZEL_SYSTEM/ZThread.h"
#include "ZEL_UTIL/ZString.h"

class ZMem;

class ZNetworkStream : public ZThread {
 public:
  // The window message that carries socket events to a notification window
  // (wParam: the socket, lParam: the event bits, the error number in the high word).
  static constexpr unsigned notifyMessage = 0x4402;

  ZNetworkStream();
  const char* className() const override { return "ZNetworkStream"; }
  // Ends an event thread that still runs (and logs that it had to), then closes the sockets.
  ~ZNetworkStream() override;

  // The event loop and its clean-up on the event thread.
  void onWorkThread() override;
  void onThreadEnd() override;

  // The protocol's steps; the base versions do nothing and fail.
  virtual int _connect() { return 0; }
  virtual int _listen() { return 0; }
  virtual ZString _receive() { return ZString(); }
  virtual int _send(const ZString& text);
  // Event handlers, called on the event thread.
  virtual void onRead() {}
  virtual void onWrite() {}
  virtual void onAccept() {}
  virtual void onClose() {}
  virtual int _send(const ZMem& block);
  virtual int _receive(ZMem& out);

  int createClient(zos::WindowHandle window, std::uint16_t port, const ZString& host);
  int createServer(zos::WindowHandle window, std::uint16_t port, const ZString& host);
  void disconnect();
  int accept();
  int startEvents();
  int send(const ZString& text) { return _send(text); }
  int send(const ZMem& block) { return _send(block); }
  ZString receive() { return _receive(); }
  int receive(ZMem& out) { return _receive(out); }
  int isConnected() const { return connected; }
  int isConnectedTo(const ZString& otherHost, int port) const;

  ZString errorText;
  // The sockets are read by the event thread while the owner's thread may close them.
  std::atomic<zos::SocketHandle> listenSocket{0};
  std::atomic<zos::SocketHandle> dataSocket{0};
  int socketType = 0;
  ZString statusText;
  int connected = 0;
  ZString host;
  zos::WindowHandle notifyWindow = nullptr;
  std::uint16_t portNumber = 0;
  std::atomic<zos::Handle> event{nullptr};

 protected:
  // The socket the event selection works on: the connected one, else the listening one.
  zos::SocketHandle eventSocket() const;
  void closeEvent();
};
