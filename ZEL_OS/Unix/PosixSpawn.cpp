#include "ZEL_OS/Unix/PosixSpawn.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zos {
namespace posix {

std::vector<std::string> splitCommandLine(const std::string& commandLine) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (std::size_t i = 0; i < commandLine.size(); ++i) {
    char ch = commandLine[i];
    if (ch == '\\' && i + 1 < commandLine.size() && commandLine[i + 1] == '"') {
      word += '"';
      inWord = true;
      ++i;
    } else if (ch == '"') {
      quoted = !quoted;
      inWord = true;  // "" is an empty word of its own
    } else if ((ch == ' ' || ch == '\t') && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += ch;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::string findProgram(const std::string& name) {
  if (name.empty()) return std::string();
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + name;
    struct stat info;
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        access(candidate.c_str(), X_OK) == 0)
      return candidate;
    start = end + 1;
  }
  return std::string();
}

namespace {

// Writes the whole number, retrying after signals; used in the child only.
void writeErrno(int fd, int number) {
  const char* bytes = reinterpret_cast<const char*>(&number);
  std::size_t done = 0;
  while (done < sizeof number) {
    ssize_t n = write(fd, bytes + done, sizeof number - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

pid_t spawnWith(const std::vector<std::string>& argv, const std::string& directory, int stdoutFd,
                int stderrFd) {
  if (argv.empty() || argv[0].empty()) {
    errno = ENOENT;
    return -1;
  }
  // Everything the child needs is prepared before the fork: after it, in a program with
  // threads, the child may only make plain system calls.
  std::string program = findProgram(argv[0]);
  if (program.empty()) {
    errno = ENOENT;
    return -1;
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return -1;
  sigset_t all;
  sigfillset(&all);
  sigset_t previous;
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  pid_t pid = fork();
  if (pid == 0) {
    sigset_t none;
    sigemptyset(&none);
    // Ignored signals would stay ignored across the exec.
    struct sigaction defaultAction = {};
    defaultAction.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &defaultAction, nullptr);
    pthread_sigmask(SIG_SETMASK, &none, nullptr);
    if (stdoutFd >= 0) dup2(stdoutFd, 1);
    if (stderrFd >= 0) dup2(stderrFd, 2);
    if (!directory.empty() && chdir(directory.c_str()) != 0) {
      writeErrno(report[1], errno);
      _exit(127);
    }
    execv(program.c_str(), args.data());
    writeErrno(report[1], errno);
    _exit(127);
  }
  int forkError = errno;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  close(report[1]);
  if (pid < 0) {
    close(report[0]);
    errno = forkError;
    return -1;
  }
  // The pipe closes without data when the exec succeeded.
  int childError = 0;
  ssize_t n;
  do {
    n = read(report[0], &childError, sizeof childError);
  } while (n < 0 && errno == EINTR);
  close(report[0]);
  if (n == static_cast<ssize_t>(sizeof childError)) {
    waitpid(pid, nullptr, 0);
    errno = childError;
    return -1;
  }
  return pid;
}

int exitStatusOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 255;
}

}  // namespace

pid_t spawn(const std::vector<std::string>& argv, const std::string& directory, int stdoutFd) {
  return spawnWith(argv, directory, stdoutFd, -1);
}

int runAndCapture(const std::vector<std::string>& argv, std::string& output) {
  output.clear();
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return -1;
  int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
  pid_t pid = spawnWith(argv, std::string(), out[1], devNull);
  int spawnError = errno;
  close(out[1]);
  if (devNull >= 0) close(devNull);
  if (pid < 0) {
    close(out[0]);
    errno = spawnError;
    return -1;
  }
  char buffer[4096];
  for (;;) {
    ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    output.append(buffer, static_cast<std::size_t>(n));
  }
  close(out[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return exitStatusOf(status);
}

void reapInBackground(pid_t pid) {
  std::thread([pid] {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

}  // namespace posix
}  // namespace zos
