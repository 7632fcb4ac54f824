#include "ZEL_OS/OsFileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ZEL_OS/OsError.h"

namespace zos {

namespace {

std::string textOf(const char* text) { return text ? std::string(text) : std::string(); }

bool isSeparator(char ch) { return ch == '/' || ch == '\\'; }

// The path with "\" turned into "/".
std::string posixPath(const std::string& path) {
  std::string out = path;
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

// Matches a name against a pattern of "*" (any run) and "?" (one character).
bool matches(const char* pattern, const char* name) {
  const char* starPattern = nullptr;
  const char* starName = nullptr;
  while (*name) {
    if (*pattern == '?' || *pattern == *name) {
      ++pattern;
      ++name;
    } else if (*pattern == '*') {
      starPattern = pattern++;
      starName = name;
    } else if (starPattern) {
      pattern = starPattern + 1;
      name = ++starName;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == 0;
}

struct Search {
  std::string directory;
  std::vector<std::string> names;
  std::size_t next = 0;
};

void fillEntry(const std::string& directory, const std::string& name, FindData& data) {
  data = FindData();
  std::memcpy(data.name, name.c_str(), std::min(name.size(), sizeof data.name - 1));
  std::string path = directory.empty() ? name : directory + "/" + name;
  struct stat info;
  if (stat(path.c_str(), &info) != 0 && lstat(path.c_str(), &info) != 0) return;
  data.attributes = S_ISDIR(info.st_mode) ? fileAttributeDirectory : fileAttributeArchive;
  if (!(info.st_mode & S_IWUSR)) data.attributes |= fileAttributeReadOnly;
  if (name[0] == '.' && name != "." && name != "..") data.attributes |= fileAttributeHidden;
  data.size = S_ISDIR(info.st_mode) ? 0 : static_cast<std::uint64_t>(info.st_size);
  data.accessTime = info.st_atime;
  data.writeTime = info.st_mtime;
  data.createTime = info.st_ctime;  // the file system keeps no birth time for every file
#ifdef STATX_BTIME
  struct statx extended;
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &extended) == 0 &&
      (extended.stx_mask & STATX_BTIME))
    data.createTime = extended.stx_btime.tv_sec;
#endif
}

}  // namespace

Handle findFirstFile(const char* patternText, FindData& data) {
  std::string pattern = posixPath(textOf(patternText));
  std::size_t slash = pattern.rfind('/');
  std::string directory = slash == std::string::npos ? std::string() : pattern.substr(0, slash);
  std::string namePattern = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (slash == 0) directory = "/";
  if (namePattern.empty()) {
    setLastError(ENOENT);
    return nullptr;
  }
  if (namePattern == "*.*") namePattern = "*";

  DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
  if (!dir) {
    captureLastError();
    return nullptr;
  }
  auto* search = new Search;
  search->directory = directory;
  errno = 0;
  while (dirent* entry = readdir(dir)) {
    if (matches(namePattern.c_str(), entry->d_name)) search->names.push_back(entry->d_name);
  }
  closedir(dir);
  if (search->names.empty()) {
    delete search;
    setLastError(ENOENT);
    return nullptr;
  }
  // Sorted by name, so that "." and ".." come first and the order is the same on every run.
  std::sort(search->names.begin(), search->names.end());
  fillEntry(search->directory, search->names[0], data);
  search->next = 1;
  return search;
}

bool findNextFile(Handle handle, FindData& data) {
  auto* search = static_cast<Search*>(handle);
  if (!search || search->next >= search->names.size()) {
    setLastError(ENOENT);
    return false;
  }
  fillEntry(search->directory, search->names[search->next++], data);
  return true;
}

void findClose(Handle handle) { delete static_cast<Search*>(handle); }

bool currentDirectory(std::string& directory) {
  std::vector<char> buffer(4096);
  for (;;) {
    if (getcwd(buffer.data(), buffer.size())) {
      directory = buffer.data();
      return true;
    }
    if (errno != ERANGE) {
      captureLastError();
      directory.clear();
      return false;
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool fullPathName(const char* pathText, std::string& fullPath) {
  fullPath.clear();
  std::string path = posixPath(textOf(pathText));
  if (path.empty()) {
    setLastError(ENOENT);
    return false;
  }
  if (path[0] != '/') {
    std::string current;
    if (!currentDirectory(current)) return false;
    path = current + "/" + path;
  }
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  for (const std::string& part : parts) fullPath += "/" + part;
  if (fullPath.empty()) fullPath = "/";
  // A trailing separator stays, as the system keeps it elsewhere.
  if (isSeparator(path.back()) && fullPath != "/") fullPath += "/";
  return true;
}

bool tempPath(std::string& directory) {
  const char* fromEnvironment = std::getenv("TMPDIR");
  directory = fromEnvironment && *fromEnvironment ? fromEnvironment : "/tmp";
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  if (directory != "/") directory += "/";
  return true;
}

bool tempFileName(const char* directoryText, const char* prefixText, unsigned unique,
                  std::string& name) {
  std::string directory = posixPath(textOf(directoryText));
  if (directory.empty()) directory = ".";
  if (directory.back() != '/') directory += "/";
  std::string prefix = textOf(prefixText);
  if (prefix.find('/') != std::string::npos || prefix.find('\\') != std::string::npos) {
    setLastError(EINVAL);
    name.clear();
    return false;
  }
  if (unique != 0) {
    char number[16];
    std::snprintf(number, sizeof number, "%X", unique & 0xFFFFu);
    name = directory + prefix + number + ".tmp";
    return true;
  }
  std::string templ = directory + prefix + "XXXXXX.tmp";
  std::vector<char> buffer(templ.begin(), templ.end());
  buffer.push_back('\0');
  int fd = mkstemps(buffer.data(), 4);
  if (fd < 0) {
    captureLastError();
    name.clear();
    return false;
  }
  close(fd);
  name = buffer.data();
  return true;
}

void splitPath(const char* pathText, std::string& drive, std::string& directory,
               std::string& title, std::string& extension) {
  std::string path = textOf(pathText);
  drive.clear();
  std::size_t slash = path.find_last_of("/\\");
  std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  directory = path.substr(0, nameStart);
  std::string name = path.substr(nameStart);
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) {
    title = name;
    extension.clear();
  } else {
    title = name.substr(0, dot);
    extension = name.substr(dot);
  }
}

bool createDirectory(const char* path) {
  if (mkdir(posixPath(textOf(path)).c_str(), 0777) != 0) {
    captureLastError();
    return false;
  }
  return true;
}

bool isPathNotFound(int error) { return error == ENOENT; }

bool deleteFile(const char* path) {
  if (unlink(posixPath(textOf(path)).c_str()) != 0) {
    captureLastError();
    return false;
  }
  return true;
}

namespace {

bool failWith(int number) {
  setLastError(number);
  return false;
}

}  // namespace

bool copyFile(const char* sourceText, const char* destinationText, bool failIfExists) {
  std::string source = posixPath(textOf(sourceText));
  std::string destination = posixPath(textOf(destinationText));
  int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return failWith(errno);
  struct stat sourceInfo;
  if (fstat(in, &sourceInfo) != 0 || S_ISDIR(sourceInfo.st_mode)) {
    int number = S_ISDIR(sourceInfo.st_mode) ? EISDIR : errno;
    close(in);
    return failWith(number);
  }
  struct stat destinationInfo;
  if (stat(destination.c_str(), &destinationInfo) == 0 &&
      destinationInfo.st_dev == sourceInfo.st_dev && destinationInfo.st_ino == sourceInfo.st_ino) {
    // Emptying the destination would destroy the source.
    close(in);
    return failWith(failIfExists ? EEXIST : EINVAL);
  }
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
  int out = open(destination.c_str(), flags, sourceInfo.st_mode & 07777);
  if (out < 0) {
    int number = errno;
    close(in);
    return failWith(number);
  }
  std::vector<char> buffer(65536);
  int number = 0;
  for (;;) {
    ssize_t n = read(in, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      number = errno;
      break;
    }
    if (n == 0) break;
    ssize_t done = 0;
    while (done < n) {
      ssize_t written = write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        number = written < 0 ? errno : EIO;
        break;
      }
      done += written;
    }
    if (number) break;
  }
  if (!number && fchmod(out, sourceInfo.st_mode & 07777) != 0) number = errno;
  if (!number) {
    // The copy keeps the source's time of last change.
    struct timespec times[2] = {sourceInfo.st_atim, sourceInfo.st_mtim};
    futimens(out, times);
  }
  if (close(out) != 0 && !number) number = errno;
  close(in);
  if (number) {
    unlink(destination.c_str());
    return failWith(number);
  }
  return true;
}

std::string finalLinkTarget(const std::string& path) {
  std::string current = path;
  // As many links as the kernel follows itself before it gives up with ELOOP.
  for (int hop = 0; hop < 40; ++hop) {
    char target[4096];
    ssize_t length = readlink(current.c_str(), target, sizeof target - 1);
    if (length < 0) return current;  // no link (or gone): the file is written where it is named
    std::string next(target, static_cast<std::size_t>(length));
    if (next.empty() || next[0] != '/') {
      std::size_t slash = current.rfind('/');
      next = (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + next;
    }
    current = next;
  }
  return current;
}

bool streamIsDirectory(std::FILE* stream) {
  struct stat info;
  if (fstat(fileno(stream), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  setLastError(EISDIR);
  return true;
}

bool truncateStream(std::FILE* stream, std::int64_t position) {
  if (!stream) return failWith(EBADF);
  if (std::fflush(stream) != 0 || ftruncate(fileno(stream), static_cast<off_t>(position)) != 0) {
    captureLastError();
    return false;
  }
  return true;
}

char pathSeparator() { return '/'; }

bool environmentVariable(const char* name, std::string& value) {
  const char* found = name && *name ? std::getenv(name) : nullptr;
  value = found ? found : "";
  if (!found) setLastError(ENOENT);
  return found != nullptr;
}

bool setEnvironmentVariable(const char* name, const char* value) {
  int result = value ? setenv(textOf(name).c_str(), value, 1) : unsetenv(textOf(name).c_str());
  if (result != 0) {
    captureLastError();
    return false;
  }
  return true;
}

namespace {

bool makeDirectories(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode) || failWith(ENOTDIR);
  std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !makeDirectories(path.substr(0, slash)))
    return false;
  if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return failWith(errno);
  return true;
}

std::string homeDirectory() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : std::string();
}

}  // namespace

bool specialFolderPath(int folder, bool create, std::string& path) {
  path.clear();
  if (folder == folderUserAppData) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/') {
      path = config;
    } else {
      std::string home = homeDirectory();
      if (home.empty()) return failWith(ENOENT);
      path = home + "/.config";
    }
  } else if (folder == folderCommonAppData) {
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::string first = dirs ? std::string(dirs).substr(0, std::string(dirs).find(':')) : "";
    path = !first.empty() && first[0] == '/' ? first : "/etc/xdg";
  } else {
    return failWith(EINVAL);
  }
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (create && !makeDirectories(path)) {
    path.clear();
    return false;
  }
  return true;
}

}  // namespace zos
