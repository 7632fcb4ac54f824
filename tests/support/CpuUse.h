// Measures how much CPU the process uses while a piece of work runs, to show that a wait blocks.
#pragma once
#include <cstdint>

#include "ZEL_OS/OsClock.h"

struct CpuUse {
  double share;            // CPU time of the whole process divided by the wall time (1.0 = one core)
  std::uint32_t elapsedMs;  // wall time the work took
};

template <class Work>
CpuUse measureCpuUse(Work&& work) {
  std::uint64_t cpuBefore = zos::processCpuTimeUs();
  std::uint32_t start = zos::tickCount();
  work();
  std::uint64_t cpuUsed = zos::processCpuTimeUs() - cpuBefore;
  std::uint32_t elapsed = zos::tickCount() - start;
  return CpuUse{elapsed ? static_cast<double>(cpuUsed) / (elapsed * 1000.0) : 0.0, elapsed};
}
