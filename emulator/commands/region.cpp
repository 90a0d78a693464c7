#include <algorithm>

#include "emulator/commands/command.h"

namespace flashwell::emulator::commands {

// The firmware keeps the logger's components in regions of its external flash. Opening a
// region (second parameter 0xFFFF) erases it; each commit then writes the 2048 bytes sent just
// before as block `index` of `count`. The booter has no region service.
Outcome region(Context& key, const KeyCommand& command) {
  const std::uint16_t code = command.parameter(1);
  const std::uint16_t second = command.parameter(2);
  const bool open = second == 0xFFFF;
  const auto block = open ? std::nullopt : key.takeReceived(kRegionBlockSize);
  if (key.image.program != KeyProgram::firmware) {
    return Outcome::refuse("the booter has no regions");
  }
  const auto found = key.image.regions.find(code);
  if (found == key.image.regions.end()) return Outcome::refuse("unknown region code");
  std::vector<std::uint8_t>& storage = found->second;
  if (open) {
    std::fill(storage.begin(), storage.end(), 0xFF);
    key.openRegions.insert(code);
    return Outcome::accept();
  }
  const std::uint16_t index = command.parameter(3);
  const std::uint16_t count = command.parameter(4);
  if (!key.openRegions.contains(code)) return Outcome::refuse("commit to a region not opened");
  if (index >= count) return Outcome::refuse("block index not below the block count");
  if (!block) return Outcome::refuse("commit without the 2048 bytes sent before");
  const std::size_t offset = static_cast<std::size_t>(index) * kRegionBlockSize;
  if (offset + kRegionBlockSize > storage.size()) return Outcome::refuse("block past the region");
  std::copy(block->begin(), block->end(), storage.begin() + static_cast<std::ptrdiff_t>(offset));
  return Outcome::accept();
}

}  // namespace flashwell::emulator::commands
