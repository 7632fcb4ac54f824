#include "sim/ProgrammerDevice.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

const std::uint8_t preamble[] = {0xE6, 0xB5, 0xBA, 0xB9, 0xB2, 0xB3, 0xA9};
const std::size_t preambleLength = sizeof preamble;
const std::size_t maxTokenLength = 32;

// What the device reports about itself.
const char identifier[] = "KALMSIM";  // 'S': seven characters
const char softwareVersion[] = "10";
const char hardwareVersion[] = "10";
const std::uint8_t deviceCode = 0x74;
const std::uint8_t signature[] = {0x1E, 0x95, 0x0F};  // sent low byte first
const std::uint8_t lowFuse = 0xFF, highFuse = 0xDA, extendedFuse = 0xFD, lockBits = 0xFF;

const std::uint8_t cr = 0x0D;
const std::uint8_t escape = 0x1B;

// Line noise: no byte a client waits for (CR, LF), so that noise alone never completes an answer.
const std::uint8_t noise[] = {0xFF, 0x00, 0xAA, 0x55, '?', 'Z', 0x80, 0x7F};

std::vector<std::uint8_t> noiseBytes(std::size_t count) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < count; ++i) bytes.push_back(noise[i % sizeof noise]);
  return bytes;
}

std::size_t operandCount(std::uint8_t letter) {
  switch (letter) {
    case 'A': return 2;
    case 'H': case 'B': case 'g': return 3;
    case 'T': case 'x': case 'y': case 'l': case 'c': case 'C': case 'D': return 1;
    default: return 0;
  }
}

std::string hexByte(std::uint8_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

std::string printable(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  for (std::uint8_t byte : bytes) {
    if (byte > 0x20 && byte < 0x7F) {
      text += static_cast<char>(byte);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      text += escaped;
    }
  }
  return text;
}

ProgrammerDevice::Clock::duration millis(double ms) {
  return std::chrono::duration_cast<ProgrammerDevice::Clock::duration>(std::chrono::duration<double, std::milli>(ms));
}

}  // namespace

ProgrammerDevice::ProgrammerDevice(const SimulatorOptions& options)
    : options(options), pause(millis(options.preambleGapMs)), flashMemory(options.flashSize),
      eepromMemory(options.eepromSize) {
  // Left by a client that went away in the middle of a block: the header is in, the data is not.
  if (options.pendingBlock > 0) {
    letter = 'B';
    operands = {static_cast<std::uint8_t>(options.pendingBlock >> 8), static_cast<std::uint8_t>(options.pendingBlock),
                'F'};
    std::vector<Reply> none;
    blockHeader(Clock::now(), none);
  }
}

void ProgrammerDevice::loadFlash(std::size_t offset, const std::vector<std::uint8_t>& bytes) {
  flashMemory.write(offset, bytes.data(), bytes.size());
}

void ProgrammerDevice::receive(std::uint8_t byte, Clock::time_point at, std::vector<Reply>& replies) {
  if ((state == State::token || state == State::preamble) && at - lastPreambleByteAt > pause) {
    endPause(lastPreambleByteAt + pause, replies);
  }
  switch (state) {
    case State::token:
      token.push_back(byte);
      lastPreambleByteAt = at;
      if (token.size() >= maxTokenLength) finishToken(at, replies);
      return;
    case State::operands:
      operands.push_back(byte);
      if (operands.size() == operandsNeeded) finishOperands(at, replies);
      return;
    case State::blockData:
      block.push_back(byte);
      if (block.size() == blockCount) blockLoad(at, replies);
      return;
    case State::hung:
      return;
    case State::preamble:
      if (byte == preamble[preambleMatched]) {
        lastPreambleByteAt = at;
        if (++preambleMatched == preambleLength) {
          state = State::token;
          token.clear();
        }
        return;
      }
      // Not the preamble after all: the bytes taken for it were stray bytes of their own.
      endPause(at, replies);
      break;
    case State::command:
      break;
  }
  startCommand(byte, at, replies);
}

bool ProgrammerDevice::pauseDeadline(Clock::time_point& deadline) const {
  if (state != State::token && state != State::preamble) return false;
  deadline = lastPreambleByteAt + pause;
  return true;
}

void ProgrammerDevice::expire(Clock::time_point now, std::vector<Reply>& replies) {
  Clock::time_point deadline;
  if (pauseDeadline(deadline) && now >= deadline) endPause(deadline, replies);
}

void ProgrammerDevice::endPause(Clock::time_point at, std::vector<Reply>& replies) {
  if (state == State::token) {
    finishToken(at, replies);
    return;
  }
  std::size_t taken = preambleMatched;
  state = State::command;
  preambleMatched = 0;
  for (std::size_t i = 0; i < taken; ++i) execute(preamble[i], at, replies);
}

void ProgrammerDevice::startCommand(std::uint8_t byte, Clock::time_point at, std::vector<Reply>& replies) {
  if (byte == preamble[0]) {
    state = State::preamble;
    preambleMatched = 1;
    lastPreambleByteAt = at;
    return;
  }
  std::size_t needed = operandCount(byte);
  if (needed > 0) {
    letter = byte;
    operands.clear();
    operandsNeeded = needed;
    state = State::operands;
    return;
  }
  execute(byte, at, replies);
}

void ProgrammerDevice::finishToken(Clock::time_point at, std::vector<Reply>& replies) {
  state = State::command;
  preambleMatched = 0;
  take("cmd:" + printable(token));
  bool known = true;
  switch (token.empty() ? 0 : token[0]) {
    case 'p': case 'd': case 'q': case 'm': deviceStatus.mode = static_cast<char>(token[0]); break;
    case '+': deviceStatus.targetPowered = true; break;
    case '-': deviceStatus.targetPowered = false; break;
    case 'r': ++deviceStatus.resets; break;
    default: known = false; break;
  }
  std::string line = known ? "OK" : "ERR";
  if (!options.noLineFeed) line += '\n';
  answer(std::vector<std::uint8_t>(line.begin(), line.end()), at, replies);
}

void ProgrammerDevice::finishOperands(Clock::time_point at, std::vector<Reply>& replies) {
  state = State::command;
  if (letter == 'B') {
    blockHeader(at, replies);
    return;
  }
  if (letter == 'g') {
    blockRead(at, replies);
    return;
  }
  execute(letter, at, replies);
}

void ProgrammerDevice::blockHeader(Clock::time_point at, std::vector<Reply>& replies) {
  blockCount = (static_cast<std::size_t>(operands[0]) << 8) | operands[1];
  block.clear();
  const char memoryType = static_cast<char>(operands[2]);
  if (memoryType != 'F' && memoryType != 'E') {
    take("B " + std::to_string(blockCount) + " " + std::string(1, memoryType));
    answer({'?'}, at, replies);
    return;
  }
  if (memoryType == 'F' && blockCount % 2 != 0) {
    take("B " + std::to_string(blockCount) + " F");
    state = State::hung;
    deviceStatus.hung = true;
    return;
  }
  if (blockCount == 0) {
    blockLoad(at, replies);
    return;
  }
  state = State::blockData;
  deviceStatus.blockPending = true;
}

// A block into the protected range, from refuseFrom on: the bootloader's own section.
bool ProgrammerDevice::refusedBlock() const {
  return options.refuseBlocks && deviceStatus.address * 2 + blockCount > options.refuseFrom;
}

void ProgrammerDevice::blockLoad(Clock::time_point at, std::vector<Reply>& replies) {
  state = State::command;
  deviceStatus.blockPending = false;
  char memoryType = static_cast<char>(operands[2]);
  take("B " + std::to_string(blockCount) + " " + std::string(1, memoryType));
  std::vector<std::uint8_t> done = {cr};
  if (memoryType == 'F' && refusedBlock()) {
    // Nothing is written, and the refusal is all the answer: no CR follows it.
    done = {0x00};
  } else if (memoryType == 'F') {
    if (!flashMemory.write(deviceStatus.address * 2, block.data(), block.size())) done = {'?'};
    deviceStatus.address += blockCount / 2;
    at += millis(options.pageWriteMs);
  } else {
    if (!eepromMemory.write(deviceStatus.address, block.data(), block.size())) done = {'?'};
    deviceStatus.address += blockCount;
  }
  answer(done, at, replies);
}

void ProgrammerDevice::blockRead(Clock::time_point at, std::vector<Reply>& replies) {
  std::size_t count = (static_cast<std::size_t>(operands[0]) << 8) | operands[1];
  char memoryType = static_cast<char>(operands[2]);
  take("g " + std::to_string(count) + " " + std::string(1, memoryType));
  std::vector<std::uint8_t> bytes;
  if (memoryType == 'F') {
    for (std::size_t i = 0; i < count; ++i) bytes.push_back(readFlash(deviceStatus.address * 2 + i));
    deviceStatus.address += (count + 1) / 2;
  } else if (memoryType == 'E') {
    for (std::size_t i = 0; i < count; ++i) bytes.push_back(eepromMemory.read(deviceStatus.address + i));
    deviceStatus.address += count;
  } else {
    bytes = {'?'};
  }
  answer(bytes, at, replies);
}

std::uint8_t ProgrammerDevice::readFlash(std::size_t byteAddress) const {
  std::uint8_t value = flashMemory.read(byteAddress);
  if (!options.corruptReadback || byteAddress != options.corruptOffset) return value;
  return options.corruptValue < 0 ? static_cast<std::uint8_t>(~value) : static_cast<std::uint8_t>(options.corruptValue);
}

void ProgrammerDevice::execute(std::uint8_t command, Clock::time_point at, std::vector<Reply>& replies) {
  unsigned long& address = deviceStatus.address;
  std::string name(1, static_cast<char>(command));
  std::vector<std::uint8_t> reply = {cr};
  switch (command) {
    case 'P':
      take(name);
      if (ignoredP < options.ignoreFirstP) {
        ++ignoredP;
        return;
      }
      deviceStatus.programming = true;
      break;
    case 'L':
      take(name);
      deviceStatus.programming = false;
      break;
    case 'E':
      take(name);
      deviceStatus.bootloaderExited = true;
      break;
    case 'b':
      take(name);
      if (options.blockModeRefused) {
        reply = {'N', 0, 0};
      } else {
        reply = {'Y', static_cast<std::uint8_t>(options.blockSize >> 8), static_cast<std::uint8_t>(options.blockSize)};
      }
      break;
    case 'e':
      take(name);
      flashMemory.erase();
      at += millis(options.eraseMs);
      break;
    case 'A':
      address = (static_cast<unsigned long>(operands[0]) << 8) | operands[1];
      take("A " + std::to_string(address));
      break;
    case 'H':
      address = (static_cast<unsigned long>(operands[0]) << 16) | (static_cast<unsigned long>(operands[1]) << 8) |
                operands[2];
      take("H " + std::to_string(address));
      break;
    case 'T': case 'x': case 'y': case 'l':
      take(name + " " + hexByte(operands[0]));
      break;
    case 'c':  // low byte of the word at the address
      take(name + " " + hexByte(operands[0]));
      flashMemory.write(address * 2, &operands[0], 1);
      break;
    case 'C':  // high byte, then on to the next word
      take(name + " " + hexByte(operands[0]));
      flashMemory.write(address * 2 + 1, &operands[0], 1);
      ++address;
      break;
    case 'm':  // page write: the bytes are in place already
      take(name);
      at += millis(options.pageWriteMs);
      break;
    case 'D':
      take(name + " " + hexByte(operands[0]));
      eepromMemory.write(address, &operands[0], 1);
      ++address;
      break;
    case 'R':
      take(name);
      reply = {readFlash(address * 2 + 1), readFlash(address * 2)};
      ++address;
      break;
    case 'd':
      take(name);
      reply = {eepromMemory.read(address)};
      ++address;
      break;
    case 'S': take(name); reply.assign(identifier, identifier + 7); break;
    case 'V': take(name); reply.assign(softwareVersion, softwareVersion + 2); break;
    case 'v': take(name); reply.assign(hardwareVersion, hardwareVersion + 2); break;
    case 'p': take(name); reply = {'S'}; break;
    case 'a': take(name); reply = {'Y'}; break;
    case 't': take(name); reply = {deviceCode, 0}; break;
    case 's': take(name); reply = {signature[2], signature[1], signature[0]}; break;
    case 'F': take(name); reply = {lowFuse}; break;
    case 'N': take(name); reply = {highFuse}; break;
    case 'Q': take(name); reply = {extendedFuse}; break;
    case 'r': take(name); reply = {lockBits}; break;
    case escape:
      take("ESC");
      return;
    default:
      take("? " + hexByte(command));
      reply = {'?'};
      break;
  }
  answer(reply, at, replies);
}

void ProgrammerDevice::take(const std::string& description) {
  ++deviceStatus.commands;
  log.push_back(description);
}

void ProgrammerDevice::answer(std::vector<std::uint8_t> bytes, Clock::time_point at, std::vector<Reply>& replies) {
  long number = deviceStatus.commands;
  if (options.neverAnswer) return;
  if (std::find(options.dropAnswers.begin(), options.dropAnswers.end(), number) != options.dropAnswers.end()) return;
  if (std::find(options.refuseCommands.begin(), options.refuseCommands.end(), number) != options.refuseCommands.end()) {
    bytes = {'?'};
  }
  if (options.lateMs > 0 && (options.lateCommand == 0 || options.lateCommand == number)) at += millis(options.lateMs);
  if (options.noiseCommand == 0 || options.noiseCommand == number) {
    std::vector<std::uint8_t> noisy = noiseBytes(options.garbageBeforeAnswer);
    noisy.insert(noisy.end(), bytes.begin(), bytes.end());
    std::vector<std::uint8_t> extra = noiseBytes(options.extraAfterAnswer);
    noisy.insert(noisy.end(), extra.begin(), extra.end());
    bytes.swap(noisy);
  }
  replies.push_back({std::move(bytes), at, number, log.empty() ? std::string() : log.back()});
}

}  // namespace sim
