#pragma once

// The firmware packages the tests use, all built here from the one the program carries: a plain
// copy, the same with a region table and components written by the test, and a package with
// made-up component bytes in eight regions for the writers.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "catalogue/embedded_package.h"
#include "catalogue/package_layout.h"
#include "protocol/request_block.h"

namespace flashwell::support {

// A copy of the package built into the program.
std::vector<std::uint8_t> embeddedPackageCopy();

// Points the block at `package` and fills its slots as the catalogue assigns them; false when
// the catalogue does not take the package.
bool installPackage(std::vector<std::uint8_t>& package, protocol::RequestBlock& block);

// A region record; the addresses are left blank unless given.
struct Record {
  std::uint16_t group;
  std::uint16_t code;
  std::uint32_t imageOffset = 0;
  std::uint32_t length = 0x1000;
  std::uint32_t minAddress = 0xFFFFFFFF;
  std::uint32_t maxAddress = 0xFFFFFFFF;
};

inline constexpr Record kEnd{0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF};

// The embedded package with its image blanked and its region table replaced by `records`.
std::vector<std::uint8_t> packageWith(std::span<const Record> records,
                                      std::uint8_t model = catalogue::kModelStandard);
inline std::vector<std::uint8_t> packageWith(std::initializer_list<Record> records,
                                             std::uint8_t model = catalogue::kModelStandard) {
  return packageWith(std::span<const Record>(records.begin(), records.size()), model);
}

struct Component {
  std::uint16_t group = 6;
  std::uint16_t code = '1';
  std::uint8_t major = 0x01, minor = 0x00, patch = 0x00;
  std::uint8_t day = 0x01, month = 0x01, century = 0x20, year = 0x24;
  std::vector<std::uint16_t> words = {0x1234, 0x5678, 0x9ABC, 0xDEF0, 0x1111,
                                      0x2222, 0x3333, 0x4444, 0x5555};
  bool fixChecksum = true;
};

// Writes a component at `imageOffset`; the payload words are written first and the code,
// version and date bytes over them, then the checksum is computed (unless told not to).
void putComponent(std::vector<std::uint8_t>& p, std::uint32_t imageOffset, const Component& c);

// A package laid out like the embedded one, with made-up component bytes: the key firmware has
// 9 of its 28 4 KiB blocks in use (one blank block between used ones), and the Lps4 EXP
// component ends in blank blocks after a blank block that data follows. Its region records are
// the block's slots, in slot order.
struct TestPackage {
  TestPackage();

  // Copies the slots into the block and points it at the package bytes.
  void install(protocol::RequestBlock& block);
  // Bytes of the flash image at `imageOffset`.
  const std::uint8_t* image(std::uint32_t imageOffset) const {
    return bytes.data() + protocol::kFlashImageOffset + imageOffset;
  }

  std::vector<std::uint8_t> bytes;
  std::array<protocol::RegionSlot, 10> regionSlots{};
};

// Image offsets of two of TestPackage's slots: the key firmware's and the GPS component's.
inline constexpr std::uint32_t kKeyFirmwareAt = 0x08000;
inline constexpr std::uint32_t kGpsAt = 0x78000;

}  // namespace flashwell::support
