// A byte-addressed memory of the simulated target (flash or EEPROM): erased cells read 0xFF, a
// write overwrites. Accesses beyond the end write nothing and read 0xFF.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

class MemoryModel {
 public:
  explicit MemoryModel(std::size_t size) : cells(size, 0xFF) {}

  std::size_t size() const { return cells.size(); }
  void erase() { cells.assign(cells.size(), 0xFF); }

  // Writes what fits; false when part of the range lies beyond the end.
  bool write(std::size_t address, const std::uint8_t* data, std::size_t count);

  std::uint8_t read(std::size_t address) const { return address < cells.size() ? cells[address] : 0xFF; }
  const std::vector<std::uint8_t>& contents() const { return cells; }

 private:
  std::vector<std::uint8_t> cells;
};

}  // namespace sim
