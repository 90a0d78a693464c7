#pragma once

// A firmware package laid out like the one the program carries, with made-up component bytes:
// the key firmware has 9 of its 28 4 KiB blocks in use (one blank block between used ones), and
// the Lps4 EXP component ends in blank blocks after a blank block that data follows.

#include <array>
#include <cstdint>
#include <vector>

#include "protocol/request_block.h"

namespace flashwell::protocol::testing {

struct TestPackage {
  TestPackage();

  // Copies the slots into the block and points it at the package bytes.
  void install(RequestBlock& block);
  // Bytes of the flash image at `imageOffset`.
  const std::uint8_t* image(std::uint32_t imageOffset) const {
    return bytes.data() + kFlashImageOffset + imageOffset;
  }

  std::vector<std::uint8_t> bytes;
  std::array<RegionSlot, 10> slots{};
};

// Image offsets of the slots.
inline constexpr std::uint32_t kKeyFirmwareAt = 0x08000;
inline constexpr std::uint32_t kBooterAt = 0x04000;
inline constexpr std::uint32_t kLambdaAt = 0x6C000;
inline constexpr std::uint32_t kGpsAt = 0x78000;
inline constexpr std::uint32_t kExpAt = 0x88000;

}  // namespace flashwell::protocol::testing
