// Socket events delivered as window messages: the system posts the given message to the window
// whenever one of the chosen events occurs on the socket (wParam: the socket, lParam: the event
// bit in the low word, an error number in the high word). Each event is told once and told again
// only after the call that takes it up: a read event after the next receive, an accept event
// after the next accept; a close event is told once. The socket then works non-blocking.
//
// On Windows this is the system's own asynchronous selection. On POSIX a small watcher thread per
// socket polls it and posts the messages through the message layer (OsMessages.h).
#pragma once
#include "ZEL_OS/OsTypes.h"

namespace zos {

// Starts the notifications for the events (kNetRead | kNetAccept | kNetClose, OsNet.h).
bool notifySocketEvents(SocketHandle socket, WindowHandle window, unsigned message, long events);
// (events 0 ends them, as stopSocketNotifications does.)

// Tells the notifications that the socket's data or pending client was taken up (after a
// receive or an accept), so the next event of that kind is told again.
void rearmSocketNotifications(SocketHandle socket);

// Ends the notifications of a socket; called before the socket is closed.
void stopSocketNotifications(SocketHandle socket);

}  // namespace zos
