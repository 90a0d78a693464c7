#include "emulator/commands/command.h"

namespace flashwell::emulator::commands {

// Writes the 4096 bytes sent just before into one 4 KiB block of the firmware area. Flash can
// only clear bits: the block then holds the old bytes AND the new ones. The block must lie in
// the firmware area; the booter protects itself and everything else.
Outcome programBlock(Context& key, const KeyCommand& command) {
  const auto block = key.takeReceived(kFlashBlockSize);
  if (key.image.program != KeyProgram::booter) {
    return Outcome::refuse("the firmware does not program flash");
  }
  if (!block) return Outcome::refuse("program without the 4096 bytes sent before");
  const std::uint32_t address = command.flashAddress();
  if (command.flashCount() != kFlashBlockSize / 2) return Outcome::refuse("count is not 2048");
  if (address % kFlashBlockSize != 0 || address < kFirmwareAreaStart ||
      address - kFirmwareAreaStart + kFlashBlockSize > kFirmwareAreaSize) {
    return Outcome::refuse("block outside the firmware area");
  }
  const std::size_t offset = address - kFirmwareAreaStart;
  for (std::size_t i = 0; i < kFlashBlockSize; ++i) {
    key.image.firmwareArea[offset + i] &= (*block)[i];
  }
  return Outcome::accept();
}

}  // namespace flashwell::emulator::commands
