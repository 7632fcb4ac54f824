// The clocks of the system: a monotonic millisecond tick count, a sleep, and the CPU time the
// process has used so far.
#pragma once
#include <cstdint>
#include <ctime>

namespace zos {

// Milliseconds from a fixed point in the past (system start on Windows), counted in 32 bits.
// The count wraps after about 49.7 days; the difference of two counts, taken in unsigned 32-bit
// arithmetic (later - earlier), is right across the wrap.
std::uint32_t tickCount();

// Blocks the calling thread for at least the given number of milliseconds (0 yields once).
void sleepMs(unsigned milliseconds);

// CPU time (user and system) the whole process has used, in microseconds.
std::uint64_t processCpuTimeUs();

// The local broken-down time of a count of seconds since 1970 as the runtime's localtime gives
// it, for the time zone set now (TZ is read again on every call). Safe to call from any thread.
// False, with every field of out 0, for a value the system cannot convert.
bool localTime(std::int64_t seconds, std::tm& out);

}  // namespace zos
