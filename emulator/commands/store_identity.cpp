#include <algorithm>

#include "emulator/commands/command.h"

namespace flashwell::emulator::commands {

// Takes the 128-byte identity sent just before and keeps its bytes 48-127 as the first 80
// bytes of configuration memory.
Outcome storeIdentity(Context& key, const KeyCommand&) {
  const auto block = key.takeReceived(kIdentitySize);
  if (!block) return Outcome::refuse("store identity without the 128 bytes sent before");
  std::copy_n(block->begin() + kIdentityConfigurationOffset, kConfigurationInIdentity,
              key.image.configuration.begin());
  return Outcome::accept();
}

}  // namespace flashwell::emulator::commands
