// The clocks of the system: a monotonic millisecond tick count, a sleep, and the CPU time the
// process has used so far.
#pragma once
#include <cstdint>

namespace zos {

// Milliseconds from a fixed point in the past (system start on Windows), counted in 32 bits.
// The count wraps after about 49.7 days; the difference of two counts, taken in unsigned 32-bit
// arithmetic (later - earlier), is right across the wrap.
std::uint32_t tickCount();

// Blocks the calling thread for at least the given number of milliseconds (0 yields once).
void sleepMs(unsigned milliseconds);

// CPU time (user and system) the whole process has used, in microseconds.
std::uint64_t processCpuTimeUs();

}  // namespace zos
