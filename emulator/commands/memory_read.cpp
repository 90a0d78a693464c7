#include "emulator/commands/command.h"

namespace flashwell::emulator::commands {

// Points the next read at an address. The bytes go out after an announced read on 0x82, or
// without announcement as the 16-byte report of the interrupt endpoint 0x81.
Outcome memoryRead(Context& key, const KeyCommand& command) {
  key.source = Context::Source::memory;
  key.readAddress = command.shortAddress();
  key.staged.reset();
  return Outcome::accept();
}

}  // namespace flashwell::emulator::commands
