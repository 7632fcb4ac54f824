// The mapping between poll readiness and the socket event bits of OsNet.h, shared by the event
// objects and the window notifications. Readiness is level-triggered, so each kind of event is
// reported once and armed again by the call that takes it up; "live" holds the kinds still armed.
#pragma once
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "ZEL_OS/OsNet.h"

namespace zos {
namespace posix {

// The poll flags for the kinds still armed. Not armed for reading, the socket is not polled for
// input at all, or unread data would wake the waiter again and again; "close" alone watches for
// the peer's shutdown only.
inline short socketPollFlags(bool listening, long live) {
  short flags = 0;
  if (listening) {
    if (live & socketEventAccept) flags |= POLLIN;
  } else {
    if (live & socketEventRead) flags |= POLLIN | POLLRDHUP;
    if (live & socketEventClose) flags |= POLLRDHUP;
    if (live & socketEventWrite) flags |= POLLOUT;
  }
  return flags;
}

// The armed kinds that the readiness of fd stands for. Data that waits is a read; the peer's end
// of the stream, once the data before it has been read, is the close.
inline long socketEventsFor(int fd, bool listening, long live, short revents) {
  if (listening) return (revents & POLLIN) ? (live & socketEventAccept) : 0;
  long kinds = 0;
  if (revents & POLLOUT) kinds |= socketEventWrite;
  bool closed = (revents & (POLLHUP | POLLERR)) != 0;
  if (revents & (POLLIN | POLLRDHUP)) {
    char byte;
    ssize_t n = recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0)
      kinds |= socketEventRead;
    else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
      closed = true;
  }
  if (closed && !(kinds & socketEventRead)) kinds |= socketEventClose;
  return kinds & live;
}

}  // namespace posix
}  // namespace zos
