// The command line of this process as one text.
#pragma once
#include <string>

namespace zos {

// The whole command line, program first. On systems that hand a process its arguments one by one,
// they are joined with blanks, and an argument that is empty or contains a blank or control
// character is put in double quotes, so that the command-line splitting gives each back whole.
std::string commandLine();

}  // namespace zos
