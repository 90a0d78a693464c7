#pragma once

// The seven components that the region writer sends, in the order of writing. The region codes
// and byte counts are fixed here and not taken from the slot records: the ZUNIT count is shorter
// than its region, the LAMBDA count longer (its last eight blocks carry the image bytes that
// follow it), and the Lps4 EXP region is addressed as 0x0640.

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/key_records.h"

namespace flashwell::protocol {

struct ComponentRow {
  std::uint8_t phase;        // regionsDone while the row is written
  std::uint8_t slot;         // region slot of the request block
  std::uint16_t regionCode;  // the key's name for the region
  std::size_t codeByteAt;    // header byte that holds the component code
  std::uint32_t byteCount;   // bytes sent
};

inline constexpr std::array<ComponentRow, 7> kComponentTable{{
    {25, 6, 0x0515, kBooterComponentCode, 0x4000},  // booter
    {20, 1, 0x0631, kComponentCode, 0x1C000},       // LAPSTER4 firmware
    {21, 2, 0x0634, kComponentCode, 0x10000},       // languages
    {22, 3, 0x0632, kComponentCode, 0x18000},       // ZUNIT
    {23, 4, 0x0225, kComponentCode, 0x10000},       // LAMBDA
    {24, 5, 0x0635, kComponentCode, 0x10000},       // GPS
    {26, 7, 0x0640, kComponentCode, 0xC000},        // Lps4 EXP
}};

inline constexpr std::uint32_t kRegionBlockSize = 2048;
inline constexpr std::uint32_t kFirmwareBlockSize = 4096;
inline constexpr std::uint32_t kMaxFirmwareLength = 0x1C000;
inline constexpr std::uint8_t kKeyFirmwareCode = 0x33;  // '3', the key firmware's kComponentCode

}  // namespace flashwell::protocol
