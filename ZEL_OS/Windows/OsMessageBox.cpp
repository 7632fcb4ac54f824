#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsMessageBox.h"

namespace zos {

namespace {
MessageBoxHook installedHook = nullptr;
}

int messageBox(WindowHandle owner, const char* text, const char* caption, unsigned style) {
  if (installedHook != nullptr) return installedHook(owner, text, caption, style);
  return MessageBoxA(static_cast<HWND>(owner), text, caption, style);
}

WindowHandle activeWindow() { return GetActiveWindow(); }

MessageBoxHook setMessageBoxHook(MessageBoxHook hook) {
  MessageBoxHook previous = installedHook;
  installedHook = hook;
  return previous;
}

}  // namespace zos
