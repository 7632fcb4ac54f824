// kalmo-sim: the programmer simulator as a program. Prints the pseudo-terminal's path on the first
// line of its output and serves until a stop signal, or until the hang-up fault ends the line.
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "sim/StopSignal.h"
#include "sim/Simulator.h"
#include "sim/SimulatorOptions.h"

namespace {

bool dumpFlash(const std::string& file, const std::vector<std::uint8_t>& contents) {
  std::ofstream out(file, std::ios::out | std::ios::trunc | std::ios::binary);
  out.write(reinterpret_cast<const char*>(contents.data()), static_cast<std::streamsize>(contents.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  sim::SimulatorOptions options;
  bool help = false;
  std::string error;
  if (!sim::parseOptions(args, options, help, error)) {
    std::cerr << "kalmo-sim: " << error << "\n(kalmo-sim --help lists the options)\n";
    return 2;
  }
  if (help) {
    std::cout << sim::optionsHelp();
    return 0;
  }
  // Before the serving thread starts, so that it inherits the blocked signals.
  if (!sim::blockStopSignals()) {
    std::cerr << "kalmo-sim: cannot take the stop signals\n";
    return 1;
  }
  sim::ProgrammerSimulator simulator(options);
  simulator.onEnded([] { sim::sendStopSignal(); });
  if (!simulator.start()) {
    std::cerr << "kalmo-sim: " << simulator.errorText() << "\n";
    return 1;
  }
  std::cout << simulator.slavePath() << std::endl;

  sim::waitForStopSignal();
  simulator.stop();

  int status = 0;
  if (simulator.hasHungUp()) {
    std::cerr << "kalmo-sim: hung up after " << options.hangupAfter << " bytes\n";
  } else if (!simulator.errorText().empty()) {
    std::cerr << "kalmo-sim: " << simulator.errorText() << "\n";
    status = 1;
  }
  if (!options.dumpFlashFile.empty() && !dumpFlash(options.dumpFlashFile, simulator.flash())) {
    std::cerr << "kalmo-sim: cannot write " << options.dumpFlashFile << "\n";
    status = 1;
  }
  return status;
}
