// Starting programs, opening files through the desktop, shell links and file version resources.
// On the POSIX side a started program is a child process whose handle can be waited on together
// with window messages; links are desktop launcher files; executables carry no version resource.
#pragma once
#include "ZEL_OS/OsTypes.h"

namespace zos {

// The exit code a program reports while it still runs.
constexpr unsigned processStillActive = 259;

// Starts a program. The command line holds the program and its parameters; double quotes group
// words with blanks. The directory is the program's working directory (empty or null: the
// current one). The show mode says how its window appears (Windows; ignored elsewhere). Returns a
// handle that a wait for an object can block on; 0 on failure (lastError() says why).
Handle processStart(const char* commandLine, const char* directory, int showMode);

// Reads the program's exit code, processStillActive while it runs. false if the query failed.
bool processExitCode(Handle process, unsigned& exitCode);

// Waits up to the time for the program to end; true when it has ended.
bool processWait(Handle process, unsigned milliseconds);

// Gives the handle up; the program goes on running if it still does.
void processClose(Handle process);

// Opens a file, program or address as the desktop would ("open"). Returns a value above 32 on
// success, else an error value of 32 or less (2 file not found, 5 access denied, 31 nothing can
// open it) with lastError() set.
int shellOpen(const char* file, const char* parameters, const char* directory, int showMode);

// Writes a link file that starts the target. Empty texts (or null) are left out; the icon index
// is used on Windows only. false on failure, lastError() holds the failing call's code.
bool shellCreateLink(const char* linkPath, const char* target, const char* description,
                     const char* directory, const char* iconPath, int iconIndex);

// The version resource of an executable, in three steps as the system reads it: its size (0 on
// failure), the resource itself into a buffer of that size, and the fixed file version from it
// (the most and least significant 32 bits). Each failure sets lastError().
unsigned fileVersionInfoSize(const char* path);
bool fileVersionInfo(const char* path, void* buffer, unsigned size);
bool fileVersionQuery(const void* buffer, unsigned& versionHigh, unsigned& versionLow);

}  // namespace zos
