#include "emulator/commands/command.h"

namespace flashwell::emulator::commands {

namespace {
// The firmware clears the whole external flash: every region and the logged data with them.
Outcome eraseExternalFlash(Context& key) {
  if (key.image.program != KeyProgram::firmware) {
    return Outcome::refuse("the booter does not erase the external flash");
  }
  key.image.regions = KeyImage::erasedRegions();
  key.openRegions.clear();
  return Outcome::accept(key.timing.dataEraseMs);
}
}  // namespace

// Each kind of key knows only its own form of the command.
Outcome dataEraseLong(Context& key, const KeyCommand&) {
  if (!key.largePacket()) return Outcome::refuse("a small-packet key erases with 14, 18");
  return eraseExternalFlash(key);
}

Outcome dataEraseShort(Context& key, const KeyCommand&) {
  if (key.largePacket()) return Outcome::refuse("a large-packet key erases with 13, 7");
  return eraseExternalFlash(key);
}

}  // namespace flashwell::emulator::commands
