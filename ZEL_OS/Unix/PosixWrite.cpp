#include "ZEL_OS/Unix/PosixWrite.h"

#include <unistd.h>

#include <cerrno>

namespace zos {
namespace posix {

bool writeAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace posix
}  // namespace zos
