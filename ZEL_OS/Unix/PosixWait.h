// Helpers the POSIX side shares between its waits: deadlines on the monotonic clock and the
// claiming of a signalled waitable (an auto-reset event is reset by the wait that sees it).
#pragma once
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

// Empties an eventfd without blocking.
void drainEventFd(int fd);

// Makes an eventfd readable.
void signalEventFd(int fd);

}  // namespace posix
}  // namespace zos
