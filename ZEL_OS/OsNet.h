// IPv4 sockets for TCP streams. A socket is a SocketHandle, 0 meaning "no socket" on every
// platform. Addresses are IPv4 addresses in network byte order, ports in host byte order.
// Every failing call leaves the system's error number in lastError().
#pragma once
#include <cstdint>

#include "ZEL_OS/OsTypes.h"

namespace zos {

// Socket event bits, as the event functions report them.
constexpr long socketEventRead = 0x01;
constexpr long socketEventWrite = 0x02;
constexpr long socketEventAccept = 0x08;
constexpr long socketEventClose = 0x20;

constexpr int socketTypeStream = 1;

// Starts the socket library for this process (version 2.2 where the system asks for one).
// Returns 0 on success, else the system's error number. netCleanup undoes one start.
int netStartup();
void netCleanup();

// Looks a host name up; a dotted IPv4 address is taken as it is. Gives the first IPv4 address.
bool netResolveHost(const char* host, std::uint32_t& address);

// The address of a dotted IPv4 text; false when the text is not one (the caller then listens on
// all interfaces).
bool netParseAddress(const char* text, std::uint32_t& address);

// A new IPv4 socket of the type (1: stream); 0 on failure. Descriptors are not inherited by
// started programs.
SocketHandle socketCreate(int type);

// Blocking connect to address:port.
bool socketConnect(SocketHandle socket, std::uint32_t address, std::uint16_t port);

// Connects to address:port, waiting at most timeoutMs for the connection to be made; one still
// pending then counts as failed (lastError: the time-out). The socket stays non-blocking.
bool socketConnectWithin(SocketHandle socket, std::uint32_t address, std::uint16_t port, unsigned timeoutMs);

// Binds to address:port (address 0: every interface; port 0: the system picks one).
bool socketBind(SocketHandle socket, std::uint32_t address, std::uint16_t port);

// Listens with the given backlog.
bool socketListen(SocketHandle socket, int backlog = 5);

// The port the socket is bound to locally; 0 on failure.
std::uint16_t socketLocalPort(SocketHandle socket);

// Accepts one pending client; 0 on failure.
SocketHandle socketAccept(SocketHandle listenSocket);

// Sends all count bytes: a partial send is continued until every byte is out, also on a
// non-blocking socket (which is waited on until it can take more). Never raises a signal for a
// closed peer. Returns true only when every byte was sent.
bool socketSendAll(SocketHandle socket, const void* data, int count);

// Sends what the socket takes now, without waiting: the number of bytes taken (0 when its buffer
// is full), -1 on failure. Never raises a signal for a closed peer.
int socketSendNow(SocketHandle socket, const void* data, int count);

// Receives up to count bytes: the number received, 0 when the peer closed, -1 on failure
// (also "would block" on a non-blocking socket without data).
int socketReceive(SocketHandle socket, void* buffer, int count);

// Closes the socket (0 is ignored).
void socketClose(SocketHandle socket);

// Posts message to window for each of the events (bits above) on the socket, and makes the
// socket non-blocking. Events 0 ends the notification.
bool socketAsyncSelect(SocketHandle socket, WindowHandle window, unsigned message, long events);

// An event object that socket events signal (0: none).
using NetEvent = Handle;

enum class NetWaitResult { signalled, timeout, failed };

NetEvent netEventCreate();

// Associates the event with the socket for the event bits (0 removes the association) and makes
// the socket non-blocking. Each kind of event signals once; reading (socketReceive) re-arms
// "read", accepting (socketAccept) re-arms "accept", a send that had to wait re-arms "write".
bool netEventSelect(SocketHandle socket, NetEvent event, long events);

// Waits up to the time for the event to be signalled.
NetWaitResult netEventWait(NetEvent event, unsigned milliseconds);

// The events that occurred on the socket since the last call (bits above); resets the event.
bool netEnumEvents(SocketHandle socket, NetEvent event, long& events);

void netEventClose(NetEvent event);

// True for the error number that means "the operation is still in progress".
bool netIsInProgress(int error);

// Socket events delivered as window messages: the system posts the given message to the window
// whenever one of the chosen events occurs on the socket (wParam: the socket, lParam: the event
// bit in the low word, an error number in the high word). Each event is told once and told again
// only after the call that takes it up: a read event after the next receive, an accept event
// after the next accept; a close event is told once. The socket then works non-blocking.
// On Windows this is the system's own asynchronous selection; on POSIX a small watcher thread per
// socket polls it and posts the messages through the message layer (OsMessages.h).

// Starts the notifications for the events (bits above); events 0 ends them, as
// stopSocketNotifications does.
bool notifySocketEvents(SocketHandle socket, WindowHandle window, unsigned message, long events);

// Tells the notifications that the socket's data or pending client was taken up (after a
// receive or an accept), so the next event of that kind is told again.
void rearmSocketNotifications(SocketHandle socket);

// Ends the notifications of a socket; called before the socket is closed.
void stopSocketNotifications(SocketHandle socket);

}  // namespace zos
