#include "ZEL_OS/OsNet.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsMessages.h"
#include "ZEL_OS/OsThread.h"
#include "ZEL_OS/Unix/PosixSocketEvents.h"
#include "ZEL_OS/Unix/PosixWait.h"

namespace zos {

namespace {

int fdOf(SocketHandle socket) { return static_cast<int>(socket); }

sockaddr_in addressOf(std::uint32_t address, std::uint16_t port) {
  sockaddr_in in;
  std::memset(&in, 0, sizeof in);
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = address;
  in.sin_port = htons(port);
  return in;
}

// Descriptor 0 would read as "no socket": a socket that got it moves to another number.
int awayFromZero(int fd) {
  if (fd != 0) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
  int number = errno;
  close(fd);
  errno = number;
  return moved;
}

bool setNonBlocking(int fd) {
  int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// An event object. Socket readiness is level-triggered, so each kind of event is reported once
// and armed again by the call that consumes it (receive, accept, a send that had to wait), as
// the event objects of other systems behave. wakeFd lets another thread's re-arming end a wait.
struct PosixNetEvent {
  std::mutex lock;
  int socket = -1;
  bool listening = false;
  long selected = 0;
  long armed = 0;
  long pending = 0;
  int wakeFd = -1;
  bool stopRequested = false;  // ends a wait at once (the notification thread's end)
};

std::mutex registryLock;
std::map<int, PosixNetEvent*> eventOfSocket;

void rearm(int fd, long kind) {
  std::lock_guard<std::mutex> guard(registryLock);
  auto it = eventOfSocket.find(fd);
  if (it == eventOfSocket.end()) return;
  PosixNetEvent* event = it->second;
  std::lock_guard<std::mutex> eventGuard(event->lock);
  if ((event->selected & kind) && !(event->armed & kind)) {
    event->armed |= kind;
    std::uint64_t one = 1;
    ssize_t ignored = write(event->wakeFd, &one, sizeof one);
    (void)ignored;
  }
}

void forgetSocket(int fd) {
  std::lock_guard<std::mutex> guard(registryLock);
  eventOfSocket.erase(fd);
}

short pollFlagsFor(const PosixNetEvent& event) {
  return posix::socketPollFlags(event.listening, event.selected & event.armed);
}

long kindsFor(const PosixNetEvent& event, short revents) {
  return posix::socketEventsFor(event.socket, event.listening, event.selected & event.armed, revents);
}

// Looks at the socket once, waiting up to the time; moves what occurred to pending. Returns
// false on a failing poll.
bool collect(PosixNetEvent& event, int milliseconds) {
  std::int64_t deadline = posix::deadlineAfter(static_cast<unsigned>(milliseconds));
  bool socketQuiet = false;  // the socket is ready, but with nothing that may be reported
  for (;;) {
    // The wake-up, the thread's end request, and the socket while it has something to report.
    pollfd fds[3];
    int count = 0;
    {
      std::lock_guard<std::mutex> guard(event.lock);
      if (event.pending || event.stopRequested) return true;
      fds[0] = {event.wakeFd, POLLIN, 0};
      fds[1] = {posix::endRequestFd(), POLLIN, 0};
      fds[2] = {event.socket, socketQuiet ? short(0) : pollFlagsFor(event), 0};
      count = (event.socket >= 0 && fds[2].events) ? 3 : 2;
    }
    int ready = poll(fds, count, posix::pollTimeoutUntil(deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      captureLastError();
      return false;
    }
    posix::endThreadIfRequested(fds[1]);
    if (ready == 0) return true;
    if (fds[0].revents & POLLIN) {
      std::uint64_t value;
      ssize_t ignored = read(event.wakeFd, &value, sizeof value);
      (void)ignored;
      socketQuiet = false;
    }
    if (count == 3 && fds[2].revents) {
      std::lock_guard<std::mutex> guard(event.lock);
      long kinds = kindsFor(event, fds[2].revents);
      if (kinds) {
        event.pending |= kinds;
        event.armed &= ~kinds;
        return true;
      }
      socketQuiet = true;  // wait for a re-arm or the end of the time only
    }
  }
}

}  // namespace

int netStartup() { return 0; }

void netCleanup() {}

bool netParseAddress(const char* text, std::uint32_t& address) {
  in_addr_t value = inet_addr(text ? text : "");
  if (value == INADDR_NONE) return false;
  address = value;
  return true;
}

bool netResolveHost(const char* hostText, std::uint32_t& address) {
  std::string host = hostText ? hostText : "";
  if (host.empty()) {
    char name[256] = {0};
    host = gethostname(name, sizeof name - 1) == 0 ? name : "localhost";
  }
  addrinfo hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int result = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (result == 0 && found) {
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return true;
  }
  if (found) freeaddrinfo(found);
  if (netParseAddress(host.c_str(), address)) return true;
  if (result == EAI_SYSTEM)
    captureLastError();
  else
    setLastError(EHOSTUNREACH);  // the resolver's own codes are no error numbers
  return false;
}

SocketHandle socketCreate(int type) {
  int fd = socket(AF_INET, (type == socketTypeStream ? SOCK_STREAM : type) | SOCK_CLOEXEC, 0);
  if (fd >= 0) fd = awayFromZero(fd);
  if (fd < 0) {
    captureLastError();
    return 0;
  }
  return static_cast<SocketHandle>(fd);
}

bool socketConnect(SocketHandle socket, std::uint32_t address, std::uint16_t port) {
  sockaddr_in in = addressOf(address, port);
  int result;
  do {
    result = connect(fdOf(socket), reinterpret_cast<sockaddr*>(&in), sizeof in);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    captureLastError();
    return false;
  }
  return true;
}

bool socketConnectWithin(SocketHandle socket, std::uint32_t address, std::uint16_t port, unsigned timeoutMs) {
  int fd = fdOf(socket);
  if (!setNonBlocking(fd)) {
    captureLastError();
    return false;
  }
  sockaddr_in in = addressOf(address, port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&in), sizeof in) == 0) return true;
  if (errno != EINPROGRESS && errno != EINTR) {
    captureLastError();
    return false;
  }
  std::int64_t deadline = posix::deadlineAfter(timeoutMs);
  for (;;) {
    pollfd watched = {fd, POLLOUT, 0};
    int ready = poll(&watched, 1, posix::pollTimeoutUntil(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      captureLastError();
      return false;
    }
    if (ready == 0) {
      setLastError(ETIMEDOUT);
      return false;
    }
    break;
  }
  int failure = 0;
  socklen_t length = sizeof failure;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &length) != 0) {
    captureLastError();
    return false;
  }
  if (failure != 0) {
    setLastError(failure);
    return false;
  }
  return true;
}

bool socketBind(SocketHandle socket, std::uint32_t address, std::uint16_t port) {
  sockaddr_in in = addressOf(address, port);
  int yes = 1;
  // A server restarted on its port binds again at once, as it would elsewhere.
  setsockopt(fdOf(socket), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (bind(fdOf(socket), reinterpret_cast<sockaddr*>(&in), sizeof in) != 0) {
    captureLastError();
    return false;
  }
  return true;
}

bool socketListen(SocketHandle socket, int backlog) {
  if (listen(fdOf(socket), backlog) != 0) {
    captureLastError();
    return false;
  }
  return true;
}

std::uint16_t socketLocalPort(SocketHandle socket) {
  sockaddr_in in;
  socklen_t length = sizeof in;
  if (getsockname(fdOf(socket), reinterpret_cast<sockaddr*>(&in), &length) != 0) {
    captureLastError();
    return 0;
  }
  return ntohs(in.sin_port);
}

void inheritWatch(int listenFd, SocketHandle accepted);

SocketHandle socketAccept(SocketHandle listenSocket) {
  sockaddr_in in;
  socklen_t length = sizeof in;
  int fd;
  do {
    fd = accept4(fdOf(listenSocket), reinterpret_cast<sockaddr*>(&in), &length, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  int number = errno;
  rearm(fdOf(listenSocket), socketEventAccept);
  if (fd >= 0) fd = awayFromZero(fd);
  if (fd < 0) {
    errno = number;
    captureLastError();
    return 0;
  }
  inheritWatch(fdOf(listenSocket), static_cast<SocketHandle>(fd));
  return static_cast<SocketHandle>(fd);
}

bool socketSendAll(SocketHandle socket, const void* data, int count) {
  const char* bytes = static_cast<const char*>(data);
  int done = 0;
  while (done < count) {
    ssize_t n = send(fdOf(socket), bytes + done, static_cast<std::size_t>(count - done),
                     MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // A non-blocking socket is full: wait until it takes more.
      pollfd fd = {fdOf(socket), POLLOUT, 0};
      if (poll(&fd, 1, -1) < 0 && errno != EINTR) {
        captureLastError();
        return false;
      }
      rearm(fdOf(socket), socketEventWrite);
      continue;
    }
    if (n == 0) errno = EPIPE;
    captureLastError();
    return false;
  }
  return true;
}

int socketSendNow(SocketHandle socket, const void* data, int count) {
  ssize_t n;
  do {
    n = send(fdOf(socket), data, static_cast<std::size_t>(count < 0 ? 0 : count), MSG_NOSIGNAL | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n >= 0) return static_cast<int>(n);
  if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
  captureLastError();
  return -1;
}

int socketReceive(SocketHandle socket, void* buffer, int count) {
  ssize_t n;
  do {
    n = recv(fdOf(socket), buffer, static_cast<std::size_t>(count < 0 ? 0 : count), 0);
  } while (n < 0 && errno == EINTR);
  int number = errno;
  rearm(fdOf(socket), socketEventRead);
  if (n < 0) {
    errno = number;
    captureLastError();
    return -1;
  }
  return static_cast<int>(n);
}

namespace {

// Window notification for a socket: a thread waits on an event object for the socket and posts
// one message per event to the window, as the system's notification does elsewhere.
struct AsyncWatch {
  PosixNetEvent* event = nullptr;
  std::thread thread;
  WindowHandle window = nullptr;
  unsigned message = 0;
  long events = 0;
};

std::mutex watchLock;
std::map<int, std::unique_ptr<AsyncWatch>> watchOfSocket;

void stopWatch(int fd) {
  std::unique_ptr<AsyncWatch> watch;
  {
    std::lock_guard<std::mutex> guard(watchLock);
    auto it = watchOfSocket.find(fd);
    if (it == watchOfSocket.end()) return;
    watch = std::move(it->second);
    watchOfSocket.erase(it);
  }
  {
    std::lock_guard<std::mutex> guard(watch->event->lock);
    watch->event->stopRequested = true;
  }
  std::uint64_t one = 1;
  ssize_t ignored = write(watch->event->wakeFd, &one, sizeof one);
  (void)ignored;
  if (watch->thread.joinable()) watch->thread.join();
  netEventSelect(static_cast<SocketHandle>(fd), watch->event, 0);
  netEventClose(watch->event);
}

}  // namespace

// A socket accepted on a listener with window notification gets the same notification.
void inheritWatch(int listenFd, SocketHandle accepted) {
  WindowHandle window = nullptr;
  unsigned message = 0;
  long events = 0;
  {
    std::lock_guard<std::mutex> guard(watchLock);
    auto it = watchOfSocket.find(listenFd);
    if (it == watchOfSocket.end()) return;
    window = it->second->window;
    message = it->second->message;
    events = it->second->events;
  }
  socketAsyncSelect(accepted, window, message, events);
}

void socketClose(SocketHandle socket) {
  if (socket == 0) return;
  stopWatch(fdOf(socket));
  forgetSocket(fdOf(socket));
  close(fdOf(socket));
}

bool socketAsyncSelect(SocketHandle socket, WindowHandle window, unsigned message, long events) {
  if (socket == 0) {
    setLastError(EBADF);
    return false;
  }
  stopWatch(fdOf(socket));
  if (events == 0) return true;
  auto watch = std::make_unique<AsyncWatch>();
  watch->event = static_cast<PosixNetEvent*>(netEventCreate());
  if (!watch->event) return false;
  if (!netEventSelect(socket, watch->event, events)) {
    int number = lastError();
    netEventClose(watch->event);
    setLastError(number);
    return false;
  }
  watch->window = window;
  watch->message = message;
  watch->events = events;
  PosixNetEvent* event = watch->event;
  watch->thread = std::thread([socket, window, message, event] {
    for (;;) {
      if (netEventWait(event, WaitForever) == NetWaitResult::failed) return;
      {
        std::lock_guard<std::mutex> guard(event->lock);
        if (event->stopRequested) return;
      }
      long occurred = 0;
      if (!netEnumEvents(socket, event, occurred)) return;
      for (long bit : {socketEventRead, socketEventWrite, socketEventAccept, socketEventClose}) {
        // The message's parameters: the socket, and the event in the low word (no error).
        if ((occurred & bit) &&
            !postMessage(window, message, static_cast<std::uintptr_t>(socket), bit))
          return;  // the window is gone
      }
    }
  });
  std::lock_guard<std::mutex> guard(watchLock);
  watchOfSocket[fdOf(socket)] = std::move(watch);
  return true;
}

NetEvent netEventCreate() {
  auto* event = new PosixNetEvent;
  event->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (event->wakeFd < 0) {
    captureLastError();
    delete event;
    return nullptr;
  }
  return event;
}

bool netEventSelect(SocketHandle socket, NetEvent handle, long events) {
  auto* event = static_cast<PosixNetEvent*>(handle);
  if (!event || socket == 0) {
    setLastError(!event ? EINVAL : EBADF);
    return false;
  }
  int fd = fdOf(socket);
  int accepting = 0;
  socklen_t length = sizeof accepting;
  if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &length) != 0) {
    captureLastError();
    return false;
  }
  if (events != 0 && !setNonBlocking(fd)) {
    captureLastError();
    return false;
  }
  std::lock_guard<std::mutex> guard(registryLock);
  std::lock_guard<std::mutex> eventGuard(event->lock);
  for (auto it = eventOfSocket.begin(); it != eventOfSocket.end();) {
    if (it->second == event || it->first == fd)
      it = eventOfSocket.erase(it);
    else
      ++it;
  }
  event->socket = events ? fd : -1;
  event->listening = accepting != 0;
  event->selected = event->armed = events;
  event->pending = 0;
  if (events) eventOfSocket[fd] = event;
  return true;
}

NetWaitResult netEventWait(NetEvent handle, unsigned milliseconds) {
  auto* event = static_cast<PosixNetEvent*>(handle);
  if (!event) {
    setLastError(EINVAL);
    return NetWaitResult::failed;
  }
  if (!collect(*event, static_cast<int>(milliseconds > 0x7FFFFFFF ? 0x7FFFFFFF : milliseconds)))
    return NetWaitResult::failed;
  std::lock_guard<std::mutex> guard(event->lock);
  return event->pending ? NetWaitResult::signalled : NetWaitResult::timeout;
}

bool netEnumEvents(SocketHandle socket, NetEvent handle, long& events) {
  auto* event = static_cast<PosixNetEvent*>(handle);
  events = 0;
  if (!event) {
    setLastError(EINVAL);
    return false;
  }
  {
    std::lock_guard<std::mutex> guard(event->lock);
    if (event->socket != fdOf(socket)) {
      setLastError(ENOTSOCK);
      return false;
    }
  }
  if (!collect(*event, 0)) return false;
  std::lock_guard<std::mutex> guard(event->lock);
  events = event->pending;
  event->pending = 0;
  return true;
}

void netEventClose(NetEvent handle) {
  auto* event = static_cast<PosixNetEvent*>(handle);
  if (!event) return;
  {
    std::lock_guard<std::mutex> guard(registryLock);
    for (auto it = eventOfSocket.begin(); it != eventOfSocket.end();) {
      if (it->second == event)
        it = eventOfSocket.erase(it);
      else
        ++it;
    }
  }
  close(event->wakeFd);
  delete event;
}

bool netIsInProgress(int error) { return error == EINPROGRESS; }

}  // namespace zos
