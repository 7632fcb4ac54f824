#include "sim/Transcript.h"

namespace sim {

namespace {

const char hexDigits[] = "0123456789ABCDEF";

void appendHex(std::string& text, std::uint8_t byte) {
  text += hexDigits[byte >> 4];
  text += hexDigits[byte & 0x0F];
}

char marker(Direction direction) { return direction == Direction::toDevice ? '>' : '<'; }

}  // namespace

bool Transcript::openFile(const std::string& path) {
  file.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
  fileLineOpen = false;
  return file.is_open();
}

void Transcript::closeFile() {
  if (!file.is_open()) return;
  if (fileLineOpen) file << '\n';
  fileLineOpen = false;
  file.close();
}

void Transcript::add(Direction direction, const std::uint8_t* data, std::size_t count) {
  if (count == 0) return;
  if (entries.empty() || entries.back().direction != direction) entries.push_back({direction, {}});
  entries.back().bytes.insert(entries.back().bytes.end(), data, data + count);

  if (!file.is_open()) return;
  std::string text;
  if (!fileLineOpen || fileDirection != direction) {
    if (fileLineOpen) text += '\n';
    text += marker(direction);
    fileLineOpen = true;
    fileDirection = direction;
  }
  for (std::size_t i = 0; i < count; ++i) {
    text += ' ';
    appendHex(text, data[i]);
  }
  file << text;
  file.flush();
}

std::vector<std::uint8_t> Transcript::bytes(Direction direction) const {
  std::vector<std::uint8_t> all;
  for (const TranscriptEntry& entry : entries) {
    if (entry.direction == direction) all.insert(all.end(), entry.bytes.begin(), entry.bytes.end());
  }
  return all;
}

std::string Transcript::format(const std::vector<TranscriptEntry>& runs) {
  std::string text;
  for (const TranscriptEntry& entry : runs) {
    text += marker(entry.direction);
    for (std::uint8_t byte : entry.bytes) {
      text += ' ';
      appendHex(text, byte);
    }
    text += '\n';
  }
  return text;
}

}  // namespace sim
