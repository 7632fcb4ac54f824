// The tool's console: messages to standard output, single key presses from the keyboard.
// Texts are single-byte Windows-1252 (the usage text writes its u-umlaut as the code page 850
// byte 0x81). On a terminal whose locale is UTF-8 they are shown converted; everywhere else the
// bytes go out exactly as they are.
#pragma once
#include <functional>
#include <string>

#include "ZEL_UTIL/ZString.h"

class Console {
 public:
  // Writes the text's bytes to standard output and flushes.
  static void write(const ZString& text);
  // The same for a text that holds a name the user typed or the system gave (a file or port
  // name, a parameter): every occurrence of asIs goes out as it came, unconverted, since such a
  // name is already in the terminal's own encoding.
  static void write(const ZString& text, const ZString& asIs);
  // Reads one key without echo and without waiting for Enter; -1 when the input has ended, -2
  // when the run was cancelled while it waited.
  static int readKey();
  // Clears the screen (on a terminal only).
  static void clearScreen();

  // Tests route the output (and the keys) through these instead of the real console.
  static void setOutputHook(std::function<void(const std::string&)> hook);
  static void setKeyHook(std::function<int()> hook);
  static void setClearHook(std::function<void()> hook);

  // The conversion used for a UTF-8 terminal; exposed for tests.
  static std::string toUtf8(const std::string& text);
  // toUtf8 of everything in text but the occurrences of asIs, which are kept as they are.
  static std::string toUtf8Keeping(const std::string& text, const std::string& asIs);
};
