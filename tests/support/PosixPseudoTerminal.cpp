#include "tests/support/PosixPseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "ZEL_OS/Unix/PosixWait.h"

namespace zos {
namespace test {

PseudoTerminal::PseudoTerminal() {
  master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) return;
  char* name = ptsname(master);
  if (grantpt(master) != 0 || unlockpt(master) != 0 || !name) {
    closeMaster();
    return;
  }
  slave = name;
}

PseudoTerminal::~PseudoTerminal() { closeMaster(); }

bool PseudoTerminal::write(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t put = ::write(master, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

std::string PseudoTerminal::read(std::size_t maxBytes, unsigned timeoutMs) {
  std::string got;
  std::int64_t deadline = posix::deadlineAfter(timeoutMs);
  while (got.size() < maxBytes) {
    pollfd watched{master, POLLIN, 0};
    int ready = poll(&watched, 1, posix::pollTimeoutUntil(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || !(watched.revents & POLLIN)) break;
    char buffer[256];
    std::size_t want = maxBytes - got.size() < sizeof buffer ? maxBytes - got.size() : sizeof buffer;
    ssize_t n = ::read(master, buffer, want);
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

void PseudoTerminal::closeMaster() {
  if (master >= 0) close(master);
  master = -1;
}

bool PseudoTerminal::slaveIsCooked() const {
  int fd = open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  termios line{};
  bool cooked = tcgetattr(fd, &line) == 0 && (line.c_lflag & ICANON) && (line.c_lflag & ECHO);
  close(fd);
  return cooked;
}

StandardStreamOn::StandardStreamOn(int which, const std::string& path) : stream(which) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  saved = dup(stream);
  if (saved >= 0 && dup2(fd, stream) < 0) {
    close(saved);
    saved = -1;
  }
  close(fd);
}

StandardStreamOn::~StandardStreamOn() {
  if (saved < 0) return;
  dup2(saved, stream);
  close(saved);
}

EnvironmentVariable::EnvironmentVariable(const char* variable, const char* value) : name(variable) {
  const char* old = getenv(variable);
  hadValue = old != nullptr;
  if (old) oldValue = old;
  if (value && *value) {
    setenv(variable, value, 1);
  } else {
    unsetenv(variable);
  }
}

EnvironmentVariable::~EnvironmentVariable() {
  if (hadValue) {
    setenv(name.c_str(), oldValue.c_str(), 1);
  } else {
    unsetenv(name.c_str());
  }
}

}  // namespace test
}  // namespace zos
