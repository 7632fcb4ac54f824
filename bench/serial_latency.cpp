// How long a serial read takes beyond the moment its answer arrives, and what a long wait costs.
// Against the programmer simulator: 'P' is answered with a carriage return, here held back by a
// fixed delay, so the answer arrives that long after the read was called.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "ZEL_OS/OsClock.h"
#include "ZEL_SYSTEM/ZComPort.h"
#include "sim/Simulator.h"
#include "tests/support/CpuUse.h"

namespace {

const int answerDelayMs = 80;
const int rounds = 10;

}  // namespace

int main() {
  sim::SimulatorOptions options;
  options.lateMs = answerDelayMs;
  sim::ProgrammerSimulator simulator(options);
  if (!simulator.start()) {
    std::fprintf(stderr, "simulator: %s\n", simulator.errorText().c_str());
    return 1;
  }
  ZComPort port;
  port.settings.set(ZString((simulator.slavePath() + ",19200,N,8,1").c_str()));
  if (!port.open("", nullptr)) {
    std::fprintf(stderr, "open: %s\n", port.errorText.getBuffer());
    return 1;
  }

  std::vector<unsigned> spent;
  int failures = 0;
  for (int i = 0; i < rounds; ++i) {
    ZMem answer;
    std::uint32_t start = zos::tickCount();
    if (!port.writeByte('P') || !port.readUntil(answer, 1000, "\r")) ++failures;
    spent.push_back(zos::tickCount() - start);
    zos::sleepMs(20);
  }
  std::vector<unsigned> sorted = spent;
  std::sort(sorted.begin(), sorted.end());
  std::printf("readUntil, terminator arriving %d ms after the call (%d rounds, %d failed):\n", answerDelayMs,
              rounds, failures);
  std::printf("  returned after: min %u ms, median %u ms, max %u ms\n", sorted.front(), sorted[sorted.size() / 2],
              sorted.back());

  ZMem nothing;
  int result = -1;
  CpuUse use = measureCpuUse([&] { result = port.readUntil(nothing, 2000, "\n"); });
  std::printf("readUntil waiting 2000 ms for nothing: result %d after %u ms, CPU %.2f %% of one core\n", result,
              use.elapsedMs, use.share * 100.0);

  port.close(0);
  simulator.stop();
  return failures == 0 ? 0 : 1;
}
