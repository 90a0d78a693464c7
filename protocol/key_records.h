#pragma once

// The plain records that the worker fills and the catalogue reads: a region record of the
// package, the version of a component stored on the key, the key's identity. They are all the
// catalogue may see of the protocol layer; the build gives it this header and no other.

#include <array>
#include <cstddef>
#include <cstdint>

#include "usb/bytes.h"

namespace flashwell::protocol {

// A plain 24-byte copy of a region record of the package.
struct RegionSlot {
  std::array<std::uint8_t, 24> bytes{};

  std::uint16_t group() const { return usb::le16(bytes, 0); }
  std::uint16_t code() const { return usb::le16(bytes, 2); }
  std::uint32_t imageOffset() const { return usb::le32(bytes, 4); }
  std::uint32_t length() const { return usb::le32(bytes, 8); }
  std::uint32_t minAddress() const { return usb::le32(bytes, 12); }
  std::uint32_t maxAddress() const { return usb::le32(bytes, 16); }
  // Bytes 20-23 are carried with the record and never read.
};

// Version and date of one component stored on the key.
struct ComponentVersion {
  std::uint8_t major = 0;
  std::uint8_t minor = 0;
  std::uint8_t patch = 0;
  std::uint8_t day = 0;
  std::uint8_t month = 0;
  std::uint8_t century = 0;
  std::uint8_t year = 0;
};

using KeyIdentity = std::array<std::uint8_t, 128>;

// The program the key runs, identity bytes 28-29: 16 its booter, 51 (0x33) its firmware.
inline constexpr std::uint16_t kProgramBooter = 16;
inline constexpr std::uint16_t kProgramFirmware = 51;
inline std::uint16_t programCode(const KeyIdentity& identity) {
  return usb::le16(identity, 28);
}

// Offset of the flash image inside the package.
inline constexpr std::size_t kFlashImageOffset = 0x300;
inline constexpr std::size_t kFlashImageSize = 0x100000;

}  // namespace flashwell::protocol
