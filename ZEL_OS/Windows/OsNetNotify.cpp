// Socket events as window messages on Windows: the system's asynchronous selection does it all,
// re-enabling each event with the call that takes it up and cancelling at closesocket.
#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsNet.h"

namespace zos {

bool notifySocketEvents(SocketHandle socket, WindowHandle window, unsigned message, long events) {
  return socketAsyncSelect(socket, window, message, events);
}

void rearmSocketNotifications(SocketHandle) {}

void stopSocketNotifications(SocketHandle) {}

}  // namespace zos
