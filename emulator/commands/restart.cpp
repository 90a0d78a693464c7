#include "emulator/commands/command.h"

namespace flashwell::emulator::commands {

// The key acknowledges, leaves the bus and comes back running the other program; the booter
// starts the firmware only when the firmware area holds a valid one.
Outcome restart(Context& key, const KeyCommand&) {
  if (key.image.program == KeyProgram::firmware) {
    key.restartInto = KeyProgram::booter;
  } else {
    key.restartInto =
        holdsValidFirmware(key.image.firmwareArea) ? KeyProgram::firmware : KeyProgram::booter;
  }
  return Outcome::accept();
}

}  // namespace flashwell::emulator::commands
