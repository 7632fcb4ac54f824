// Window messages: windows that receive messages through a handler, sending and posting to them,
// dispatching the calling thread's messages, and a wait that ends as soon as a message arrives.
//
// A window belongs to the thread that created it; its handler runs on that thread only.
// Windows: message-only windows (HWND_MESSAGE) and the system's own message queue.
// POSIX: a small layer of the OS layer's own that keeps the same behaviour: one message queue
// per thread, sent messages that the owner's thread handles while it dispatches or waits for
// messages, and posted messages that wait in the queue until they are dispatched.
#pragma once
#include <cstdint>

#include "ZEL_OS/OsThread.h"
#include "ZEL_OS/OsTypes.h"

namespace zos {

// The first message number a program uses for its own messages.
constexpr unsigned UserMessage = 0x0400;

// Handles one message of a window and gives the result that sendMessage returns.
using MessageHandler = std::intptr_t (*)(WindowHandle window, unsigned message, std::uintptr_t wParam,
                                         std::intptr_t lParam);

// Creates a window of the calling thread that passes its messages to the handler. On Windows the
// system's own messages (numbers below UserMessage) get the default handling and only the
// program's messages reach the handler; on POSIX there are no system messages. userData stays
// with the window (getWindowUserData). Returns 0 on failure.
WindowHandle createMessageWindow(MessageHandler handler, void* userData);

// The userData given at creation (nullptr for an unknown window).
void* getWindowUserData(WindowHandle window);

// Destroys the window; messages still on their way to it are dropped (a sent one returns 0).
// Call it on the window's own thread.
bool destroyMessageWindow(WindowHandle window);

// Hands the message to the window's handler and returns the handler's result. On the window's
// own thread the handler is called directly. From another thread the call blocks until the
// window's thread has handled the message, which it does when it dispatches its messages or
// waits for them (pumpOneMessage, waitForMessageOrObject and the waits built on them); meanwhile
// messages sent to the blocked thread are handled, so two threads sending to each other do not
// lock up. An unknown window, or one whose thread has ended, gives 0.
std::intptr_t sendMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

// Puts the message in the queue of the window's thread and returns at once; false if the window
// is unknown or its thread has ended.
bool postMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

// Handles one waiting message of the calling thread, if there is one: takes it from the queue,
// translates and dispatches it (PeekMessageA with removal, TranslateMessage, DispatchMessageA).
// A message sent from another thread counts as one. Returns whether a message was handled.
bool pumpOneMessage();

// Blocks until a message waits for the calling thread (WaitMessageWaiting), the waitable (a
// thread or event handle; may be 0) is signalled (WaitSignalled, which resets an auto-reset
// event), or the time passes (WaitTimedOut). A message already waiting ends the wait at once.
// The message stays in the queue: pumpOneMessage handles it.
// Windows: MsgWaitForMultipleObjectsEx with QS_ALLINPUT. POSIX: poll on the thread queue's wake
// descriptor and the waitable's descriptor.
WaitResult waitForMessageOrObject(Handle waitable, unsigned timeoutMs);

}  // namespace zos
