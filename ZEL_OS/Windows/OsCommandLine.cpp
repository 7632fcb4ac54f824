#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsCommandLine.h"

namespace zos {

std::string commandLine() {
  const char* line = GetCommandLineA();
  return line != nullptr ? std::string(line) : std::string();
}

// A Windows process gets one command line; the application basics split it.
bool commandArguments(std::vector<std::string>& arguments) {
  arguments.clear();
  return false;
}

}  // namespace zos
