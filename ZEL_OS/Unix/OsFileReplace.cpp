// The atomic file replacement of OsFileSystem.h.
#include "ZEL_OS/OsFileSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "ZEL_OS/OsError.h"

namespace zos {

bool flushStreamToDisk(std::FILE* stream) {
  if (stream == nullptr) {
    setLastError(EBADF);
    return false;
  }
  if (std::fflush(stream) != 0 || fsync(fileno(stream)) != 0) {
    captureLastError();
    return false;
  }
  return true;
}

namespace {

// The rename itself lives in the directory: bring that to the disk too (best effort).
void syncDirectoryOf(const char* path) {
  std::string directory(path);
  std::string::size_type slash = directory.rfind('/');
  if (slash == std::string::npos) {
    directory = ".";
  } else {
    directory.erase(slash == 0 ? 1 : slash);
  }
  int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    ::close(fd);
  }
}

// The process's file creation mask, read without changing it (umask() would change it for a
// moment under the other threads' feet).
mode_t creationMask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.compare(0, 6, "Umask:") == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  return 022;
}

}  // namespace

bool replaceFile(const char* source, const char* target) {
  // The new file keeps the owner and the rights of the one it replaces, so a file saved by
  // another user (root saving a user's file) still belongs to its user; where there is none, it
  // gets the rights of a file created the usual way, not the private ones of a temporary file.
  // Giving the file away is allowed only to root: anybody else's save keeps the file their own.
  // The owner goes first, because a change of owner clears the set-ID bits.
  struct stat old;
  if (stat(target, &old) == 0) {
    if (chown(source, old.st_uid, old.st_gid) != 0 && chown(source, static_cast<uid_t>(-1), old.st_gid) != 0) {
      // neither owner nor group could be kept: the saver's own stay
    }
    chmod(source, old.st_mode & 07777);
  } else
    chmod(source, 0666 & ~creationMask());
  if (rename(source, target) != 0) {
    captureLastError();
    return false;
  }
  syncDirectoryOf(target);
  return true;
}

}  // namespace zos
