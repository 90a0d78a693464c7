#include <algorithm>

#include "emulator/commands/command.h"
#include "emulator/key_memory.h"

namespace flashwell::emulator::commands {

// Announces the data phase that follows. A read hands out what identify or a memory read
// request made ready, as many bytes as announced; a write makes the key take that many bytes
// on 0x02 for the command that comes after them.
Outcome transferSetup(Context& key, const KeyCommand& command) {
  const std::uint16_t length = command.setupLength();
  if (command.setupDirection() == 0) {
    key.announcedOut = length;
    key.received.clear();
    return Outcome::accept();
  }
  if (command.setupDirection() != 1) return Outcome::refuse("unknown transfer direction");
  switch (key.source) {
    case Context::Source::identity: {
      const auto id = identityAnswer(key);
      std::vector<std::uint8_t> bytes(id.begin(),
                                      id.begin() + std::min<std::size_t>(length, id.size()));
      key.staged = std::move(bytes);
      break;
    }
    case Context::Source::memory:
      key.staged = key.readMemory(key.readAddress, length);
      break;
    case Context::Source::none:
      return Outcome::refuse("read announced with nothing to read");
  }
  key.source = Context::Source::none;
  return Outcome::accept();
}

}  // namespace flashwell::emulator::commands
