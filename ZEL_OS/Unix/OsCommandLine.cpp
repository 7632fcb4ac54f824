#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

bool commandArguments(std::vector<std::string>& arguments) {
  // The kernel keeps the argument vector as zero-terminated texts one after another.
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  std::string raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  arguments.clear();
  std::size_t start = 0;
  while (start < raw.size()) {
    std::size_t end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    arguments.push_back(raw.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

std::string commandLine() {
  std::vector<std::string> arguments;
  commandArguments(arguments);
  std::string line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) line += ' ';
    line += needsQuotes(arguments[i]) ? "\"" + arguments[i] + "\"" : arguments[i];
  }
  return line;
}

}  // namespace zos
