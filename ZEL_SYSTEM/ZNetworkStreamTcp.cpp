#include "ZEL_SYSTEM/ZNetworkStreamTcp.h"

#include <cstring>

#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsNet.h"
#include "ZEL_SYSTEM/ZMem.h"
#include "ZEL_SYSTEM/ZSystem.h"

namespace {
constexpr int kChunk = 1000;  // bytes asked for per recv
constexpr long kNotifiedEvents = zos::socketEventRead | zos::socketEventAccept | zos::socketEventClose;

// "localhost" and the names below it always mean this machine: they are answered without asking
// the resolver, which without a hosts entry would ask a name server and could wait for it for
// many seconds (the debug monitor is reached that way at every start).
bool namesThisMachine(const ZString& host) {
  return host.compare("localhost", true) == 0 || host.endsWith(".localhost", true);
}

bool resolveServer(const ZString& host, std::uint32_t& address) {
  if (zos::netParseAddress(host, address)) return true;
  if (namesThisMachine(host)) return zos::netParseAddress("127.0.0.1", address);
  return zos::netResolveHost(host, address);
}
}  // namespace

ZNetworkStreamTcp::ZNetworkStreamTcp() { socketType = zos::socketTypeStream; }

ZNetworkStreamTcp::~ZNetworkStreamTcp() { endRunningThreadAtDestruction(); }

int ZNetworkStreamTcp::failStep(const char* stepText) {
  int number = zos::lastError();
  errorText = stepText;
  errorText += ZSystem::getErrorText(number);
  disconnect();
  return 0;
}

int ZNetworkStreamTcp::_connect() {
  if (zos::netStartup() != 0) return connected = failStep("WSAStartup(..) schlug fehl.\r\n");
  std::uint32_t address = 0;
  if (!resolveServer(host, address)) {
    ZString text = "Kann Server-Name/Adresse '";
    text += host;
    text += "' nicht aufl\xF6" "sen.\r\n";
    return connected = failStep(text);
  }
  zos::SocketHandle socket = zos::socketCreate(socketType);
  if (socket == 0) return connected = failStep("socket(..) schlug fehl.\r\n");
  dataSocket = socket;
  bool made = connectTimeoutMs != 0 ? zos::socketConnectWithin(socket, address, portNumber, connectTimeoutMs)
                                     : zos::socketConnect(socket, address, portNumber);
  if (!made) return connected = failStep("Fehler beim Verbinden.\r\n");
  if (notifyWindow != nullptr) zos::notifySocketEvents(socket, notifyWindow, notifyMessage, kNotifiedEvents);
  connected = 1;
  return 1;
}

int ZNetworkStreamTcp::_listen() {
  if (zos::netStartup() != 0) return failStep("WSAStartup(..) schlug fehl.\r\n");
  std::uint32_t address = 0;  // every interface, unless the host is a dotted address
  if (!zos::netParseAddress(host, address)) address = 0;
  zos::SocketHandle socket = zos::socketCreate(socketType);
  if (socket == 0) return failStep("socket(..) schlug fehl.\r\n");
  // A stream that listens already gets its new socket; the old one is closed, not lost.
  zos::SocketHandle previous = listenSocket.exchange(socket);
  if (previous != 0) {
    zos::stopSocketNotifications(previous);
    zos::socketClose(previous);
  }
  if (!zos::socketBind(socket, address, portNumber)) return failStep("bind(..) schlug fehl.\r\n");
  if (!zos::socketListen(socket, 5)) return failStep("listen(..) schlug fehl.\r\n");
  if (notifyWindow != nullptr) zos::notifySocketEvents(socket, notifyWindow, notifyMessage, kNotifiedEvents);
  return 1;
}

int ZNetworkStreamTcp::sendBytes(const char* bytes, int count) {
  // Sends every byte: a send that took only a part is continued with the rest.
  if (!zos::socketSendAll(dataSocket.load(), bytes, count)) {
    noteSendFailure();
    return 0;
  }
  return 1;
}

void ZNetworkStreamTcp::noteSendFailure() {
  statusText = "Fehler...";
  errorText = "Daten konnten nicht gesendet werden.";
}

int ZNetworkStreamTcp::_send(const ZString& text) { return sendBytes(text.getBuffer(), text.getLength()); }

int ZNetworkStreamTcp::_send(const ZMem& block) {
  return sendBytes(reinterpret_cast<const char*>(block.getData()), block.getSize());
}

ZString ZNetworkStreamTcp::_receive() {
  ZString collected;
  if (!connected) return collected;
  char buffer[kChunk + 1];
  int count = 0;
  do {
    std::memset(buffer, 0, sizeof buffer);
    zos::SocketHandle socket = dataSocket.load();
    count = zos::socketReceive(socket, buffer, kChunk);
    if (notifyWindow != nullptr) zos::rearmSocketNotifications(socket);
    if (count < 0) {
      statusText = "Fehler...";
      errorText = "Lesefehler";
      break;
    }
    collected += buffer;  // a chunk ends at its first zero byte
  } while (count == kChunk);
  return collected;
}

int ZNetworkStreamTcp::_receive(ZMem& out) {
  out.setSize(0);
  if (!connected) return 0;
  unsigned char block[kChunk];
  int count = 0;
  int result = 1;
  do {
    zos::SocketHandle socket = dataSocket.load();
    count = zos::socketReceive(socket, block, kChunk);
    if (notifyWindow != nullptr) zos::rearmSocketNotifications(socket);
    if (count < 0) {
      statusText = "Fehler...";
      errorText = "Lesefehler";
      result = 0;
      break;
    }
    out.append(block, count);  // out holds exactly the bytes received
  } while (count == kChunk);
  return result;
}
