// Writing a whole text to a descriptor, for the POSIX files that write what they made.
#pragma once
#include <string>

namespace zos {
namespace posix {

// Writes every byte, going on after a signal cut a write short. False when a write failed
// (errno tells why) or the descriptor took nothing.
bool writeAll(int fd, const std::string& text);

}  // namespace posix
}  // namespace zos
