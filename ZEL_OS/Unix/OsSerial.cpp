// A serial port on POSIX is a terminal device in raw mode. All waits block in poll; the
// descriptor stays non-blocking, so a read or write never blocks beyond the time asked for.
#include "ZEL_OS/OsSerial.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "ZEL_OS/OsClock.h"
#include "ZEL_OS/OsError.h"
#include "ZEL_OS/Unix/PosixWait.h"

namespace zos {

static_assert(sizeof(termios) <= sizeof(LineState), "a termios record fits a line state");

namespace {

struct SerialDevice {
  int fd;
};

int fdOf(Handle port) { return static_cast<SerialDevice*>(port)->fd; }

struct Speed {
  std::uint32_t rate;
  speed_t code;
};

const Speed speeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

bool speedCode(std::uint32_t rate, speed_t& code) {
  for (const Speed& speed : speeds) {
    if (speed.rate == rate) {
      code = speed.code;
      return true;
    }
  }
  return false;
}

std::uint32_t rateOf(speed_t code) {
  for (const Speed& speed : speeds) {
    if (speed.code == code) return speed.rate;
  }
  return 0;
}

// "com3" -> "/dev/ttyS2"; a path as it is; any other name from /dev.
std::string devicePath(const char* name) {
  std::string text = name ? name : "";
  if (!text.empty() && text[0] == '/') return text;
  if (text.size() > 3 && std::tolower(static_cast<unsigned char>(text[0])) == 'c' &&
      std::tolower(static_cast<unsigned char>(text[1])) == 'o' &&
      std::tolower(static_cast<unsigned char>(text[2])) == 'm') {
    std::string digits = text.substr(3);
    bool allDigits = digits.size() <= 6;
    for (char c : digits) allDigits = allDigits && std::isdigit(static_cast<unsigned char>(c));
    if (allDigits) {
      long number = std::stol(digits);
      if (number < 1) return std::string();
      return "/dev/ttyS" + std::to_string(number - 1);
    }
  }
  if (text.empty()) return std::string();
  return "/dev/" + text;
}

bool fail(int number) {
  setLastError(number);
  return false;
}

SerialReadResult goneWith(int number) {
  setLastError(number);
  return SerialGone;
}

}  // namespace

Handle openSerial(const char* portName) {
  std::string path = devicePath(portName);
  if (path.empty()) {
    setLastError(ENOENT);
    return nullptr;
  }
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    captureLastError();
    return nullptr;
  }
  // flock keeps out every other open of the device, also one of this process and one by root,
  // which TIOCEXCL lets through.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int number = errno == EWOULDBLOCK ? EBUSY : errno;
    close(fd);
    setLastError(number);
    return nullptr;
  }
  ioctl(fd, TIOCEXCL);  // a device that is no terminal fails later, when the line is set
  auto* device = new (std::nothrow) SerialDevice{fd};
  if (!device) {
    close(fd);
    setLastError(ENOMEM);
  }
  return device;
}

bool readLineState(Handle port, LineState& state) {
  termios line{};
  if (tcgetattr(fdOf(port), &line) != 0) {
    captureLastError();
    return false;
  }
  std::memset(state.bytes, 0, sizeof state.bytes);
  std::memcpy(state.bytes, &line, sizeof line);
  return true;
}

bool restoreLineState(Handle port, const LineState& state) {
  termios line;
  std::memcpy(&line, state.bytes, sizeof line);
  if (tcsetattr(fdOf(port), TCSANOW, &line) != 0) {
    captureLastError();
    return false;
  }
  return true;
}

bool applyLineSettings(Handle port, const LineSettings& settings) {
  speed_t speed;
  if (!speedCode(settings.baudRate, speed)) return fail(EINVAL);

  tcflag_t size;
  switch (settings.dataBits) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return fail(EINVAL);
  }

  tcflag_t parity;
  switch (settings.parity) {
    case ParityNone: parity = 0; break;
    case ParityOdd: parity = PARENB | PARODD; break;
    case ParityEven: parity = PARENB; break;
    case ParityMark: parity = PARENB | CMSPAR | PARODD; break;
    case ParitySpace: parity = PARENB | CMSPAR; break;
    default: return fail(EINVAL);
  }

  tcflag_t stop;
  switch (settings.stopBits) {
    case StopBitsOne: stop = 0; break;
    case StopBitsOneAndHalf:
      if (settings.dataBits != 5) return fail(EINVAL);
      stop = CSTOPB;
      break;
    case StopBitsTwo:
      if (settings.dataBits == 5) return fail(EINVAL);
      stop = CSTOPB;
      break;
    default: return fail(EINVAL);
  }

  int fd = fdOf(port);
  termios line{};
  if (tcgetattr(fd, &line) != 0) {
    captureLastError();
    return false;
  }
  cfmakeraw(&line);
  line.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
  line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  line.c_cflag |= size | parity | stop | CLOCAL | CREAD;
  line.c_cc[VMIN] = 1;
  line.c_cc[VTIME] = 0;
  cfsetispeed(&line, speed);
  cfsetospeed(&line, speed);
  if (tcsetattr(fd, TCSANOW, &line) != 0) {
    captureLastError();
    return false;
  }

  // tcsetattr succeeds when any part was taken: check that the line holds all of it.
  termios taken{};
  if (tcgetattr(fd, &taken) != 0) {
    captureLastError();
    return false;
  }
  const tcflag_t frame = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
  if ((taken.c_cflag & frame) != (line.c_cflag & frame) || cfgetospeed(&taken) != speed) return fail(EINVAL);
  return true;
}

bool readLineSettings(Handle port, LineSettings& settings) {
  termios line{};
  if (tcgetattr(fdOf(port), &line) != 0) {
    captureLastError();
    return false;
  }
  settings.baudRate = rateOf(cfgetospeed(&line));
  switch (line.c_cflag & CSIZE) {
    case CS5: settings.dataBits = 5; break;
    case CS6: settings.dataBits = 6; break;
    case CS7: settings.dataBits = 7; break;
    default: settings.dataBits = 8; break;
  }
  if (!(line.c_cflag & PARENB)) {
    settings.parity = ParityNone;
  } else if (line.c_cflag & CMSPAR) {
    settings.parity = (line.c_cflag & PARODD) ? ParityMark : ParitySpace;
  } else {
    settings.parity = (line.c_cflag & PARODD) ? ParityOdd : ParityEven;
  }
  if (!(line.c_cflag & CSTOPB)) {
    settings.stopBits = StopBitsOne;
  } else {
    settings.stopBits = settings.dataBits == 5 ? StopBitsOneAndHalf : StopBitsTwo;
  }
  return true;
}

bool setSerialTimeouts(Handle port) { return port != nullptr || fail(EINVAL); }

void raiseDtrRts(Handle port) {
  int lines = TIOCM_DTR;
  ioctl(fdOf(port), TIOCMBIS, &lines);  // a pseudo-terminal has no modem lines and refuses
  lines = TIOCM_RTS;
  ioctl(fdOf(port), TIOCMBIS, &lines);
}

bool purgeSerial(Handle port) {
  if (tcflush(fdOf(port), TCIOFLUSH) != 0) {
    captureLastError();
    return false;
  }
  return true;
}

SerialReadResult readSerialByte(Handle port, unsigned timeoutMs, unsigned char& byte) {
  std::int64_t deadline = posix::deadlineAfter(timeoutMs);
  int fd = fdOf(port);
  for (;;) {
    pollfd watched{fd, POLLIN, 0};
    int ready = poll(&watched, 1, posix::pollTimeoutUntil(deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == ENOMEM) {
        // The system is short of memory for a moment: the line has not gone. Wait out the time,
        // as a quiet line would, so that the reader keeps its pace.
        int left = posix::pollTimeoutUntil(deadline);
        if (left > 0) sleepMs(static_cast<unsigned>(left));
        return SerialNoByte;
      }
      captureLastError();
      return SerialGone;
    }
    if (ready == 0) return SerialNoByte;
    if (watched.revents & POLLNVAL) return goneWith(EBADF);
    // A hang-up comes with or without POLLIN; the read tells what is left: a byte that came before
    // it, end of file, or the error itself.
    ssize_t got = read(fd, &byte, 1);
    if (got == 1) return SerialByte;
    if (got == 0) return goneWith(EIO);  // a hung-up terminal reads as end of file
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // Nothing to read after all. A hang-up that poll keeps reporting would bring us straight
      // back here: that line has gone.
      if (watched.revents & (POLLHUP | POLLERR)) return goneWith(EIO);
      continue;
    }
    captureLastError();
    return SerialGone;
  }
}

SerialWriteResult writeSerial(Handle port, const void* data, std::uint32_t length) {
  std::uint32_t written = 0;
  int fd = fdOf(port);
  const auto* bytes = static_cast<const unsigned char*>(data);
  // The write time-out: one millisecond per byte and one second more.
  std::int64_t deadline = posix::deadlineAfter(length < 0xFFFFFFFFu - 1000u ? length + 1000u : 0xFFFFFFFEu);
  while (written < length) {
    ssize_t put = write(fd, bytes + written, length - written);
    if (put > 0) {
      written += static_cast<std::uint32_t>(put);
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      captureLastError();
      return SerialWriteFailed;
    }
    pollfd watched{fd, POLLOUT, 0};
    int ready = poll(&watched, 1, posix::pollTimeoutUntil(deadline));
    if (ready < 0 && errno != EINTR) {
      captureLastError();
      return SerialWriteFailed;
    }
    if (ready == 0) {  // the write time-out cut it short, as it does on Windows
      setLastError(ETIMEDOUT);
      return SerialWriteTimedOut;
    }
    if (ready > 0 && (watched.revents & (POLLERR | POLLHUP | POLLNVAL))) {
      setLastError(watched.revents & POLLNVAL ? EBADF : EIO);
      return SerialWriteFailed;
    }
  }
  return SerialWritten;
}

void closeSerial(Handle port) {
  if (!port) return;
  auto* device = static_cast<SerialDevice*>(port);
  ioctl(device->fd, TIOCNXCL);
  close(device->fd);  // also drops the lock
  delete device;
}

SerialOpenRefusal serialOpenRefusal(int errorNumber) {
  if (errorNumber == EACCES || errorNumber == EPERM) return SerialRefusedNoRights;
  if (errorNumber == EBUSY) return SerialRefusedInUse;
  return SerialRefusedOther;
}

std::string serialDeviceGroup(const char* portName) {
  std::string path = devicePath(portName);
  struct stat info {};
  if (path.empty() || stat(path.c_str(), &info) != 0) return std::string();
  const mode_t groupUse = S_IRGRP | S_IWGRP;
  if (info.st_gid == 0 || (info.st_mode & groupUse) != groupUse) return std::string();

  long hint = sysconf(_SC_GETGR_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 1024);
  for (;;) {
    group entry {};
    group* found = nullptr;
    int result = getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found);
    if (result == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (result == 0 && found && found->gr_name && *found->gr_name) return found->gr_name;
    return std::to_string(info.st_gid);
  }
}

}  // namespace zos
