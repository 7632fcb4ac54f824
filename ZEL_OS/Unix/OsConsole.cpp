#include "ZEL_OS/OsConsole.h"

#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ZEL_OS/OsError.h"

namespace zos {

namespace {

const int endingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
const int signalCount = sizeof endingSignals / sizeof endingSignals[0];

// The terminal as it was before readKey switched it, and the handlers from before; the signal
// handler reads both, so they live outside any function.
termios terminalBefore;
struct sigaction handlersBefore[signalCount];

void restoreTerminalAndReraise(int number) {
  tcsetattr(STDIN_FILENO, TCSANOW, &terminalBefore);
  for (int i = 0; i < signalCount; ++i) {
    if (endingSignals[i] == number) sigaction(number, &handlersBefore[i], nullptr);
  }
  raise(number);  // blocked until this handler returns, then handled as before
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

int readKeyRaw() {
  int key = readByte(STDIN_FILENO);
  if (key != 0x1B || !moreInputWithin(30)) return key;
  // An escape sequence: the bytes of one key come together. Take them all as one special key.
  for (int taken = 0; taken < 16 && moreInputWithin(5); ++taken) {
    if (readByte(STDIN_FILENO) == KeyEndOfInput) break;
  }
  return KeySpecial;
}

}  // namespace

bool writeStdout(const void* data, std::size_t length) {
  bool written = std::fwrite(data, 1, length, stdout) == length;
  return std::fflush(stdout) == 0 && written;
}

int readKey() {
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &terminalBefore) != 0) return readByte(STDIN_FILENO);

  struct sigaction restoring {};
  restoring.sa_handler = restoreTerminalAndReraise;
  sigemptyset(&restoring.sa_mask);
  for (int i = 0; i < signalCount; ++i) sigaction(endingSignals[i], &restoring, &handlersBefore[i]);

  termios raw = terminalBefore;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | IEXTEN);
  raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);

  int key = readKeyRaw();

  tcsetattr(STDIN_FILENO, TCSANOW, &terminalBefore);
  for (int i = 0; i < signalCount; ++i) sigaction(endingSignals[i], &handlersBefore[i], nullptr);
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
