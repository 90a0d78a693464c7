#pragma once

// The key's memory as its reads see it, and the identity it answers with.

#include <array>
#include <cstdint>

#include "emulator/virtual_key.h"

namespace flashwell::emulator {

// Internal addresses: the firmware area, the family's window onto its first 256 bytes, the
// booter's copy of identity bytes 0-47 just below the configuration memory, and the
// configuration memory; 0xFF anywhere else. With kExternalFlashBit: the region whose window
// starts nearest at or below the address, 0xFF past its storage or below every window.
std::uint8_t memoryByte(const VirtualKey::Context& key, std::uint32_t address);

// The identify answer: the key's own record, with the running firmware's date (20-23) and
// version (26, 27 and patch byte 25) from the firmware area's header, the program at 28-29 and
// the first 80 bytes of configuration memory at 48-127. The booter of a large-packet key leaves
// 4-7, 16-19, 32-33 and 40-43 at 0xFF: the host reads them from the booter's copy instead
// (except in family 19, which the host asks for no memory).
std::array<std::uint8_t, kIdentitySize> identityAnswer(const VirtualKey::Context& key);

}  // namespace flashwell::emulator
