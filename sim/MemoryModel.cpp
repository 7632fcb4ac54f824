#include "sim/MemoryModel.h"

namespace sim {

bool MemoryModel::write(std::size_t address, const std::uint8_t* data, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (address + i >= cells.size()) return false;
    cells[address + i] = data[i];
  }
  return true;
}

}  // namespace sim
