#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsNet.h"
#include "ZEL_OS/Windows/WinThreadEnd.h"

#include <cstring>

namespace zos {

namespace {

SOCKET socketOf(SocketHandle socket) { return static_cast<SOCKET>(socket); }

int captureSocketError() {
  int number = WSAGetLastError();
  setLastError(number);
  return number;
}

sockaddr_in addressOf(std::uint32_t address, std::uint16_t port) {
  sockaddr_in in;
  std::memset(&in, 0, sizeof in);
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = address;
  in.sin_port = htons(port);
  return in;
}

}  // namespace

int netStartup() {
  WSADATA data;
  int result = WSAStartup(MAKEWORD(2, 2), &data);
  if (result != 0) setLastError(result);
  return result;
}

void netCleanup() { WSACleanup(); }

bool netParseAddress(const char* text, std::uint32_t& address) {
  unsigned long value = inet_addr(text ? text : "");
  if (value == INADDR_NONE) return false;
  address = static_cast<std::uint32_t>(value);
  return true;
}

bool netResolveHost(const char* host, std::uint32_t& address) {
  const char* name = host ? host : "";
  hostent* entry = gethostbyname(name);
  if (!entry) {
    unsigned long value = inet_addr(name);
    entry = gethostbyaddr(reinterpret_cast<const char*>(&value), 4, AF_INET);
  }
  if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0]) {
    captureSocketError();
    return false;
  }
  std::memcpy(&address, entry->h_addr_list[0], 4);
  return true;
}

SocketHandle socketCreate(int type) {
  SOCKET s = socket(AF_INET, type, 0);
  if (s == INVALID_SOCKET) {
    captureSocketError();
    return 0;
  }
  // Started programs do not inherit the socket.
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return static_cast<SocketHandle>(s);
}

bool socketConnect(SocketHandle socket, std::uint32_t address, std::uint16_t port) {
  sockaddr_in in = addressOf(address, port);
  if (connect(socketOf(socket), reinterpret_cast<sockaddr*>(&in), sizeof in) == SOCKET_ERROR) {
    captureSocketError();
    return false;
  }
  return true;
}

bool socketConnectWithin(SocketHandle socket, std::uint32_t address, std::uint16_t port, unsigned timeoutMs) {
  u_long nonBlocking = 1;
  if (ioctlsocket(socketOf(socket), FIONBIO, &nonBlocking) == SOCKET_ERROR) {
    captureSocketError();
    return false;
  }
  sockaddr_in in = addressOf(address, port);
  if (connect(socketOf(socket), reinterpret_cast<sockaddr*>(&in), sizeof in) == 0) return true;
  if (WSAGetLastError() != WSAEWOULDBLOCK) {
    captureSocketError();
    return false;
  }
  // The connection is made once the socket is writable; a refusal shows as an exception.
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(socketOf(socket), &writable);
  FD_SET(socketOf(socket), &failed);
  timeval wait;
  wait.tv_sec = static_cast<long>(timeoutMs / 1000);
  wait.tv_usec = static_cast<long>((timeoutMs % 1000) * 1000);
  int ready = select(0, nullptr, &writable, &failed, &wait);
  if (ready == SOCKET_ERROR) {
    captureSocketError();
    return false;
  }
  if (ready == 0) {
    setLastError(WSAETIMEDOUT);
    return false;
  }
  int failure = 0;
  int length = sizeof failure;
  if (getsockopt(socketOf(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&failure), &length) ==
      SOCKET_ERROR) {
    captureSocketError();
    return false;
  }
  if (failure != 0 || FD_ISSET(socketOf(socket), &failed)) {
    setLastError(failure != 0 ? failure : WSAECONNREFUSED);
    return false;
  }
  return true;
}

bool socketBind(SocketHandle socket, std::uint32_t address, std::uint16_t port) {
  sockaddr_in in = addressOf(address, port);
  if (bind(socketOf(socket), reinterpret_cast<sockaddr*>(&in), sizeof in) == SOCKET_ERROR) {
    captureSocketError();
    return false;
  }
  return true;
}

bool socketListen(SocketHandle socket, int backlog) {
  if (listen(socketOf(socket), backlog) == SOCKET_ERROR) {
    captureSocketError();
    return false;
  }
  return true;
}

std::uint16_t socketLocalPort(SocketHandle socket) {
  sockaddr_in in;
  int length = sizeof in;
  if (getsockname(socketOf(socket), reinterpret_cast<sockaddr*>(&in), &length) == SOCKET_ERROR) {
    captureSocketError();
    return 0;
  }
  return ntohs(in.sin_port);
}

SocketHandle socketAccept(SocketHandle listenSocket) {
  sockaddr_in in;
  int length = sizeof in;
  SOCKET s = accept(socketOf(listenSocket), reinterpret_cast<sockaddr*>(&in), &length);
  if (s == INVALID_SOCKET) {
    captureSocketError();
    return 0;
  }
  return static_cast<SocketHandle>(s);
}

bool socketSendAll(SocketHandle socket, const void* data, int count) {
  const char* bytes = static_cast<const char*>(data);
  int done = 0;
  while (done < count) {
    int n = send(socketOf(socket), bytes + done, count - done, 0);
    if (n > 0) {
      done += n;
      continue;
    }
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
      // A non-blocking socket is full: wait until it takes more.
      fd_set writable;
      FD_ZERO(&writable);
      FD_SET(socketOf(socket), &writable);
      if (select(0, nullptr, &writable, nullptr, nullptr) == SOCKET_ERROR) {
        captureSocketError();
        return false;
      }
      continue;
    }
    captureSocketError();
    return false;
  }
  return true;
}

int socketSendNow(SocketHandle socket, const void* data, int count) {
  // A socket made non-blocking takes what fits; a blocking one would wait, so it is made
  // non-blocking here (it stays so, as after an event selection).
  u_long nonBlocking = 1;
  ioctlsocket(socketOf(socket), FIONBIO, &nonBlocking);
  int n = send(socketOf(socket), static_cast<const char*>(data), count < 0 ? 0 : count, 0);
  if (n != SOCKET_ERROR) return n;
  if (WSAGetLastError() == WSAEWOULDBLOCK) return 0;
  captureSocketError();
  return -1;
}

int socketReceive(SocketHandle socket, void* buffer, int count) {
  int n = recv(socketOf(socket), static_cast<char*>(buffer), count, 0);
  if (n == SOCKET_ERROR) {
    captureSocketError();
    return -1;
  }
  return n;
}

void socketClose(SocketHandle socket) {
  if (socket != 0) closesocket(socketOf(socket));
}

bool socketAsyncSelect(SocketHandle socket, WindowHandle window, unsigned message, long events) {
  if (WSAAsyncSelect(socketOf(socket), static_cast<HWND>(window), message, events) ==
      SOCKET_ERROR) {
    captureSocketError();
    return false;
  }
  return true;
}

NetEvent netEventCreate() {
  WSAEVENT event = WSACreateEvent();
  if (event == WSA_INVALID_EVENT) {
    captureSocketError();
    return nullptr;
  }
  return event;
}

bool netEventSelect(SocketHandle socket, NetEvent event, long events) {
  if (WSAEventSelect(socketOf(socket), static_cast<WSAEVENT>(event), events) == SOCKET_ERROR) {
    captureSocketError();
    return false;
  }
  return true;
}

NetWaitResult netEventWait(NetEvent event, unsigned milliseconds) {
  // The thread's end request, if it has one, is waited for first (an event handle like any other).
  WSAEVENT events[2];
  DWORD count = 0;
  HANDLE endRequest = win::threadEndRequest();
  if (endRequest) events[count++] = endRequest;
  events[count++] = static_cast<WSAEVENT>(event);
  DWORD result = WSAWaitForMultipleEvents(count, events, FALSE, milliseconds, TRUE);
  if (result == WSA_WAIT_FAILED) {
    captureSocketError();
    return NetWaitResult::failed;
  }
  if (endRequest && result == WSA_WAIT_EVENT_0) win::endThreadOnRequest();
  if (result == WSA_WAIT_TIMEOUT || result == WSA_WAIT_IO_COMPLETION)
    return NetWaitResult::timeout;
  return NetWaitResult::signalled;
}

bool netEnumEvents(SocketHandle socket, NetEvent event, long& events) {
  WSANETWORKEVENTS occurred;
  std::memset(&occurred, 0, sizeof occurred);
  events = 0;
  if (WSAEnumNetworkEvents(socketOf(socket), static_cast<WSAEVENT>(event), &occurred) ==
      SOCKET_ERROR) {
    captureSocketError();
    return false;
  }
  events = occurred.lNetworkEvents;
  return true;
}

void netEventClose(NetEvent event) {
  if (event) WSACloseEvent(static_cast<WSAEVENT>(event));
}

bool netIsInProgress(int error) { return error == WSAEINPROGRESS; }

}  // namespace zos
