#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsCommandLine.h"

namespace zos {

std::string commandLine() {
  const char* line = GetCommandLineA();
  return line != nullptr ? std::string(line) : std::string();
}

}  // namespace zos
