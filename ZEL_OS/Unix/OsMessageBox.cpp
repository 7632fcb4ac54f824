#include <cstdio>

#include "ZEL_OS/OsMessageBox.h"

namespace zos {

namespace {
MessageBoxHook installedHook = nullptr;
}

int messageBox(WindowHandle owner, const char* text, const char* caption, unsigned style) {
  if (installedHook != nullptr) return installedHook(owner, text, caption, style);
  // No window system to ask: the user reads the box on standard error, and it counts as confirmed.
  std::fprintf(stderr, "%s\n%s\n", caption != nullptr ? caption : "", text != nullptr ? text : "");
  std::fflush(stderr);
  return messageBoxAnswerOk;
}

WindowHandle activeWindow() { return nullptr; }

MessageBoxHook setMessageBoxHook(MessageBoxHook hook) {
  MessageBoxHook previous = installedHook;
  installedHook = hook;
  return previous;
}

}  // namespace zos
