// A modal message box. Tests (and anything else that must not block on a user) install a hook that
// receives every box instead of the system.
#pragma once

#include "ZEL_OS/OsTypes.h"

namespace zos {

// Box styles and answers as the system numbers them.
constexpr unsigned messageBoxOk = 0x00;
constexpr unsigned messageBoxIconError = 0x10;
constexpr int messageBoxAnswerOk = 1;

using MessageBoxHook = int (*)(WindowHandle owner, const char* text, const char* caption, unsigned style);

// Shows text with caption and style, owned by owner (0: no owner), and returns the answer; 0 if the
// box could not be shown. With a hook installed the hook is called instead and its answer returned.
int messageBox(WindowHandle owner, const char* text, const char* caption, unsigned style);

// The active window of the calling thread (0 when there is none, as in a console program).
WindowHandle activeWindow();

// Installs hook (null: show boxes again) and returns the one installed before.
MessageBoxHook setMessageBoxHook(MessageBoxHook hook);

}  // namespace zos
