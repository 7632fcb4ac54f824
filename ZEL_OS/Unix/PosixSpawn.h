// Starting child programs on the POSIX side: used by the process functions and by the service
// functions, which drive the service manager's command-line program.
#pragma once
#include <string>
#include <vector>

#include <sys/types.h>

namespace zos {
namespace posix {

// Splits a command line into words: blanks separate words except inside double quotes; a
// backslash before a double quote makes it a plain character.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

// Starts argv[0] (searched on PATH when it has no "/") in the given directory (empty: the current
// one) with the given descriptor as its standard output (-1: inherited). The child gets the
// default signal mask. Returns the child's pid, or -1 with errno set (also when the program could
// not be executed: the child reports the exec failure back before the call returns).
pid_t spawn(const std::vector<std::string>& argv, const std::string& directory, int stdoutFd = -1);

// Runs a program to its end, collecting its standard output. Returns its exit status (128 + the
// signal number when a signal ended it), or -1 with errno set when it could not be started.
int runAndCapture(const std::vector<std::string>& argv, std::string& output);

// Reaps a child whose handle was given up while it still runs, so that it leaves no zombie:
// a detached thread waits for it.
void reapInBackground(pid_t pid);

// The file that PATH lookup finds for a program name (or the name itself when it has a "/"),
// empty when there is none.
std::string findProgram(const std::string& name);

}  // namespace posix
}  // namespace zos
