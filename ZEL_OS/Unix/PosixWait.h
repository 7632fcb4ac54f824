// Helpers the POSIX side shares between its waits: deadlines on the monotonic clock and the
// claiming of a signalled waitable (an auto-reset event is reset by the wait that sees it).
#pragma once
#include <poll.h>

#include <cstdint>

#include "ZEL_OS/OsTypes.h"

namespace zos {
namespace posix {

// A point in time on the monotonic clock, in nanoseconds; WaitForever gives "never".
std::int64_t deadlineAfter(unsigned timeoutMs);

// Milliseconds left until the deadline, rounded up, as poll wants them (-1: no deadline).
int pollTimeoutUntil(std::int64_t deadline);

// The descriptor that is readable while the waitable is signalled.
int waitableFd(Handle waitable);

// Called when the waitable's descriptor was found readable. For an auto-reset event this resets
// the event and returns false if another waiter had reset it first; every other waitable stays
// signalled and gives true.
bool claimSignal(Handle waitable);

// Whatever the signalling thread did before signalled(w) is seen by a thread after its wait on w
// reported the signal with observed(w). The kernel orders the two already; these calls tell the
// thread sanitizer, which cannot see through a descriptor, and keep the compiler's order.
void signalled(Handle waitable);
void observed(Handle waitable);

// The calling thread's end request: readable once terminateThread has asked the thread to end;
// -1 on a thread this layer did not create (poll passes over a negative descriptor). The waits
// of this layer poll it beside what they wait for and hand its entry to endThreadIfRequested.
int endRequestFd();

// Ends the calling thread, unwinding its stack as exitThread does, when the poll entry of its
// end request came back readable; otherwise returns. Call it outside every lock.
void endThreadIfRequested(const pollfd& watched);

// Empties an eventfd without blocking.
void drainEventFd(int fd);

// Makes an eventfd readable.
void signalEventFd(int fd);

}  // namespace posix
}  // namespace zos
