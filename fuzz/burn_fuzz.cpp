// The burn against a programmer that answers anything: KalmoApp::executeCommands with one burn
// token, over a real port on the simulator's pseudo-terminal, with every answer rewritten by the
// input before it goes out (noise in front of it, behind it, or over its first bytes). The real
// answer always follows, so no wait runs into its time-out and a run ends in well under a second.
// Whatever the answers, the run ends, closes the port, reports a failure with a message, and
// reports success only when the flash holds the image.
//
// Input: a run of actions, one per answer in order: a kind byte (modulo 4: keep, noise in front,
// noise behind, overwrite), a count byte (modulo 9) and that many bytes. Answers after the last
// action are kept.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "app/Console.h"
#include "app/KalmoApp.h"
#include "fuzz/FuzzSupport.h"
#include "sim/Simulator.h"

using fuzzsupport::check;

namespace {

using Bytes = std::vector<std::uint8_t>;

// 24 bytes without a period, so that no shifted read-back can equal the image by chance.
const Bytes image = {0x0C, 0x94, 0x34, 0x00, 0x7E, 0x15, 0xA2, 0x61, 0xF0, 0x3B, 0x88, 0x19,
                     0xC7, 0x42, 0x05, 0xDE, 0x6B, 0x90, 0x27, 0xB1, 0x5C, 0xE3, 0x0A, 0x76};

struct Action {
  int kind;
  Bytes bytes;
};

std::string hexFile() {
  static std::string path;
  if (!path.empty()) return path;
  path = (std::filesystem::temp_directory_path() / ("kalmo_burn_fuzz_" + std::to_string(std::rand()) + ".hex")).string();
  std::string text = ":18000000";
  unsigned sum = 0x18;
  static const char digits[] = "0123456789ABCDEF";
  for (std::uint8_t b : image) {
    text += digits[b >> 4];
    text += digits[b & 15];
    sum += b;
  }
  unsigned checksum = (0x100 - (sum & 0xFF)) & 0xFF;
  text += digits[checksum >> 4];
  text += digits[checksum & 15];
  text += "\r\n:00000001FF\r\n";
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

std::vector<Action> decode(const std::uint8_t* data, std::size_t size) {
  std::vector<Action> actions;
  std::size_t i = 0;
  while (i < size) {
    Action action;
    action.kind = data[i++] % 4;
    std::size_t count = i < size ? data[i++] % 9 : 0;
    for (; count > 0 && i < size; --count) action.bytes.push_back(data[i++]);
    actions.push_back(action);
  }
  return actions;
}

// Applies the next action to one answer. Data answers (the block size, a block read back) may be
// overwritten; a carriage-return answer keeps its CR, so its noise goes in front of it.
class ScriptedAnswers {
 public:
  explicit ScriptedAnswers(std::vector<Action> actions) : actions(std::move(actions)) {}

  void apply(const std::string& command, Bytes& answer) {
    std::lock_guard<std::mutex> lock(mutex);
    if (next >= actions.size()) return;
    const Action& action = actions[next++];
    const bool data = !command.empty() && (command[0] == 'b' || command[0] == 'g');
    switch (action.kind) {
      case 1:
        answer.insert(answer.begin(), action.bytes.begin(), action.bytes.end());
        break;
      case 2:
        answer.insert(answer.end(), action.bytes.begin(), action.bytes.end());
        break;
      case 3:
        if (data) {
          for (std::size_t k = 0; k < action.bytes.size() && k < answer.size(); ++k) answer[k] = action.bytes[k];
        } else {
          answer.insert(answer.begin(), action.bytes.begin(), action.bytes.end());
        }
        break;
      default:
        break;
    }
  }

 private:
  std::mutex mutex;
  std::vector<Action> actions;
  std::size_t next = 0;
};

std::string output;  // what the burn wrote to the console in this run

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::quietLibrary();
  setenv("KALMO_DEBUG_PORT", "1", 1);  // nobody listens there: the debug channel stays quiet
  Console::setOutputHook([](const std::string& text) { output += text; });
  hexFile();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ScriptedAnswers script(decode(data, size));
  sim::SimulatorOptions options;
  options.blockSize = 24;  // the image in one block unless the input says otherwise
  sim::ProgrammerSimulator simulator(options);
  simulator.setAnswerFilter(
      [&script](long, const std::string& command, Bytes& answer) { script.apply(command, answer); });
  check(simulator.start(), "the simulator starts");

  output.clear();
  int result;
  {
    KalmoApp app;
    app.portName = simulator.slavePath().c_str();
    app.comPort.settings.set(app.portName + ",19200,N,8,1");
    app.commands.add(ZString("b|") + hexFile().c_str());
    result = app.executeCommands();
    check(!app.comPort.isOpen(), "the port is closed when the commands are done");
  }
  simulator.stop();

  if (result == 1) {
    Bytes flash = simulator.flash();
    check(Bytes(flash.begin(), flash.begin() + static_cast<long>(image.size())) == image,
          "a burn that reports success leaves the image in the flash");
    check(output.size() >= 17 && output.compare(output.size() - 17, 17, "Fertig/finished.\n") == 0,
          "a successful burn ends with its message");
  } else {
    check(output.find("Error: ") != std::string::npos, "a failed burn says why");
  }
  return 0;
}
