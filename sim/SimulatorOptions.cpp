#include "sim/SimulatorOptions.h"

#include <cerrno>
#include <cstdlib>
#include <functional>

namespace sim {

namespace {

// Whole numbers in decimal or with 0x in hexadecimal, within [minimum, maximum].
bool toWhole(const std::string& text, long long minimum, long long maximum, long long& value) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 0);
  return errno == 0 && *end == '\0' && value >= minimum && value <= maximum;
}

bool toMilliseconds(const std::string& text, double& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return errno == 0 && *end == '\0' && value >= 0 && value <= 3600e3;
}

// OFFSET or OFFSET:VALUE.
bool toCorruption(const std::string& text, SimulatorOptions& options) {
  std::string::size_type colon = text.find(':');
  long long offset = 0;
  long long value = -1;
  if (!toWhole(text.substr(0, colon), 0, 0x7FFFFFFF, offset)) return false;
  if (colon != std::string::npos && !toWhole(text.substr(colon + 1), 0, 255, value)) return false;
  options.corruptReadback = true;
  options.corruptOffset = static_cast<std::size_t>(offset);
  options.corruptValue = static_cast<int>(value);
  return true;
}

struct Option {
  const char* name;
  const char* value;  // nullptr: a flag without value
  const char* help;
  std::function<bool(const std::string&, SimulatorOptions&)> apply;
};

template <typename T>
std::function<bool(const std::string&, SimulatorOptions&)> whole(T SimulatorOptions::*field, long long minimum,
                                                                 long long maximum) {
  return [=](const std::string& text, SimulatorOptions& options) {
    long long value;
    if (!toWhole(text, minimum, maximum, value)) return false;
    options.*field = static_cast<T>(value);
    return true;
  };
}

std::function<bool(const std::string&, SimulatorOptions&)> millis(double SimulatorOptions::*field) {
  return [=](const std::string& text, SimulatorOptions& options) { return toMilliseconds(text, options.*field); };
}

std::function<bool(const std::string&, SimulatorOptions&)> flag(bool SimulatorOptions::*field) {
  return [=](const std::string&, SimulatorOptions& options) { return options.*field = true; };
}

std::function<bool(const std::string&, SimulatorOptions&)> text(std::string SimulatorOptions::*field) {
  return [=](const std::string& value, SimulatorOptions& options) {
    options.*field = value;
    return !value.empty();
  };
}

const std::vector<Option>& optionTable() {
  static const std::vector<Option> table = {
      {"--baud", "N", "pace the line at N baud, 10 bits a byte, both ways (default 0: unpaced)",
       whole(&SimulatorOptions::baudRate, 0, 4000000)},
      {"--page-write-ms", "MS", "time a flash block takes to write before its CR (default 0)",
       millis(&SimulatorOptions::pageWriteMs)},
      {"--erase-ms", "MS", "time the chip erase takes before its CR (default 0)", millis(&SimulatorOptions::eraseMs)},
      {"--preamble-gap-ms", "MS", "pause that ends a command token after the preamble (default 20)",
       millis(&SimulatorOptions::preambleGapMs)},
      {"--block-size", "N", "block size reported by 'b', 0 allowed (default 128)",
       whole(&SimulatorOptions::blockSize, 0, 65535)},
      {"--block-mode-refused", nullptr, "answer 'b' with 'N', 0, 0", flag(&SimulatorOptions::blockModeRefused)},
      {"--flash-size", "N", "flash size in bytes (default 32768)", whole(&SimulatorOptions::flashSize, 2, 1 << 24)},
      {"--eeprom-size", "N", "EEPROM size in bytes (default 1024)", whole(&SimulatorOptions::eepromSize, 1, 1 << 16)},
      {"--ignore-first-p", "N", "leave the first N 'P' unanswered", whole(&SimulatorOptions::ignoreFirstP, 0, 1000000)},
      {"--drop-answer", "K", "leave the answer to the K-th command out (1 = first; repeatable)",
       [](const std::string& value, SimulatorOptions& options) {
         long long number;
         if (!toWhole(value, 1, 0x7FFFFFFF, number)) return false;
         options.dropAnswers.push_back(static_cast<long>(number));
         return true;
       }},
      {"--no-lf", nullptr, "answer the preamble commands without the final LF", flag(&SimulatorOptions::noLineFeed)},
      {"--late-ms", "MS", "send answers MS later", millis(&SimulatorOptions::lateMs)},
      {"--late-command", "K", "with --late-ms: only the K-th command's answer is late",
       whole(&SimulatorOptions::lateCommand, 1, 0x7FFFFFFF)},
      {"--corrupt-readback", "OFFSET[:VALUE]",
       "reads of flash byte OFFSET return VALUE (default: the byte inverted); the flash keeps its content",
       toCorruption},
      {"--never-answer", nullptr, "carry out commands but never answer", flag(&SimulatorOptions::neverAnswer)},
      {"--hangup-after", "N", "close the line after the N-th received byte and end",
       whole(&SimulatorOptions::hangupAfter, 1, 0x7FFFFFFF)},
      {"--garbage-before-answer", "N", "send N noise bytes (never CR or LF) in front of every answer",
       whole(&SimulatorOptions::garbageBeforeAnswer, 0, 1 << 20)},
      {"--extra-after-answer", "N", "send N noise bytes (never CR or LF) behind every answer",
       whole(&SimulatorOptions::extraAfterAnswer, 0, 1 << 20)},
      {"--noise-command", "K", "with the two above: only the K-th command's answer gets the noise",
       whole(&SimulatorOptions::noiseCommand, 1, 0x7FFFFFFF)},
      {"--split-answers", "MS", "write answers one byte at a time, MS between the bytes (0 allowed)",
       millis(&SimulatorOptions::splitAnswersMs)},
      {"--refuse-from", "ADDRESS", "refuse flash blocks that reach byte ADDRESS: answer 0x00, no CR, nothing written",
       [](const std::string& value, SimulatorOptions& options) {
         long long address;
         if (!toWhole(value, 0, 0x7FFFFFFF, address)) return false;
         options.refuseBlocks = true;
         options.refuseFrom = static_cast<std::size_t>(address);
         return true;
       }},
      {"--refuse-command", "K", "answer the K-th command with '?' alone, as firmware without it (repeatable)",
       [](const std::string& value, SimulatorOptions& options) {
         long long number;
         if (!toWhole(value, 1, 0x7FFFFFFF, number)) return false;
         options.refuseCommands.push_back(static_cast<long>(number));
         return true;
       }},
      {"--pending-block", "N", "start as if 'B' N 'F' had come and wait for its N data bytes (an odd N hangs)",
       whole(&SimulatorOptions::pendingBlock, 1, 65535)},
      {"--transcript", "FILE", "log every byte both ways: lines \"> XX ...\" (to the device), \"< XX ...\" (from it)",
       text(&SimulatorOptions::transcriptFile)},
      {"--dump-flash", "FILE", "write the flash contents raw to FILE at the end", text(&SimulatorOptions::dumpFlashFile)},
  };
  return table;
}

}  // namespace

bool parseOptions(const std::vector<std::string>& args, SimulatorOptions& options, bool& helpRequested,
                  std::string& error) {
  helpRequested = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool valueGiven = false;
    std::string::size_type equals = name.find('=');
    if (name.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
      valueGiven = true;
    }
    if (name == "--help" || name == "-h") {
      helpRequested = true;
      continue;
    }
    const Option* option = nullptr;
    for (const Option& candidate : optionTable()) {
      if (name == candidate.name) option = &candidate;
    }
    if (!option) {
      error = "unknown option " + args[i];
      return false;
    }
    if (option->value && !valueGiven) {
      if (i + 1 >= args.size()) {
        error = name + " needs a value " + option->value;
        return false;
      }
      value = args[++i];
    } else if (!option->value && valueGiven) {
      error = name + " takes no value";
      return false;
    }
    if (!option->apply(value, options)) {
      error = "bad value '" + value + "' for " + name;
      return false;
    }
  }
  return true;
}

std::string optionsHelp() {
  std::string help =
      "Usage: kalmo-sim [options]\n"
      "Simulates the programmer at the far end of a serial line on a new pseudo-terminal. Prints the\n"
      "terminal's path on the first line, then serves clients (who may open and close it any number of\n"
      "times) until SIGTERM or SIGINT, or until --hangup-after ends it.\n"
      "Numbers may be given as 0x... in hexadecimal; MS may have a fraction. Commands are counted\n"
      "from 1 in the order they come: each preamble command and each AVR109 command (ESC and stray\n"
      "bytes included).\n\n";
  for (const Option& option : optionTable()) {
    std::string left = std::string("  ") + option.name + (option.value ? std::string(" ") + option.value : "");
    if (left.size() < 32) left.resize(32, ' ');
    else left += "\n" + std::string(32, ' ');
    help += left + option.help + "\n";
  }
  help += "  --help                        this text\n";
  return help;
}

}  // namespace sim
