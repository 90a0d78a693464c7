#include "tests/protocol/test_package.h"

#include <algorithm>

#include "usb/bytes.h"

namespace flashwell::protocol::testing {

namespace {

constexpr std::size_t kPackageSize = 0x100318 + 7 * 9032;

struct Region {
  std::uint8_t slot;
  std::uint16_t group;
  std::uint16_t code;
  std::uint32_t imageOffset;
  std::uint32_t length;
  std::uint32_t maxAddress;
};

constexpr std::array<Region, 8> kRegions{{
    {0, 6, '3', kKeyFirmwareAt, 0x1C000, 0x0FBFFF},
    {1, 6, '1', 0x24000, 0x1C000, 0x0FBFFF},
    {2, 6, '4', 0x40000, 0x10000, 0xFF7FFF},
    {3, 6, '2', 0x50000, 0x1C000, 0xFF7FFF},
    {4, 2, '%', kLambdaAt, 0xC000, 0xFFBFFF},
    {5, 6, '5', kGpsAt, 0x10000, 0x0EFFFF},
    {6, 5, 21, kBooterAt, 0x4000, 0x0FFFFF},
    {7, 6, 'H', kExpAt, 0xC000, 0x0EFFFF},
}};

}  // namespace

TestPackage::TestPackage() : bytes(kPackageSize, 0xFF) {
  std::uint8_t* img = bytes.data() + kFlashImageOffset;
  auto fill = [&](std::uint32_t from, std::uint32_t to) {
    for (std::uint32_t i = from; i < to; ++i) {
      img[i] = static_cast<std::uint8_t>((i * 13) ^ (i >> 9) ^ (i >> 17));
    }
  };
  for (const Region& r : kRegions) {
    if (r.slot == 0) {
      fill(r.imageOffset, r.imageOffset + 6 * 0x1000);                 // blocks 0-5
      fill(r.imageOffset + 7 * 0x1000 + 100, r.imageOffset + 0x8000);  // block 7
      fill(r.imageOffset + 26 * 0x1000, r.imageOffset + 0x1C000 - 1);  // blocks 26, 27
    } else if (r.slot == 7) {
      fill(r.imageOffset, r.imageOffset + 0x1000);           // blocks 0, 1
      fill(r.imageOffset + 0x1800, r.imageOffset + 0x1900);  // block 3, after a blank one
    } else {
      fill(r.imageOffset, r.imageOffset + r.length);
    }
    std::uint8_t* h = img + r.imageOffset;
    const std::uint8_t filler = r.group == 5 ? 0xFF : 0x00;
    std::fill(h + 6, h + 12, filler);
    h[0x0B] = r.group == 5 ? 2 : filler;
    h[0x0C] = 0x15, h[0x0D] = 0x06, h[0x0E] = 0x20, h[0x0F] = 0x24;
    if (r.group == 5) {
      h[0x1E] = static_cast<std::uint8_t>(r.code);
    } else {
      h[0x1D] = static_cast<std::uint8_t>(r.code);
    }

    auto& s = slots[r.slot].bytes;
    usb::putLe16(s, 0, r.group);
    usb::putLe16(s, 2, r.code);
    usb::putLe32(s, 4, r.imageOffset);
    usb::putLe32(s, 8, r.length);
    usb::putLe32(s, 12, 0xE0010);
    usb::putLe32(s, 16, r.maxAddress);
  }
}

void TestPackage::install(RequestBlock& block) {
  block.regions = slots;
  block.imageBase = bytes.data();
  block.imageSize = bytes.size();
}

}  // namespace flashwell::protocol::testing
