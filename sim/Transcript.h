// Every byte that crossed the line, both ways, in the order the simulator handled them. As text,
// each run of bytes in one direction is one line: "> " for bytes from the client to the device,
// "< " for the device's answers, then the bytes as two-digit upper-case hex separated by spaces:
//   > E6 B5 BA B9 B2 B3 A9 70
//   < 4F 4B 0A
// A transcript file grows as the bytes come and go (flushed each time), so it can be read while
// the simulator runs; its last line ends once the direction changes or the file is closed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace sim {

enum class Direction { toDevice, fromDevice };

struct TranscriptEntry {
  Direction direction;
  std::vector<std::uint8_t> bytes;
};

class Transcript {
 public:
  bool openFile(const std::string& path);
  void closeFile();

  void add(Direction direction, const std::uint8_t* data, std::size_t count);

  // Forgets what was recorded so far (the file keeps everything).
  void clear() { entries.clear(); }

  const std::vector<TranscriptEntry>& runs() const { return entries; }
  std::vector<std::uint8_t> bytes(Direction direction) const;
  std::string text() const { return format(entries); }

  static std::string format(const std::vector<TranscriptEntry>& runs);

 private:
  std::vector<TranscriptEntry> entries;
  std::ofstream file;
  bool fileLineOpen = false;
  Direction fileDirection = Direction::toDevice;
};

}  // namespace sim
