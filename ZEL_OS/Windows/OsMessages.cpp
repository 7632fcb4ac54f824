#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsMessages.h"

#include <new>

#include "ZEL_OS/OsError.h"
#include "ZEL_OS/Windows/WinThreadEnd.h"

namespace zos {

namespace {

const char* const messageWindowClass = "ZelMessageWindow";

struct WindowRecord {
  MessageHandler handler;
  void* userData;
  bool created;  // the window exists and owns the record from now on
};

WindowRecord* recordOf(HWND window) {
  return reinterpret_cast<WindowRecord*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

LRESULT CALLBACK messageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  WindowRecord* record = recordOf(window);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    if (record && record->created) delete record;  // a failed creation leaves it to its caller
  } else if (record && message >= WM_USER) {
    return record->handler(window, message, wParam, lParam);
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

bool registerWindowClass() {
  static const bool registered = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = messageWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = messageWindowClass;
    return RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

}  // namespace

WindowHandle createMessageWindow(MessageHandler handler, void* userData) {
  if (!handler) {
    setLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!registerWindowClass()) {
    captureLastError();
    return nullptr;
  }
  auto* record = new (std::nothrow) WindowRecord{handler, userData, false};
  if (!record) {
    setLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HWND window = CreateWindowExA(0, messageWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleA(nullptr), record);
  if (!window) {
    captureLastError();
    delete record;
    return nullptr;
  }
  record->created = true;
  return window;
}

void* getWindowUserData(WindowHandle window) {
  WindowRecord* record = IsWindow(static_cast<HWND>(window)) ? recordOf(static_cast<HWND>(window)) : nullptr;
  return record ? record->userData : nullptr;
}

bool destroyMessageWindow(WindowHandle window) {
  if (!DestroyWindow(static_cast<HWND>(window))) {
    captureLastError();
    return false;
  }
  return true;
}

std::intptr_t sendMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  return SendMessageA(static_cast<HWND>(window), message, wParam, lParam);
}

bool postMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  if (!PostMessageA(static_cast<HWND>(window), message, wParam, lParam)) {
    captureLastError();
    return false;
  }
  return true;
}

bool pumpOneMessage() {
  // PeekMessage hands messages sent from other threads to their windows itself and reports only
  // posted ones; a sent message waiting now is handled by this call, so it counts.
  bool sentWaiting = (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0;
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return sentWaiting;
  TranslateMessage(&message);
  DispatchMessageA(&message);
  return true;
}

WaitResult waitForMessageOrObject(Handle waitable, unsigned timeoutMs) {
  // The thread's end request, if it has one, comes first; then the object.
  HANDLE handles[2];
  DWORD count = 0;
  HANDLE endRequest = win::threadEndRequest();
  if (endRequest) handles[count++] = endRequest;
  DWORD objectAt = count;
  if (waitable) handles[count++] = waitable;
  // MWMO_INPUTAVAILABLE: a message that is already in the queue ends the wait too, not only a new one.
  DWORD result = MsgWaitForMultipleObjectsEx(count, count ? handles : nullptr, timeoutMs, QS_ALLINPUT,
                                             MWMO_INPUTAVAILABLE);
  if (endRequest && result == WAIT_OBJECT_0) win::endThreadOnRequest();
  if (waitable && (result == WAIT_OBJECT_0 + objectAt || result == WAIT_ABANDONED_0 + objectAt))
    return WaitSignalled;
  if (result == WAIT_OBJECT_0 + count) return WaitMessageWaiting;
  if (result == WAIT_TIMEOUT) return WaitTimedOut;
  captureLastError();
  return WaitFailed;
}

}  // namespace zos
