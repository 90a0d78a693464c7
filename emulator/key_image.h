#pragma once

// What the virtual key keeps across a power cycle: the program it runs, its own identity
// record, its configuration memory, its internal firmware area and the component regions of its
// external flash. Also the key's memory map, which depends on its hardware type.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

namespace flashwell::emulator {

enum class KeyProgram : std::uint16_t { booter = 16, firmware = 0x33 };

// Internal flash: the key's own firmware lives at 0xE0000-0xFBFFF; the booter above it is never
// written.
inline constexpr std::uint32_t kFirmwareAreaStart = 0xE0000;
inline constexpr std::size_t kFirmwareAreaSize = 0x1C000;
inline constexpr std::size_t kFlashBlockSize = 4096;
// External flash: each component region is filled in blocks of this size.
inline constexpr std::size_t kRegionBlockSize = 2048;
// Room each region has on the external flash.
inline constexpr std::size_t kRegionCapacity = 0x20000;
// Addresses with this bit set reach the external flash.
inline constexpr std::uint32_t kExternalFlashBit = 0x40000000;

inline constexpr std::size_t kIdentitySize = 128;
inline constexpr std::size_t kConfigurationSize = 128;
// The part of the configuration memory that the identity carries, from identity byte 48 on.
inline constexpr std::size_t kConfigurationInIdentity = 80;
inline constexpr std::size_t kIdentityConfigurationOffset = 48;
// The mark byte: configuration byte 6, identity byte 54.
inline constexpr std::size_t kMarkByte = 6;
// The identity's first bytes, kept by the booter just below the configuration memory.
inline constexpr std::size_t kBooterInfoSize = 48;
// Identity bytes 4-7 of a MEMPOD.
inline constexpr std::uint32_t kMempodKind = 111;

// Where each region sits on the external flash, as the stored-version reads address it. The
// booter's region has a window of its own, above the others.
struct RegionWindow {
  std::uint16_t code;
  std::uint32_t start;
};
inline constexpr std::array<RegionWindow, 7> kRegionWindows{{
    {0x0631, 0x00000},  // LAPSTER4 firmware
    {0x0634, 0x20000},  // display languages
    {0x0632, 0x30000},  // ZUNIT
    {0x0225, 0x40000},  // LAMBDA
    {0x0635, 0x50000},  // GPS
    {0x0640, 0x74000},  // Lps4 EXP
    {0x0515, 0xC0000},  // booter for the logger
}};
std::optional<RegionWindow> regionWindow(std::uint16_t code);

// The internal memory map of one hardware family.
struct MemoryLayout {
  std::uint8_t family;              // 10 to 19; 13 stands for every type the key does not know
  std::uint32_t configurationBase;  // the configuration memory; the booter's copy of identity
                                    // bytes 0-47 lies in the 48 bytes below it
  std::uint32_t headerWindow;       // a window onto the first 256 bytes of the firmware area
};
std::optional<std::uint8_t> familyOfHardwareType(std::uint16_t hardwareType);
MemoryLayout memoryLayoutOf(std::uint16_t hardwareType);

struct KeyImage {
  KeyProgram program = KeyProgram::firmware;
  // The key's own record: kind at 4-7, serial number at 16-19, hardware type at 30-31 and the
  // bytes the key does not compute. The identify answer is built from it (see VirtualKey).
  std::array<std::uint8_t, kIdentitySize> identity{};
  std::array<std::uint8_t, kConfigurationSize> configuration{};
  std::vector<std::uint8_t> firmwareArea = std::vector<std::uint8_t>(kFirmwareAreaSize, 0xFF);
  // Every region of kRegionWindows, kRegionCapacity bytes each.
  std::map<std::uint16_t, std::vector<std::uint8_t>> regions = erasedRegions();
  // Of the first endpoint: 64 for a large-packet key, 8 for a small-packet one.
  std::uint16_t maxPacketSize = 64;

  std::uint16_t hardwareType() const;
  static std::map<std::uint16_t, std::vector<std::uint8_t>> erasedRegions();
};

// 16-bit wrap-around sum of `count` little-endian words from `offset`; nullopt when they do not
// lie inside `bytes`.
std::optional<std::uint16_t> wordSum(std::span<const std::uint8_t> bytes, std::size_t offset,
                                     std::size_t count);
// True when `component` starts with a header whose checksum holds over its word count.
bool headerChecksumHolds(std::span<const std::uint8_t> component);
// What the booter checks before it starts the firmware: component code '3' at byte 29 and a
// header checksum that holds.
bool holdsValidFirmware(std::span<const std::uint8_t> area);

}  // namespace flashwell::emulator
