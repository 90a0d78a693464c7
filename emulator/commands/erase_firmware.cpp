#include <algorithm>

#include "emulator/commands/command.h"

namespace flashwell::emulator::commands {

// Only the booter may erase the firmware area: the running firmware cannot erase itself.
Outcome eraseFirmware(Context& key, const KeyCommand&) {
  if (key.image.program != KeyProgram::booter) {
    return Outcome::refuse("the firmware does not erase its own area");
  }
  std::fill(key.image.firmwareArea.begin(), key.image.firmwareArea.end(), 0xFF);
  return Outcome::accept(key.timing.firmwareEraseMs);
}

}  // namespace flashwell::emulator::commands
