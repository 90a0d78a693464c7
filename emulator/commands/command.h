#pragma once

// One vendor command as the key receives it, its parameters unpacked, and the handlers that
// carry the commands out: one function per code and sub-command, found through one table.

#include <cstdint>
#include <span>
#include <string>

#include "emulator/virtual_key.h"

namespace flashwell::emulator::commands {

struct KeyCommand {
  std::uint8_t code = 0;
  std::uint16_t wIndex = 0;
  std::span<const std::uint8_t> payload;

  std::uint8_t sub() const { return payload.empty() ? 0 : payload[0]; }
  // 12: the announced transfer.
  std::uint32_t setupAddress() const;
  std::uint16_t setupLength() const;
  std::uint8_t setupDirection() const;  // 1 = the host reads next
  // 13: parameters 1 to 4.
  std::uint16_t parameter(int number) const;
  // 14: 32-bit address (bits 16-31 from wIndex), 16-bit length, value byte.
  std::uint32_t shortAddress() const;
  std::uint16_t shortLength() const;
  // 15: 24-bit flash address and 16-bit count.
  std::uint32_t flashAddress() const;
  std::uint16_t flashCount() const;
};

struct Outcome {
  bool accepted = false;
  std::uint32_t busyMs = 0;  // on top of the command's own transfer time
  std::string refusal;

  static Outcome accept(std::uint32_t busyMs = 0) { return {true, busyMs, {}}; }
  static Outcome refuse(std::string why) { return {false, 0, std::move(why)}; }
};

using Context = VirtualKey::Context;
using Handler = Outcome (*)(Context&, const KeyCommand&);

// The handler for a code and sub-command; nullptr for a command the key does not know.
Handler findHandler(std::uint8_t code, std::uint8_t sub);

// The frame rules: request type 0x40, wValue 0, wLength 6 (9 for code 13), wIndex 0x0471 for
// codes 12 and 15 and 0 for code 13. Empty when the frame is right, else what is wrong.
std::string frameFault(std::span<const std::uint8_t, 8> setup, std::size_t payloadLength);

Outcome transferSetup(Context& key, const KeyCommand& command);
Outcome identify(Context& key, const KeyCommand& command);
Outcome memoryRead(Context& key, const KeyCommand& command);
Outcome storeIdentity(Context& key, const KeyCommand& command);
Outcome restart(Context& key, const KeyCommand& command);
Outcome eraseFirmware(Context& key, const KeyCommand& command);
Outcome programBlock(Context& key, const KeyCommand& command);
Outcome region(Context& key, const KeyCommand& command);
Outcome dataEraseLong(Context& key, const KeyCommand& command);
Outcome dataEraseShort(Context& key, const KeyCommand& command);

}  // namespace flashwell::emulator::commands
