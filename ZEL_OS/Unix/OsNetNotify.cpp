// Socket events as window messages on POSIX: a watcher thread per socket polls it and posts the
// message to the window through the message layer. Readiness is level-triggered, so each kind of
// event is posted once and posted again only after the receive or accept that takes it up
// (rearmSocketNotifications); the close event is posted once.
#include "ZEL_OS/OsNet.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>
#include <map>
#include <mutex>
#include <thread>

#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsMessages.h"
#include "ZEL_OS/Unix/PosixSocketEvents.h"
#include "ZEL_OS/Unix/PosixWait.h"

namespace zos {

namespace {

struct Watcher {
  int fd = -1;
  WindowHandle window = nullptr;
  unsigned message = 0;
  long selected = 0;
  bool listening = false;
  int wakeFd = -1;
  std::thread thread;

  std::mutex lock;  // guards the fields below
  long armed = 0;
  bool quiet = false;  // ready, but with nothing to tell: wait for a re-arm
  bool stopping = false;
};

std::mutex registryLock;
std::map<int, Watcher*> watchers;

short pollFlags(const Watcher& watcher) {
  return posix::socketPollFlags(watcher.listening, watcher.selected & watcher.armed);
}

long kindsFor(const Watcher& watcher, short revents) {
  return posix::socketEventsFor(watcher.fd, watcher.listening, watcher.selected & watcher.armed, revents);
}

void watch(Watcher* watcher) {
  for (;;) {
    pollfd fds[2];
    int count = 1;
    {
      std::lock_guard<std::mutex> hold(watcher->lock);
      if (watcher->stopping) return;
      fds[0] = {watcher->wakeFd, POLLIN, 0};
      fds[1] = {watcher->fd, watcher->quiet ? short(0) : pollFlags(*watcher), 0};
      if (fds[1].events) count = 2;
    }
    if (poll(fds, count, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents & POLLIN) posix::drainEventFd(watcher->wakeFd);
    if (count < 2 || fds[1].revents == 0) continue;
    long kinds;
    {
      std::lock_guard<std::mutex> hold(watcher->lock);
      kinds = kindsFor(*watcher, fds[1].revents);
      watcher->armed &= ~kinds;
      if (!kinds) watcher->quiet = true;
    }
    // One message per event, in the order read, write, accept, close.
    for (long kind : {socketEventRead, socketEventWrite, socketEventAccept, socketEventClose}) {
      if (kinds & kind)
        postMessage(watcher->window, watcher->message, static_cast<std::uintptr_t>(watcher->fd), kind);
    }
  }
}

// Takes the socket's watcher out of the registry; the caller ends it.
Watcher* unregister(int fd) {
  std::lock_guard<std::mutex> hold(registryLock);
  auto it = watchers.find(fd);
  if (it == watchers.end()) return nullptr;
  Watcher* watcher = it->second;
  watchers.erase(it);
  return watcher;
}

void endWatcher(Watcher* watcher) {
  {
    std::lock_guard<std::mutex> hold(watcher->lock);
    watcher->stopping = true;
  }
  posix::signalEventFd(watcher->wakeFd);
  if (watcher->thread.joinable()) watcher->thread.join();
  close(watcher->wakeFd);
  delete watcher;
}

}  // namespace

bool notifySocketEvents(SocketHandle socket, WindowHandle window, unsigned message, long events) {
  int fd = static_cast<int>(socket);
  if (Watcher* old = unregister(fd)) endWatcher(old);
  if (events == 0) return true;
  if (socket == 0 || window == nullptr) {
    setLastError(socket == 0 ? EBADF : EINVAL);
    return false;
  }
  int accepting = 0;
  socklen_t length = sizeof accepting;
  int flags = fcntl(fd, F_GETFL);
  if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &length) != 0 || flags < 0 ||
      fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    captureLastError();
    return false;
  }
  auto* watcher = new Watcher;
  watcher->fd = fd;
  watcher->window = window;
  watcher->message = message;
  watcher->selected = watcher->armed = events;
  watcher->listening = accepting != 0;
  watcher->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (watcher->wakeFd < 0) {
    captureLastError();
    delete watcher;
    return false;
  }
  watcher->thread = std::thread(watch, watcher);
  std::lock_guard<std::mutex> hold(registryLock);
  watchers[fd] = watcher;
  return true;
}

void rearmSocketNotifications(SocketHandle socket) {
  std::lock_guard<std::mutex> hold(registryLock);
  auto it = watchers.find(static_cast<int>(socket));
  if (it == watchers.end()) return;
  Watcher* watcher = it->second;
  {
    std::lock_guard<std::mutex> watcherHold(watcher->lock);
    watcher->armed |= watcher->selected & (socketEventRead | socketEventAccept);
    watcher->quiet = false;
  }
  posix::signalEventFd(watcher->wakeFd);
}

void stopSocketNotifications(SocketHandle socket) {
  if (Watcher* watcher = unregister(static_cast<int>(socket))) endWatcher(watcher);
}

}  // namespace zos
