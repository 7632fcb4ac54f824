#include "ZEL_SYSTEM/ZDebug.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "ZEL_OS/OsEnvironmentHooks.h"
#include "ZEL_OS/OsNet.h"

namespace {

constexpr int kMaxFormatted = 5000;

// The port from KALMO_DEBUG_PORT, or the given default when it is unset or not a port number.
int portFromEnvironment(int defaultPort) {
  const char* value = zos::debugPortOverride();
  if (value == nullptr) return defaultPort;
  char* end = nullptr;
  long port = std::strtol(value, &end, 10);
  if (*end != '\0' || port < 1 || port > 65535) return defaultPort;
  return static_cast<int>(port);
}

}  // namespace

ZDebug::ZDebug() {
  monitorPort = portFromEnvironment(monitorPort);
  connectTimeoutMs = connectWaitMs;
}

ZDebug::~ZDebug() { endRunningThreadAtDestruction(); }

bool ZDebug::connectMonitor() {
  if (connectState == 0) {
    connectState = createClient(nullptr, static_cast<std::uint16_t>(monitorPort), monitorHost) ? 1 : 2;
  }
  return connectState == 1;
}

void ZDebug::print(const ZString& text) {
  if (muted != 0) return;
  if (!connectMonitor()) return;
  ZString line = text;
  line += "\r\n";
  sendLine(line);
}

bool ZDebug::sendRestOfLine() {
  if (restOfLine.empty()) return true;
  int taken = zos::socketSendNow(dataSocket.load(), restOfLine.data(), static_cast<int>(restOfLine.size()));
  if (taken < 0) {
    noteSendFailure();
    restOfLine.clear();  // the connection is broken: the rest will never arrive
    return true;
  }
  restOfLine.erase(0, static_cast<std::size_t>(taken));
  return restOfLine.empty();
}

void ZDebug::sendLine(const ZString& line) {
  // A line that went out only in part is completed first, so the monitor never sees lines mixed.
  if (!sendRestOfLine()) {
    ++droppedLines;
    return;
  }
  std::string out;
  if (droppedLines > 0) {
    out = "!!!!!!!! debug: " + std::to_string(droppedLines) + " Zeilen verworfen, der Monitor las nicht mit / " +
          std::to_string(droppedLines) + " lines dropped, the monitor did not keep up !!!!!!!!\r\n";
  }
  out.append(line.getBuffer(), static_cast<std::size_t>(line.getLength()));
  int taken = zos::socketSendNow(dataSocket.load(), out.data(), static_cast<int>(out.size()));
  if (taken < 0) {
    noteSendFailure();
    return;
  }
  if (taken == 0) {
    ++droppedLines;
    return;
  }
  droppedLines = 0;
  restOfLine.assign(out, static_cast<std::size_t>(taken), std::string::npos);
}

void ZDebug::printf(const char* format, ...) {
  char buffer[kMaxFormatted + 1];
  va_list args;
  va_start(args, format);
  int produced = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (produced < 0) return;  // the format itself was unusable
  bool cut = produced > kMaxFormatted;
  print(ZString(buffer, cut ? kMaxFormatted : produced));
  if (cut) {
    print("!!!!!!!! debug.printf(): Ergebnis-String wurde gr\xF6\xDF" "er als 5000 Zeichen -> wurden abgeschnitten !!!!!!!!!!");
  }
}
