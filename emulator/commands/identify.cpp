#include "emulator/commands/command.h"

namespace flashwell::emulator::commands {

// Makes the identity ready for the next announced read. Both programs answer it.
Outcome identify(Context& key, const KeyCommand&) {
  key.source = Context::Source::identity;
  key.staged.reset();
  return Outcome::accept();
}

}  // namespace flashwell::emulator::commands
