#pragma once

// The plain records that the worker fills and the catalogue reads: a region record of the
// package, the header that starts every component (in the package and on the key alike), the
// version of a component stored on the key, the key's identity. They are all the catalogue may
// see of the protocol layer; the build gives it this header and no other. Every byte of these
// layouts that the program reads or writes is named here once.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

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

  bool operator==(const ComponentVersion&) const = default;
};

// The header that starts every component region and the payload bytes after it that name and
// version the component, as offsets from the region's first byte.
inline constexpr std::size_t kComponentHeaderSize = 16;  // the payload words start here
inline constexpr std::size_t kWordCount = 0x00;          // u32: payload words under the checksum
inline constexpr std::size_t kChecksum = 0x04;           // u16: wrap-around sum of those words
inline constexpr std::size_t kPolicyMark = 0x07;         // kPassOnAlways: passed on in any case
inline constexpr std::size_t kBooterMarker = 0x0B;       // kBooterMarkerValue in a booter's header
inline constexpr std::size_t kReleaseDate = 0x0C;        // day, month, century, year (BCD)
inline constexpr std::size_t kComponentCode = 0x1D;      // the low byte of the region's code
inline constexpr std::size_t kBooterComponentCode = 0x1E;  // the same in a booter's header
inline constexpr std::size_t kVersionMajor = 0x1E;         // BCD
inline constexpr std::size_t kVersionMinor = 0x1F;         // BCD
inline constexpr std::size_t kVersionPatch = 0x20;         // free; 0x00 or 0x20 when there is none
inline constexpr std::size_t kComponentBytesRead = kVersionPatch + 1;

inline constexpr std::uint8_t kBooterMarkerValue = 2;
// What the policy mark tells the key: pass the component on when it is newer (as the package
// stores it; a booter-type header holds 0xFF), or in any case (the region writer's mark under
// "Always"). The key reports the mark of its first stored component back.
inline constexpr std::uint8_t kPassOnWhenNewer = 0;
inline constexpr std::uint8_t kPassOnAlways = 1;

// Reads the header at the start of a region; a byte the region does not hold reads as 0.
class ComponentHeader {
 public:
  explicit ComponentHeader(std::span<const std::uint8_t> region) : bytes_(region) {}

  // Whether the region holds every byte named above.
  bool complete() const { return bytes_.size() >= kComponentBytesRead; }

  std::uint32_t wordCount() const { return usb::le32(bytes_, kWordCount); }
  std::uint16_t checksum() const { return usb::le16(bytes_, kChecksum); }
  std::uint8_t policyMark() const { return byteAt(kPolicyMark); }
  std::uint8_t booterMarker() const { return byteAt(kBooterMarker); }
  std::uint8_t componentCode() const { return byteAt(kComponentCode); }
  std::uint8_t booterComponentCode() const { return byteAt(kBooterComponentCode); }
  // The version and release date, as the key side keeps them.
  ComponentVersion version() const {
    return {byteAt(kVersionMajor),   byteAt(kVersionMinor),    byteAt(kVersionPatch),
            byteAt(kReleaseDate),    byteAt(kReleaseDate + 1), byteAt(kReleaseDate + 2),
            byteAt(kReleaseDate + 3)};
  }

 private:
  std::uint8_t byteAt(std::size_t at) const { return at < bytes_.size() ? bytes_[at] : 0; }

  std::span<const std::uint8_t> bytes_;
};

// Sets the policy mark of the header at the start of `region`; false when it is too short.
inline bool setPolicyMark(std::span<std::uint8_t> region, std::uint8_t mark) {
  if (region.size() <= kPolicyMark) return false;
  region[kPolicyMark] = mark;
  return true;
}

// The key's identity, as ReadIdentity assembles it, and the bytes of it that the program reads
// or sets; multi-byte values are little-endian.
inline constexpr std::size_t kIdentitySize = 128;
using KeyIdentity = std::array<std::uint8_t, kIdentitySize>;

inline constexpr std::size_t kIdentityKind = 4;            // u32: kMempodKind on a MEMPOD
inline constexpr std::size_t kIdentitySerial = 16;         // u32
inline constexpr std::size_t kIdentityFirmwareDate = 20;   // day, month, century, year (BCD)
inline constexpr std::size_t kIdentityFirmwarePatch = 25;  // the three parts of the version of
inline constexpr std::size_t kIdentityFirmwareMajor = 26;  // the key's own firmware
inline constexpr std::size_t kIdentityFirmwareMinor = 27;
inline constexpr std::size_t kIdentityProgram = 28;       // u16: kProgramBooter or kProgramFirmware
inline constexpr std::size_t kIdentityHardwareType = 30;  // u16: selects the memory family
inline constexpr std::size_t kIdentityConfiguration = 48;      // the configuration memory's first
inline constexpr std::size_t kIdentityConfigurationSize = 80;  // bytes, up to the end
inline constexpr std::size_t kIdentityMark = 54;               // the mark byte; cleared to 0xFF
inline constexpr std::size_t kIdentitySecondRead = 62;  // two bytes of the second memory read

inline constexpr std::uint32_t kMempodKind = 111;
// The program the key runs: 16 its booter, 51 (0x33) its firmware.
inline constexpr std::uint16_t kProgramBooter = 16;
inline constexpr std::uint16_t kProgramFirmware = 51;

inline std::uint32_t keyKind(const KeyIdentity& identity) {
  return usb::le32(identity, kIdentityKind);
}
inline std::uint32_t serialNumber(const KeyIdentity& identity) {
  return usb::le32(identity, kIdentitySerial);
}
inline std::uint16_t programCode(const KeyIdentity& identity) {
  return usb::le16(identity, kIdentityProgram);
}
inline std::uint16_t hardwareType(const KeyIdentity& identity) {
  return usb::le16(identity, kIdentityHardwareType);
}
// The version and date of the key's own firmware.
inline ComponentVersion firmwareVersion(const KeyIdentity& identity) {
  return {identity[kIdentityFirmwareMajor],    identity[kIdentityFirmwareMinor],
          identity[kIdentityFirmwarePatch],    identity[kIdentityFirmwareDate],
          identity[kIdentityFirmwareDate + 1], identity[kIdentityFirmwareDate + 2],
          identity[kIdentityFirmwareDate + 3]};
}

// Offset of the flash image inside the package.
inline constexpr std::size_t kFlashImageOffset = 0x300;
inline constexpr std::size_t kFlashImageSize = 0x100000;

}  // namespace flashwell::protocol
