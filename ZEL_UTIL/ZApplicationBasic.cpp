#include "ZEL_UTIL/ZApplicationBasic.h"

#include <string>
#include <vector>

#include "ZEL_OS/OsClock.h"
#include "ZEL_OS/OsCommandLine.h"
#include "ZEL_OS/OsFileSystem.h"
#include "ZEL_OS/OsMessages.h"
#include "ZEL_UTIL/ZPath.h"

namespace {

// How long a wait with a stop flag blocks at most before it looks at the flag again.
constexpr unsigned stopFlagInterval = 10;

// Drive and directory of a path, as the runtime's path splitting gives them: "C:\dir\" of
// "C:\dir\tool.exe", "C:" of "C:tool.exe", nothing of "tool.exe".
ZString directoryPart(const ZString& path) {
  int end = -1;
  for (int i = 0; i < path.getLength(); ++i) {
    if (ZPath::isSeparator(path.getAt(i))) end = i + 1;
  }
  if (end < 0 && path.getLength() >= 2 && path.getAt(1) == ':') end = 2;
  return end < 0 ? ZString() : path.left(end);
}

}  // namespace

ZApplicationBasic::ZApplicationBasic() {
  std::vector<std::string> arguments;
  if (zos::commandArguments(arguments)) {
    // The system hands the arguments over one by one: each is a parameter as it stands.
    for (const std::string& argument : arguments)
      params.add(ZString(argument.c_str(), static_cast<int>(argument.size())), false);
    takeProgram();
    return;
  }
  std::string line = zos::commandLine();
  takeCommandLine(ZString(line.c_str(), static_cast<int>(line.size())));
}

ZApplicationBasic::ZApplicationBasic(const ZString& commandLine) { takeCommandLine(commandLine); }

void ZApplicationBasic::takeCommandLine(const ZString& commandLine) {
  params.splitQuoted(commandLine);
  takeProgram();
}

void ZApplicationBasic::takeProgram() {
  ZString program = params.getCount() > 0 ? params.getAt(0) : ZString();

  programDirectory = directoryPart(program);
  // One trailing separator goes; a root directory ("/" or "\") stays what it is.
  int length = programDirectory.getLength();
  if (length > 1 && ZPath::isSeparator(programDirectory.getAt(length - 1))) programDirectory = programDirectory.left(length - 1);
  if (programDirectory.isEmpty()) {
    std::string current;
    if (zos::currentDirectory(current)) programDirectory = ZString(current.c_str(), static_cast<int>(current.size()));
    programDirectory.trim();
  }

  programPath = program;
}

int ZApplicationBasic::pumpMessages(unsigned milliseconds, const int* stopFlag) {
  // The flag may be cleared by another thread: read it afresh each time, as an atomic load.
  auto stopped = [stopFlag] { return stopFlag && __atomic_load_n(stopFlag, __ATOMIC_ACQUIRE) == 0; };
  std::uint32_t start = zos::tickCount();
  for (;;) {
    // Elapsed time in unsigned arithmetic stays right when the tick count wraps meanwhile.
    std::uint32_t elapsed = zos::tickCount() - start;
    if (elapsed >= milliseconds) return 1;
    bool handled = zos::pumpOneMessage();
    if (stopped()) return 0;
    if (handled) continue;
    unsigned wait = milliseconds - elapsed;
    if (stopFlag && wait > stopFlagInterval) wait = stopFlagInterval;
    if (zos::waitForMessageOrObject(nullptr, wait) == zos::WaitFailed) zos::sleepMs(wait);
  }
}
