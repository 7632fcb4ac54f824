#include <fstream>
#include <iterator>
#include <string>

#include "ZEL_OS/OsCommandLine.h"

namespace zos {

namespace {
bool needsQuotes(const std::string& argument) {
  if (argument.empty()) return true;
  for (unsigned char ch : argument)
    if (ch <= 0x20) return true;
  return false;
}
}  // namespace

std::string commandLine() {
  // The kernel keeps the argument vector as zero-terminated texts one after another.
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  std::string raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::string line;
  std::size_t start = 0;
  while (start < raw.size()) {
    std::size_t end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    std::string argument = raw.substr(start, end - start);
    if (!line.empty() || start > 0) line += ' ';
    line += needsQuotes(argument) ? "\"" + argument + "\"" : argument;
    start = end + 1;
  }
  return line;
}

}  // namespace zos
