// The programmer's firmware as a client on the serial line sees it, without the line itself:
// - the command preamble E6 B5 BA B9 B2 B3 A9 followed by a token, answered with a line ("OK\n",
//   or "ERR\n" for an empty or unknown token). The token is every byte that follows the preamble
//   until a pause of preambleGapMs (at most 32 bytes); its first byte is the command (p, d, q, m:
//   mode; +, -: target supply; r: reset). A preamble with nothing after it is the empty token.
// - the AVR109 bootloader commands, answered as AVR109 does ('?' for an unknown command). Flash is
//   addressed in words: 'A' sets a word address, and a block of n bytes ('B'/'g' with type 'F')
//   covers n bytes from byte address 2 * address on and advances the address by n / 2 rounded up.
//   EEPROM (type 'E') is addressed in bytes. A block load of another memory type is answered '?'
//   at once, without data. A flash block of an odd size hangs the device as it hangs real firmware,
//   whose page-fill loop takes two bytes a turn and so never counts down to zero: from its header
//   on every byte is taken as fill data and nothing is answered any more, until the simulator is
//   started again (the device's reset).
// Bytes come in with the time they arrived; answers go out with the earliest time they may be
// sent, so that the caller models the line. The faults of the options are applied here, except the
// splitting of answers, which is the line's.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/MemoryModel.h"
#include "sim/SimulatorOptions.h"

namespace sim {

// What the commands so far have done to the programmer.
struct DeviceStatus {
  char mode = 0;                  // first byte of the last mode token ('p', 'd', 'q', 'm'); 0 before any
  bool targetPowered = false;     // after "+", until "-"
  int resets = 0;                 // "r" tokens so far
  bool programming = false;       // after an answered 'P', until 'L'
  bool bootloaderExited = false;  // after 'E'
  long commands = 0;              // commands taken so far, the number the faults count with
  unsigned long address = 0;      // the current address (words for flash)
  bool hung = false;              // an odd flash block has trapped the device in its fill loop
  bool blockPending = false;      // a block load waits for its data bytes
};

class ProgrammerDevice {
 public:
  using Clock = std::chrono::steady_clock;

  struct Reply {
    std::vector<std::uint8_t> bytes;
    Clock::time_point notBefore;  // the answer may go out from this moment on
    long command = 0;             // the number of the command answered (counted from 1)
    std::string commandText;      // that command as the command log writes it
  };

  explicit ProgrammerDevice(const SimulatorOptions& options);

  // Takes one byte that arrived at the given time; answers it may complete go to replies.
  void receive(std::uint8_t byte, Clock::time_point at, std::vector<Reply>& replies);

  // While a token (or a started preamble) waits for its pause: the moment that pause is over.
  bool pauseDeadline(Clock::time_point& deadline) const;

  // Ends a token whose pause is over by now.
  void expire(Clock::time_point now, std::vector<Reply>& replies);

  const MemoryModel& flash() const { return flashMemory; }
  const MemoryModel& eeprom() const { return eepromMemory; }
  void loadFlash(std::size_t offset, const std::vector<std::uint8_t>& bytes);

  // One text per command taken, in order: "cmd:" + token for a preamble command ("cmd:p", "cmd:"
  // for the empty token; bytes outside 0x21..0x7E as \xNN); the AVR109 letter alone ("P", "b",
  // "e", "L", ...), with its operands where it has some: "A 0" and "H 65536" (address, decimal),
  // "B 128 F" and "g 44 F" (count decimal, memory type), "T 0x74", "x 0x00" (one byte, hex);
  // "ESC" for 0x1B and "? 0xNN" for a byte that is no command.
  const std::vector<std::string>& commandLog() const { return log; }
  void clearCommandLog() { log.clear(); }

  DeviceStatus status() const { return deviceStatus; }

 private:
  enum class State { command, preamble, token, operands, blockData, hung };

  void startCommand(std::uint8_t byte, Clock::time_point at, std::vector<Reply>& replies);
  void endPause(Clock::time_point at, std::vector<Reply>& replies);
  void finishToken(Clock::time_point at, std::vector<Reply>& replies);
  void finishOperands(Clock::time_point at, std::vector<Reply>& replies);
  void execute(std::uint8_t letter, Clock::time_point at, std::vector<Reply>& replies);
  void blockHeader(Clock::time_point at, std::vector<Reply>& replies);
  void blockLoad(Clock::time_point at, std::vector<Reply>& replies);
  bool refusedBlock() const;
  void blockRead(Clock::time_point at, std::vector<Reply>& replies);
  std::uint8_t readFlash(std::size_t byteAddress) const;
  void take(const std::string& description);
  void answer(std::vector<std::uint8_t> bytes, Clock::time_point at, std::vector<Reply>& replies);

  SimulatorOptions options;
  Clock::duration pause;
  MemoryModel flashMemory;
  MemoryModel eepromMemory;
  DeviceStatus deviceStatus;
  std::vector<std::string> log;
  int ignoredP = 0;

  State state = State::command;
  std::size_t preambleMatched = 0;
  std::vector<std::uint8_t> token;
  Clock::time_point lastPreambleByteAt;
  std::uint8_t letter = 0;
  std::vector<std::uint8_t> operands;
  std::size_t operandsNeeded = 0;
  std::vector<std::uint8_t> block;
  std::size_t blockCount = 0;
};

}  // namespace sim
