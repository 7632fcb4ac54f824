// ZError: the library's one place for reporting failures, either at once in a message box
// (showError) or silently in an in-memory log (addError) that showLog shows in one box.
#pragma once

#include "ZEL_UTIL/ZString.h"

class ZError {
 public:
  static constexpr unsigned iconError = 0x10;  // the system's error icon style

  ZError() = default;

  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZError"; }
  virtual ~ZError() = default;

  // Logs text (with number and the system's text for it, unless number is 0) once: an entry that
  // is already in the log is not added again.
  void addError(const ZString& text, int number);

  // Shows text (with number and its system text, unless number is 0) in a modal box owned by the
  // active window, and returns when the user has closed it.
  void showError(const ZString& text, int number = 0, const ZString& caption = "Fehler !",
                 unsigned style = iconError) const;

  // The system's text for an error number with its own line ends; empty when it has none.
  static ZString getErrorText(int number);

  // Shows the whole log in one box; nothing when the log is empty.
  void showLog() const;

  // The logged entries, each beginning with "\r\n"; line breaks inside an entry are followed by a tab.
  ZString log;
};

// The program's one error log.
extern ZError zelError;
