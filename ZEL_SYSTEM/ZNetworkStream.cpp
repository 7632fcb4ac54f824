#include "ZEL_SYSTEM/ZNetworkStream.h"

#include <initializer_list>

#include "ZEL_OS/OsClock.h"
#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsNet.h"
#include "ZEL_SYSTEM/ZMem.h"

namespace {
const unsigned eventWaitMs = 200;  // one step of the event thread's wait
const char* const kFailedStatus = "Fehler...";
const long kAllEvents =
    zos::socketEventRead | zos::socketEventWrite | zos::socketEventAccept | zos::socketEventClose;
}  // namespace

ZNetworkStream::ZNetworkStream() = default;

ZNetworkStream::~ZNetworkStream() {
  endRunningThreadAtDestruction();
  disconnect();
  closeEvent();
}

int ZNetworkStream::_send(const ZString&) { return 0; }
int ZNetworkStream::_send(const ZMem&) { return 0; }
int ZNetworkStream::_receive(ZMem&) { return 0; }

int ZNetworkStream::createClient(zos::WindowHandle window, std::uint16_t port, const ZString& hostName) {
  if (connected) {
    errorText = "ZNetworkStream::createClient(..) : Fehler, Stream ist bereits verbunden.";
    statusText = kFailedStatus;
    return 0;
  }
  if (listenSocket.load() != 0) {
    errorText = "ZNetworkStream::createClient(..) : Fehler, Stream ist bereits als Server gestartet.";
    statusText = kFailedStatus;
    return 0;
  }
  notifyWindow = window;
  portNumber = port;
  host = hostName;
  if (!_connect()) {
    statusText = kFailedStatus;
    errorText.insert(0, "Fehler beim Erzeugen eines TCP-Clients\r\n");
    return 0;
  }
  statusText = "Client verbunden.";
  connected = 1;
  return 1;
}

int ZNetworkStream::createServer(zos::WindowHandle window, std::uint16_t port, const ZString& hostName) {
  if (connected) {
    errorText = "ZNetworkStream::createServer(..) : Fehler, Stream ist bereits verbunden.";
    statusText = kFailedStatus;
    return 0;
  }
  notifyWindow = window;
  portNumber = port;
  host = hostName;
  if (!_listen()) {
    statusText = kFailedStatus;
    errorText.insert(0, "Fehler beim Erzeugen eines TCP-Servers\r\n");
    return 0;
  }
  statusText = "Server gestartet.";
  return 1;
}

void ZNetworkStream::disconnect() {
  // A running event thread first loses its sockets' events, while the members still hold them
  // (so its loop goes on and keeps the event), and only then are they closed: the thread never
  // looks at a socket that is being closed. Each socket leaves its member before it is closed,
  // so the thread does not take up a number that the system may hand out again.
  if (zos::Handle watched = event.load()) {
    for (zos::SocketHandle socket : {listenSocket.load(), dataSocket.load()}) {
      if (socket != 0) zos::netEventSelect(socket, watched, 0);
    }
  }
  for (std::atomic<zos::SocketHandle>* member : {&listenSocket, &dataSocket}) {
    zos::SocketHandle socket = member->exchange(0);
    if (socket != 0) {
      zos::stopSocketNotifications(socket);
      zos::socketClose(socket);
    }
  }
  statusText = "Verbindung beendet.";
  connected = 0;
}

int ZNetworkStream::accept() {
  zos::SocketHandle client = zos::socketAccept(listenSocket.load());
  if (client == 0) {
    errorText = "accept() schlug fehl.";
    statusText = kFailedStatus;
    zos::netCleanup();
    dataSocket = 0;
    return 0;
  }
  // A client accepted before is closed rather than lost.
  zos::SocketHandle previous = dataSocket.exchange(client);
  if (previous != 0) {
    zos::stopSocketNotifications(previous);
    zos::socketClose(previous);
  }
  if (notifyWindow != nullptr) zos::rearmSocketNotifications(listenSocket.load());
  // The event thread goes on with the accepted socket (the loop asks it first): it gets the
  // events the listening socket had, as an accepted socket inherits them where the system
  // does that by itself.
  if (zos::Handle watched = event.load()) zos::netEventSelect(client, watched, kAllEvents);
  connected = 1;
  statusText = "Client akzeptiert.";
  return 1;
}

int ZNetworkStream::isConnectedTo(const ZString& otherHost, int port) const {
  if (!connected) return 0;
  if (otherHost != host) return 0;
  if (port != -1 && port != portNumber) return 0;
  return connected;
}

zos::SocketHandle ZNetworkStream::eventSocket() const {
  zos::SocketHandle socket = dataSocket.load();
  return socket != 0 ? socket : listenSocket.load();
}

int ZNetworkStream::startEvents() {
  zos::SocketHandle socket = eventSocket();
  if (socket == 0) return 0;
  if (isRunning()) return 0;  // one event thread per stream
  closeEvent();
  zos::Handle newEvent = zos::netEventCreate();
  if (newEvent == nullptr) return 0;
  event = newEvent;
  zos::netEventSelect(socket, newEvent, kAllEvents);
  if (!start()) {
    closeEvent();
    return 0;
  }
  return 1;
}

void ZNetworkStream::onWorkThread() {
  while (listenSocket.load() != 0 || dataSocket.load() != 0) {
    zos::NetWaitResult result = zos::netEventWait(event.load(), eventWaitMs);
    if (result == zos::NetWaitResult::failed) {
      if (!zos::netIsInProgress(zos::lastError())) break;
      // A wait that fails at once would otherwise be tried again at once, for ever: the next
      // try comes after the step a wait takes.
      zos::sleepMs(eventWaitMs);
      continue;
    }
    if (result != zos::NetWaitResult::signalled) continue;
    long events = 0;
    if (!zos::netEnumEvents(eventSocket(), event.load(), events)) continue;
    if (events & zos::socketEventRead) onRead();
    if (events & zos::socketEventWrite) onWrite();
    if (events & zos::socketEventAccept) onAccept();
    if (events & zos::socketEventClose) onClose();
  }
}

void ZNetworkStream::onThreadEnd() {
  zos::SocketHandle socket = listenSocket.load();
  if (socket == 0) socket = dataSocket.load();
  if (socket != 0) zos::netEventSelect(socket, event.load(), 0);
  closeEvent();
}

void ZNetworkStream::closeEvent() {
  zos::Handle old = event.exchange(nullptr);
  if (old != nullptr) zos::netEventClose(old);
}
