#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "ZEL_OS/OsError.h"
#include "sim/Pty.h"

namespace sim {

using zos::captureLastError;
using zos::setLastError;

namespace {

// One open end: its descriptor and a pipe whose read side makes a wait return early.
struct PtyEnd {
  int fd = -1;
  int wakeRead = -1;
  int wakeWrite = -1;
};

PtyEnd* endOf(Handle handle) { return static_cast<PtyEnd*>(handle); }

struct SpeedEntry {
  int baudRate;
  speed_t speed;
};

const SpeedEntry speeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}};

bool speedFor(int baudRate, speed_t& speed) {
  for (const SpeedEntry& entry : speeds) {
    if (entry.baudRate == baudRate) {
      speed = entry.speed;
      return true;
    }
  }
  return false;
}

int baudRateOf(speed_t speed) {
  for (const SpeedEntry& entry : speeds) {
    if (entry.speed == speed) return entry.baudRate;
  }
  return 0;
}

// Wraps an open descriptor into a handle with its wake-up pipe; closes fd when that fails.
Handle wrap(int fd) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
    captureLastError();
    close(fd);
    return nullptr;
  }
  PtyEnd* end = new PtyEnd;
  end->fd = fd;
  end->wakeRead = pipeFds[0];
  end->wakeWrite = pipeFds[1];
  return end;
}

bool makeRaw(int fd, const speed_t* speed) {
  termios settings;
  if (tcgetattr(fd, &settings) != 0) {
    captureLastError();
    return false;
  }
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  if (speed && cfsetspeed(&settings, *speed) != 0) {
    captureLastError();
    return false;
  }
  if (tcsetattr(fd, TCSANOW, &settings) != 0) {
    captureLastError();
    return false;
  }
  return true;
}

bool setNonBlocking(int fd) {
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
    captureLastError();
    return false;
  }
  return true;
}

// Milliseconds left until deadline, never below 0.
int remainingMs(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

Handle ptyOpenMaster(char* path, int pathSize) {
  int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    captureLastError();
    return nullptr;
  }
  char name[128];
  if (grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0 ||
      !makeRaw(fd, nullptr) || !setNonBlocking(fd)) {
    captureLastError();
    close(fd);
    return nullptr;
  }
  if (path && pathSize > 0) {
    std::strncpy(path, name, static_cast<std::size_t>(pathSize) - 1);
    path[pathSize - 1] = '\0';
  }
  return wrap(fd);
}

Handle ptyOpenTerminal(const char* path, int baudRate) {
  speed_t speed;
  if (!speedFor(baudRate, speed)) {
    setLastError(EINVAL);
    return nullptr;
  }
  int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    captureLastError();
    return nullptr;
  }
  if (!makeRaw(fd, &speed)) {
    close(fd);
    return nullptr;
  }
  return wrap(fd);
}

PtyWaitResult ptyWaitReadable(Handle pty, int timeoutMs) {
  PtyEnd* end = endOf(pty);
  if (!end) {
    setLastError(EBADF);
    return PtyWaitResult::failed;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    pollfd fds[2] = {{end->fd, POLLIN, 0}, {end->wakeRead, POLLIN, 0}};
    int result = poll(fds, 2, timeoutMs < 0 ? -1 : remainingMs(deadline));
    if (result < 0) {
      if (errno == EINTR) continue;
      captureLastError();
      return PtyWaitResult::failed;
    }
    if (result == 0) return PtyWaitResult::timedOut;
    if (fds[1].revents & POLLIN) {
      char drained[64];
      while (read(end->wakeRead, drained, sizeof drained) > 0) {
      }
      return PtyWaitResult::interrupted;
    }
    if (fds[0].revents & POLLIN) return PtyWaitResult::ready;
    if (fds[0].revents & (POLLHUP | POLLERR)) {
      setLastError(EIO);
      return PtyWaitResult::hungUp;
    }
    setLastError(EBADF);
    return PtyWaitResult::failed;
  }
}

int ptyRead(Handle pty, void* buffer, int size) {
  PtyEnd* end = endOf(pty);
  if (!end) {
    setLastError(EBADF);
    return -1;
  }
  for (;;) {
    ssize_t count = read(end->fd, buffer, static_cast<std::size_t>(size));
    if (count > 0) return static_cast<int>(count);
    if (count == 0) {  // a raw terminal with VMIN 1 reads 0 bytes only once the other end is gone
      setLastError(EIO);
      return -1;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    captureLastError();
    return -1;
  }
}

int ptyWrite(Handle pty, const void* data, int size, int timeoutMs) {
  PtyEnd* end = endOf(pty);
  if (!end) {
    setLastError(EBADF);
    return -1;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  const char* bytes = static_cast<const char*>(data);
  int written = 0;
  while (written < size) {
    ssize_t count = write(end->fd, bytes + written, static_cast<std::size_t>(size - written));
    if (count > 0) {
      written += static_cast<int>(count);
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      captureLastError();
      return -1;
    }
    // No room: wait until the reader at the other end takes some, or until the time is up.
    pollfd writable = {end->fd, POLLOUT, 0};
    int result = poll(&writable, 1, remainingMs(deadline));
    if (result < 0 && errno == EINTR) continue;
    if (result < 0) {
      captureLastError();
      return -1;
    }
    if (result == 0) break;
    if (writable.revents & (POLLHUP | POLLERR)) {
      setLastError(EIO);
      return -1;
    }
  }
  return written;
}

bool ptyDiscardInput(Handle terminal) {
  PtyEnd* end = endOf(terminal);
  if (!end) {
    setLastError(EBADF);
    return false;
  }
  if (tcflush(end->fd, TCIFLUSH) != 0) {
    captureLastError();
    return false;
  }
  return true;
}

bool ptyGetLineSettings(Handle terminal, PtyLineSettings& lineSettings) {
  PtyEnd* end = endOf(terminal);
  if (!end) {
    setLastError(EBADF);
    return false;
  }
  termios settings;
  if (tcgetattr(end->fd, &settings) != 0) {
    captureLastError();
    return false;
  }
  lineSettings.baudRate = baudRateOf(cfgetospeed(&settings));
  switch (settings.c_cflag & CSIZE) {
    case CS5: lineSettings.dataBits = 5; break;
    case CS6: lineSettings.dataBits = 6; break;
    case CS7: lineSettings.dataBits = 7; break;
    default: lineSettings.dataBits = 8; break;
  }
  lineSettings.parity = !(settings.c_cflag & PARENB) ? 'N' : (settings.c_cflag & PARODD) ? 'O' : 'E';
  lineSettings.stopBits = (settings.c_cflag & CSTOPB) ? 2 : 1;
  bool noLocalProcessing = !(settings.c_lflag & (ECHO | ECHONL | ICANON | ISIG | IEXTEN));
  bool noInputTranslation = !(settings.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | PARMRK));
  bool noOutputTranslation = !(settings.c_oflag & OPOST);
  lineSettings.raw = noLocalProcessing && noInputTranslation && noOutputTranslation;
  return true;
}

void ptyInterrupt(Handle pty) {
  PtyEnd* end = endOf(pty);
  if (!end) return;
  char wake = 1;
  if (write(end->wakeWrite, &wake, 1) < 0) {
    captureLastError();  // the pipe is full: a wake-up is already pending
  }
}

void ptyClose(Handle pty) {
  PtyEnd* end = endOf(pty);
  if (!end) return;
  close(end->fd);
  close(end->wakeRead);
  close(end->wakeWrite);
  delete end;
}

}  // namespace sim
