#include "ZEL_OS/OsProcess.h"

#include <atomic>
#include <cerrno>
#include <memory>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ZEL_OS/OsError.h"
#include "ZEL_OS/Unix/PosixSpawn.h"
#include "ZEL_OS/Unix/PosixWaitable.h"
#include "ZEL_OS/Unix/PosixWrite.h"

namespace zos {

namespace {

std::string textOf(const char* text) { return text ? std::string(text) : std::string(); }

int exitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 255;
}

// Where the kernel has no process descriptors, a thread waits for the child and then closes
// the writing end of a pipe, which makes the reading end readable.
struct ExitWatch {
  std::atomic<bool> ended{false};
  std::atomic<int> exitCode{0};
};

// A started child. The waitable record comes first: waits poll its descriptor, which becomes
// readable when the child ends.
struct PosixProcess {
  PosixWaitable waitable;
  pid_t pid = -1;
  bool reaped = false;
  unsigned exitCode = 0;
  std::shared_ptr<ExitWatch> watch;  // set when a thread waits for the child
};

bool watchWithThread(PosixProcess& process) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  process.watch = std::make_shared<ExitWatch>();
  std::shared_ptr<ExitWatch> watch = process.watch;
  pid_t pid = process.pid;
  int writeEnd = ends[1];
  std::thread([watch, pid, writeEnd] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    watch->exitCode = exitCodeOf(status);
    watch->ended = true;
    close(writeEnd);
  }).detach();
  process.waitable.pollFd = ends[0];
  return true;
}

}  // namespace

Handle processStart(const char* commandLine, const char* directory, int /*showMode*/) {
  std::vector<std::string> argv = posix::splitCommandLine(textOf(commandLine));
  pid_t pid = posix::spawn(argv, textOf(directory));
  if (pid < 0) {
    captureLastError();
    return nullptr;
  }
  auto* process = new PosixProcess;
  process->pid = pid;
  process->waitable.pollFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (process->waitable.pollFd >= 0) {
    fcntl(process->waitable.pollFd, F_SETFD, FD_CLOEXEC);
  } else if (!watchWithThread(*process)) {
    captureLastError();
    posix::reapInBackground(pid);
    delete process;
    return nullptr;
  }
  return process;
}

bool processExitCode(Handle handle, unsigned& exitCode) {
  auto* process = static_cast<PosixProcess*>(handle);
  if (!process) {
    setLastError(EBADF);
    return false;
  }
  if (!process->reaped) {
    if (process->watch) {
      if (process->watch->ended) {
        process->reaped = true;
        process->exitCode = static_cast<unsigned>(process->watch->exitCode.load());
      }
    } else {
      int status = 0;
      pid_t done = waitpid(process->pid, &status, WNOHANG);
      if (done < 0) {
        captureLastError();
        return false;
      }
      if (done == process->pid) {
        process->reaped = true;
        process->exitCode = static_cast<unsigned>(exitCodeOf(status));
      }
    }
  }
  exitCode = process->reaped ? process->exitCode : processStillActive;
  return true;
}

bool processWait(Handle handle, unsigned milliseconds) {
  auto* process = static_cast<PosixProcess*>(handle);
  if (!process) {
    setLastError(EBADF);
    return false;
  }
  pollfd fd = {process->waitable.pollFd, POLLIN, 0};
  int timeout = milliseconds > 0x7FFFFFFFu ? -1 : static_cast<int>(milliseconds);
  int ready;
  do {
    ready = poll(&fd, 1, timeout);  // an interrupted wait starts again: a rare, longer wait
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) captureLastError();
  return ready > 0;
}

void processClose(Handle handle) {
  auto* process = static_cast<PosixProcess*>(handle);
  if (!process) return;
  // A child that still runs is reaped later, so that it leaves no zombie behind.
  if (!process->reaped && !process->watch) posix::reapInBackground(process->pid);
  if (process->waitable.pollFd >= 0) close(process->waitable.pollFd);
  delete process;
}

int shellOpen(const char* fileText, const char* parameters, const char* directoryText,
              int /*showMode*/) {
  std::string file = textOf(fileText);
  std::string directory = textOf(directoryText);
  if (file.empty()) {
    setLastError(ENOENT);
    return 2;
  }
  bool isAddress = file.find("://") != std::string::npos || file.compare(0, 7, "mailto:") == 0;
  std::string local = file;
  if (!isAddress && file[0] != '/' && !directory.empty()) local = directory + "/" + file;
  struct stat info;
  if (!isAddress && stat(local.c_str(), &info) != 0) {
    captureLastError();
    return errno == EACCES ? 5 : 2;
  }
  std::vector<std::string> argv;
  bool isProgram = !isAddress && S_ISREG(info.st_mode) && access(local.c_str(), X_OK) == 0;
  if (isProgram) {
    // The program starts in the directory, so a relative name is taken from there.
    argv.push_back(file.find('/') == std::string::npos ? "./" + file : file);
    for (const std::string& word : posix::splitCommandLine(textOf(parameters)))
      argv.push_back(word);
  } else {
    argv = {"xdg-open", file};
  }
  pid_t pid = posix::spawn(argv, directory);
  if (pid < 0) {
    int number = captureLastError();
    if (!isProgram && number == ENOENT) return 31;
    return number == EACCES ? 5 : 2;
  }
  posix::reapInBackground(pid);
  return 42;
}

namespace {

// A value of a desktop entry: backslashes and control characters escaped.
std::string entryValue(const std::string& text) {
  std::string out;
  for (char ch : text) {
    switch (ch) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += ch;
    }
  }
  return out;
}

// The target as one argument of the Exec key: quoted when it holds reserved characters, and
// percent signs doubled so that they are not taken for field codes.
std::string execArgument(const std::string& target) {
  bool needsQuotes = target.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string::npos;
  std::string out;
  if (needsQuotes) out += '"';
  for (char ch : target) {
    if (ch == '%') {
      out += "%%";
      continue;
    }
    if (needsQuotes && (ch == '"' || ch == '`' || ch == '$' || ch == '\\')) out += '\\';
    out += ch;
  }
  if (needsQuotes) out += '"';
  return out;
}

std::string titleOf(const std::string& path) {
  std::size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

}  // namespace

bool shellCreateLink(const char* linkPath, const char* target, const char* description,
                     const char* directory, const char* iconPath, int /*iconIndex*/) {
  std::string link = textOf(linkPath);
  std::string entry = "[Desktop Entry]\nType=Application\n";
  entry += "Name=" + entryValue(titleOf(link)) + "\n";
  entry += "Exec=" + entryValue(execArgument(textOf(target))) + "\n";
  if (!textOf(description).empty()) entry += "Comment=" + entryValue(description) + "\n";
  if (!textOf(directory).empty()) entry += "Path=" + entryValue(directory) + "\n";
  if (!textOf(iconPath).empty()) entry += "Icon=" + entryValue(iconPath) + "\n";

  int fd = open(link.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
  if (fd < 0) {
    captureLastError();
    return false;
  }
  bool ok = posix::writeAll(fd, entry) && fchmod(fd, 0755) == 0;
  if (!ok) captureLastError();
  if (close(fd) != 0 && ok) {
    captureLastError();
    ok = false;
  }
  return ok;
}

unsigned fileVersionInfoSize(const char* path) {
  // Executables of this system carry no version resource: a file that exists has none.
  struct stat info;
  if (stat(textOf(path).c_str(), &info) != 0)
    captureLastError();
  else
    setLastError(ENODATA);
  return 0;
}

bool fileVersionInfo(const char* /*path*/, void* /*buffer*/, unsigned /*size*/) {
  setLastError(ENODATA);
  return false;
}

bool fileVersionQuery(const void* /*buffer*/, unsigned& versionHigh, unsigned& versionLow) {
  versionHigh = versionLow = 0;
  setLastError(ENODATA);
  return false;
}

}  // namespace zos
