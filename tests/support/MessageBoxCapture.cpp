#include "tests/support/MessageBoxCapture.h"

#include <cstdio>

#include <gtest/gtest.h>

#include "ZEL_OS/OsMessageBox.h"

namespace testsupport {

namespace {
std::vector<CapturedBox>& record() {
  static std::vector<CapturedBox> boxes;
  return boxes;
}

int recordBox(zos::WindowHandle owner, const char* text, const char* caption, unsigned style) {
  record().push_back({owner, text != nullptr ? text : "", caption != nullptr ? caption : "", style});
  return zos::messageBoxAnswerOk;
}

const CapturedBox noBox{nullptr, "", "", 0};
}  // namespace

bool installMessageBoxRecorder() {
  zos::setMessageBoxHook(recordBox);
  return true;
}

const std::vector<CapturedBox>& capturedBoxes() { return record(); }

void clearCapturedBoxes() { record().clear(); }

MessageBoxCapture::MessageBoxCapture() {
  installMessageBoxRecorder();
  clearCapturedBoxes();
}

MessageBoxCapture::~MessageBoxCapture() { clearCapturedBoxes(); }

const CapturedBox& MessageBoxCapture::last() const {
  if (record().empty()) {
    ADD_FAILURE() << "no message box was shown";
    return noBox;
  }
  return record().back();
}

}  // namespace testsupport
