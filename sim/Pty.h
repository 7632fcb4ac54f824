// Pseudo-terminals: the master end that the programmer simulator serves, and terminal ends (the
// slave device, or any serial device) opened in raw mode, as the simulator keeps one itself and as
// its tests use one as the client. Every wait blocks in the system until data, a hang-up, an
// interrupt from another thread or its time-out.
#pragma once
#include "ZEL_OS/OsTypes.h"

namespace sim {

using zos::Handle;

enum class PtyWaitResult { ready, timedOut, interrupted, hungUp, failed };

// The line settings a terminal currently has (what a client set with its termios calls).
struct PtyLineSettings {
  int baudRate = 0;   // output speed in bit/s; 0 when it has no number
  int dataBits = 8;   // 5..8
  char parity = 'N';  // 'N', 'E' or 'O'
  int stopBits = 1;   // 1 or 2
  bool raw = false;   // no echo, no line editing, no signal keys, no byte translation either way
};

// Opens a new pseudo-terminal and returns its master end, raw and non-blocking. The path of its
// slave device goes to path (zero-terminated, cut to pathSize). 0 on failure.
Handle ptyOpenMaster(char* path, int pathSize);

// Opens a terminal device for reading and writing, without making it the controlling terminal,
// non-blocking, and sets it raw with 8 data bits, no parity, 1 stop bit at baudRate. 0 on failure.
Handle ptyOpenTerminal(const char* path, int baudRate);

// Waits until bytes can be read, the other end went away, ptyInterrupt was called or timeoutMs
// passed (timeoutMs < 0: no limit).
PtyWaitResult ptyWaitReadable(Handle pty, int timeoutMs);

// Reads what is waiting, up to size bytes, without waiting. Returns the count (0 when nothing
// waits), -1 on failure or when the other end hung up.
int ptyRead(Handle pty, void* buffer, int size);

// Writes size bytes, waiting for room up to timeoutMs in all. Returns the count written (less than
// size after the time-out), -1 on failure or when the other end hung up.
int ptyWrite(Handle pty, const void* data, int size, int timeoutMs);

// Drops the bytes that wait to be read from this terminal end.
bool ptyDiscardInput(Handle terminal);

// The current line settings of a terminal end.
bool ptyGetLineSettings(Handle terminal, PtyLineSettings& settings);

// Makes a ptyWaitReadable on this handle return at once (from another thread); the next wait
// after it returns interrupted as well if nobody was waiting.
void ptyInterrupt(Handle pty);

// Closes the end and releases the handle; 0 is ignored.
void ptyClose(Handle pty);

}  // namespace sim
