// The system's own description of an error number.
#pragma once
#include <string>

namespace zos {

// The system's text for number, with the system's own line ends; empty when it has none.
std::string errorText(int number);

}  // namespace zos
