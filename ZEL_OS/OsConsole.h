// The console: standard output, single key presses, clearing the screen, and what the terminal
// can show.
#pragma once
#include <cstddef>

namespace zos {

// readKey's answer when standard input has ended.
constexpr int KeyEndOfInput = -1;

// readKey's answer when a cancel signal came while it waited (only while they are caught, see
// OsCancel.h).
constexpr int KeyCancelled = -2;

// readKey's code for a cursor or function key on a POSIX terminal (see readKey).
constexpr int KeySpecial = 0xE0;

// Writes the bytes to standard output as they are and flushes it. Returns whether all went out.
// A broken pipe (its reader has quit) only fails the write: POSIX ignores SIGPIPE from the first
// write on, so the program goes on.
bool writeStdout(const void* data, std::size_t length);

// Reads one key code (0 to 255) without echo and without waiting for Enter, or KeyEndOfInput.
// Windows: _getch on a console (a cursor or function key gives two codes, 0x00 or 0xE0 first);
// when standard input is no console, one byte of it.
// POSIX on a terminal: the terminal is switched to raw input for the read (no echo, no line
// editing, Enter gives 13) and switched back on every way out. While the cancel signals are
// caught (OsCancel.h), SIGINT, SIGTERM and SIGHUP end the wait with KeyCancelled; otherwise, and
// for SIGQUIT, handlers installed for the read only restore the terminal and raise the signal
// again, so Ctrl-C still ends the program. Continued after Ctrl-Z (SIGCONT), the read switches the
// terminal back to raw input, which the shell had taken away. A key that sends an escape sequence
// (cursor and function keys) gives the single code KeySpecial; Esc alone gives 0x1B. When
// standard input is no terminal, one byte of it (and KeyCancelled as above).
int readKey();

// Clears the console window. Windows: system("cls"). POSIX: the ANSI sequence for home and
// clear, written only when standard output is a terminal (a file or pipe gets nothing).
void clearScreen();

// Whether standard output is a console or terminal (and not a file or pipe).
bool stdoutIsTerminal();

// Whether the user's locale (LC_ALL, LC_CTYPE, LANG) uses UTF-8, so that single-byte texts
// would show wrongly. Changes no locale of the process. Windows: false.
bool localeUsesUtf8();

}  // namespace zos
