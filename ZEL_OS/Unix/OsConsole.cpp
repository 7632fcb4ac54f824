#include "ZEL_OS/OsConsole.h"

#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <pthread.h>
#include <sys/select.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ZEL_OS/OsCancel.h"
#include "ZEL_OS/OsError.h"
#include "ZEL_OS/Unix/TerminalRestore.h"

namespace zos {

namespace {

const int endingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
const int signalCount = sizeof endingSignals / sizeof endingSignals[0];

// The terminal as it was before readKey switched it and as readKey switched it, and the handlers
// from before; the signal handlers read them, so they live outside any function.
termios terminalBefore;
termios terminalRaw;
// Atomic (and lock-free), so that a handler on any thread sees the settings stored before it was set.
std::atomic<int> terminalSwitched{0};
static_assert(std::atomic<int>::is_always_lock_free, "read in signal handlers");
struct sigaction handlersBefore[signalCount];
bool handlerReplaced[signalCount];
struct sigaction continueBefore;

void restoreTerminalAndReraise(int number) {
  posix::restoreTerminalNow();
  for (int i = 0; i < signalCount; ++i) {
    if (endingSignals[i] == number) sigaction(number, &handlersBefore[i], nullptr);
  }
  raise(number);  // blocked until this handler returns, then handled as before
}

// After Ctrl-Z and fg the shell has put its own terminal settings back: the read goes on, so its
// raw input has to come back too. A process continued in the background leaves the terminal alone.
void switchBackAfterContinue(int) {
  const int savedErrno = errno;
  if (terminalSwitched && tcgetpgrp(STDIN_FILENO) == getpgrp()) tcsetattr(STDIN_FILENO, TCSANOW, &terminalRaw);
  errno = savedErrno;
}

// Waits until standard input has a byte (or its end) for a read. While the cancel signals are
// caught they are held back outside the wait and let in only inside it, so a cancel that comes
// at any moment ends the wait: false then.
bool waitForInputOrCancel() {
  if (!posix::cancelSignalsCaught()) return true;
  sigset_t cancelling = posix::cancelSignalSet();
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, &cancelling, &before);
  bool ready = false;
  while (!ready && cancelSignal() == 0) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(STDIN_FILENO, &readable);
    int result = pselect(STDIN_FILENO + 1, &readable, nullptr, nullptr, nullptr, &before);
    if (result < 0 && errno != EINTR) {
      captureLastError();
      ready = true;  // the read that follows reports the failure
    }
    if (result > 0) ready = true;
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return ready;
}

int readByte(int fd) {
  unsigned char byte;
  ssize_t got;
  do {
    got = read(fd, &byte, 1);
  } while (got < 0 && errno == EINTR);
  if (got == 1) return byte;
  if (got < 0) captureLastError();
  return KeyEndOfInput;
}

bool moreInputWithin(int timeoutMs) {
  pollfd watched{STDIN_FILENO, POLLIN, 0};
  int ready;
  do {
    ready = poll(&watched, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  return ready > 0 && (watched.revents & POLLIN);
}

int readFirstByte() {
  if (!waitForInputOrCancel()) return KeyCancelled;
  return readByte(STDIN_FILENO);
}

int readKeyRaw() {
  int key = readFirstByte();
  if (key != 0x1B || !moreInputWithin(30)) return key;
  // An escape sequence: the bytes of one key come together. Take them all as one special key.
  for (int taken = 0; taken < 16 && moreInputWithin(5); ++taken) {
    if (readByte(STDIN_FILENO) == KeyEndOfInput) break;
  }
  return KeySpecial;
}

}  // namespace

bool writeStdout(const void* data, std::size_t length) {
  // A reader that quits (kalmo ... | head) must not end a burn half-way: the write fails with
  // EPIPE instead, and the output is simply lost.
  static const bool brokenPipeIgnored = signal(SIGPIPE, SIG_IGN) != SIG_ERR;
  (void)brokenPipeIgnored;
  bool written = std::fwrite(data, 1, length, stdout) == length;
  return std::fflush(stdout) == 0 && written;
}

namespace posix {

void restoreTerminalNow() {
  if (terminalSwitched) tcsetattr(STDIN_FILENO, TCSANOW, &terminalBefore);
}

}  // namespace posix

int readKey() {
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &terminalBefore) != 0) return readFirstByte();

  // The cancel signals, when the run catches them, stay with the run: the wait ends on them and
  // the terminal is put back below. Otherwise they end the program with the terminal put back.
  const bool cancelCaught = posix::cancelSignalsCaught();
  struct sigaction restoring {};
  restoring.sa_handler = restoreTerminalAndReraise;
  sigemptyset(&restoring.sa_mask);
  for (int i = 0; i < signalCount; ++i) {
    handlerReplaced[i] = !(cancelCaught && endingSignals[i] != SIGQUIT);
    if (handlerReplaced[i]) sigaction(endingSignals[i], &restoring, &handlersBefore[i]);
  }
  struct sigaction continuing {};
  continuing.sa_handler = switchBackAfterContinue;
  sigemptyset(&continuing.sa_mask);
  continuing.sa_flags = SA_RESTART;
  sigaction(SIGCONT, &continuing, &continueBefore);

  terminalRaw = terminalBefore;
  terminalRaw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | IEXTEN);
  terminalRaw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON);
  terminalRaw.c_cc[VMIN] = 1;
  terminalRaw.c_cc[VTIME] = 0;
  terminalSwitched = 1;
  tcsetattr(STDIN_FILENO, TCSANOW, &terminalRaw);

  int key = readKeyRaw();

  tcsetattr(STDIN_FILENO, TCSANOW, &terminalBefore);
  terminalSwitched = 0;
  sigaction(SIGCONT, &continueBefore, nullptr);
  for (int i = 0; i < signalCount; ++i) {
    if (handlerReplaced[i]) sigaction(endingSignals[i], &handlersBefore[i], nullptr);
  }
  return key;
}

void clearScreen() {
  if (!stdoutIsTerminal()) return;
  static const char homeAndClear[] = "\x1b[H\x1b[2J";
  writeStdout(homeAndClear, sizeof homeAndClear - 1);
}

bool stdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

bool localeUsesUtf8() {
  // A locale object of its own: the process's locale, which setlocale would change, stays as it is.
  locale_t user = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (user == static_cast<locale_t>(0)) return false;
  const char* codeset = nl_langinfo_l(CODESET, user);
  bool utf8 = codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
  freelocale(user);
  return utf8;
}

}  // namespace zos
