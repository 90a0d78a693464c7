#pragma once

// Components with valid headers for the virtual key's own sample data: the older firmware and
// stored components that a key has before it is upgraded.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace flashwell::emulator {

struct ComponentSpec {
  std::uint8_t code;         // component code: payload byte 0x1D, or 0x1E for a booter
  bool booterStyle = false;  // a booter's header (0xFF fillers, byte 0x0B = 2)
  std::uint8_t major = 0x01, minor = 0x00, patch = 0x00;  // BCD
  std::uint8_t day = 0x01, month = 0x01, year = 0x19;     // BCD; the century is 0x20
  std::size_t payloadBytes = 0x1000;                      // even
  std::uint32_t seed = 1;                                 // of the filler bytes
};

// A 16-byte header and its payload; the checksum holds over the whole payload.
std::vector<std::uint8_t> makeComponent(const ComponentSpec& recipe);

}  // namespace flashwell::emulator
