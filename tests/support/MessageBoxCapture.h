// Message boxes in tests: every box is recorded instead of shown, so no test ever waits for a
// user. Including this header installs the recording hook before the tests run; a
// MessageBoxCapture object gives a test the boxes shown during its life.
#pragma once
#include <string>
#include <vector>

#include "ZEL_OS/OsTypes.h"

namespace testsupport {

struct CapturedBox {
  zos::WindowHandle owner;
  std::string text;
  std::string caption;
  unsigned style;
};

// Installs the recording hook (again); returns true. Called at static initialisation by every
// program that includes this header.
bool installMessageBoxRecorder();

// Every box recorded since the program started or the last clearCapturedBoxes.
const std::vector<CapturedBox>& capturedBoxes();
void clearCapturedBoxes();

// The boxes of one test: clears the record on construction.
class MessageBoxCapture {
 public:
  MessageBoxCapture();
  MessageBoxCapture(const MessageBoxCapture&) = delete;
  MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;
  ~MessageBoxCapture();

  const std::vector<CapturedBox>& boxes() const { return capturedBoxes(); }
  std::size_t count() const { return capturedBoxes().size(); }
  // The last box; fails the test if there is none.
  const CapturedBox& last() const;
};

inline const bool messageBoxRecorderInstalled = installMessageBoxRecorder();

}  // namespace testsupport
