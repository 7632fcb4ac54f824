// The command line of this process as one text.
#pragma once
#include <string>
#include <vector>

namespace zos {

// The whole command line, program first. On systems that hand a process its arguments one by one,
// they are joined with blanks, and an argument that is empty or contains a blank or control
// character is put in double quotes, so that the command-line splitting gives each back whole.
std::string commandLine();

// The arguments one by one, program first, where the system hands them to a process that way
// (true); there each is taken as it stands, also one that no joined command line could give back
// whole (a lone double quote in a file name). False where a process gets one command line, which
// commandLine gives.
bool commandArguments(std::vector<std::string>& arguments);

}  // namespace zos
