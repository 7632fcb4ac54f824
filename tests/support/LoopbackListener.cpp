#include "LoopbackListener.h"

#include "ZEL_OS/OsClock.h"

namespace {

std::uint32_t loopbackAddress() {
  std::uint32_t address = 0;
  zos::netParseAddress("127.0.0.1", address);
  return address;
}

}  // namespace

LoopbackListener::LoopbackListener() {
  zos::netStartup();
  event = zos::netEventCreate();
  listener = zos::socketCreate(zos::socketTypeStream);
  if (listener == 0) return;
  if (!zos::socketBind(listener, loopbackAddress(), 0) || !zos::socketListen(listener, 5)) return;
  listeningPort = zos::socketLocalPort(listener);
}

LoopbackListener::~LoopbackListener() {
  for (zos::SocketHandle waiting : waitingClients) zos::socketClose(waiting);
  closeClient();
  stopListening();
  zos::netEventClose(event);
  zos::netCleanup();
}

bool LoopbackListener::waitFor(zos::SocketHandle socket, long events, unsigned timeoutMs) {
  // Each wait selects afresh; an event kind that was reported once is armed again by the
  // receive or accept that follows.
  if (!zos::netEventSelect(socket, event, events)) return false;
  std::uint32_t start = zos::tickCount();
  for (;;) {
    std::uint32_t spent = zos::tickCount() - start;
    if (spent >= timeoutMs) return false;
    if (zos::netEventWait(event, timeoutMs - spent) != zos::NetWaitResult::signalled) return false;
    long occurred = 0;
    if (zos::netEnumEvents(socket, event, occurred) && (occurred & events)) return true;
  }
}

bool LoopbackListener::fillAcceptQueue() {
  for (int attempt = 0; attempt < 64; ++attempt) {
    zos::SocketHandle waiting = zos::socketCreate(zos::socketTypeStream);
    if (waiting == 0) return false;
    waitingClients.push_back(waiting);
    if (!zos::socketConnectWithin(waiting, loopbackAddress(), listeningPort, 300)) return true;
  }
  return false;
}

bool LoopbackListener::acceptClient(unsigned timeoutMs) {
  if (listener == 0 || !waitFor(listener, zos::socketEventAccept, timeoutMs)) return false;
  closeClient();
  client = zos::socketAccept(listener);
  return client != 0;
}

std::string LoopbackListener::readBytes(std::size_t count, unsigned timeoutMs) {
  std::string got;
  std::uint32_t start = zos::tickCount();
  char buffer[4096];
  while (client != 0 && got.size() < count) {
    std::uint32_t spent = zos::tickCount() - start;
    if (spent >= timeoutMs) break;
    if (!waitFor(client, zos::socketEventRead | zos::socketEventClose, timeoutMs - spent)) break;
    int n = zos::socketReceive(client, buffer, static_cast<int>(sizeof buffer));
    if (n <= 0) {
      if (n == 0) break;  // the peer closed
      continue;           // nothing there after all
    }
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

std::string LoopbackListener::readUntilClosed(unsigned timeoutMs) {
  return readBytes(static_cast<std::size_t>(-1), timeoutMs);
}

bool LoopbackListener::sendBytes(const std::string& bytes) {
  return client != 0 && zos::socketSendAll(client, bytes.data(), static_cast<int>(bytes.size()));
}

void LoopbackListener::closeClient() {
  if (client == 0) return;
  zos::netEventSelect(client, event, 0);
  zos::socketClose(client);
  client = 0;
}

void LoopbackListener::stopListening() {
  if (listener == 0) return;
  zos::netEventSelect(listener, event, 0);
  zos::socketClose(listener);
  listener = 0;
}

std::uint16_t unusedLoopbackPort() {
  LoopbackListener probe;
  return probe.port();  // freed again when probe goes away
}
