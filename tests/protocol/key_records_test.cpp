// The shared layouts as both the catalogue and the worker read them.

#include "protocol/key_records.h"

#include <gtest/gtest.h>

#include <vector>

namespace flashwell::protocol {
namespace {

// A stored LAPSTER4 firmware header: 0x100 words, checksum 0xBEEF, marked "Always", released
// 2014/01/30, component '1', version 33.50.
std::vector<std::uint8_t> storedHeader() {
  std::vector<std::uint8_t> h(0x40, 0xEE);
  const std::uint8_t start[16] = {0x00, 0x01, 0, 0, 0xEF, 0xBE, 0,    1,
                                  0,    0,    0, 0, 0x30, 0x01, 0x20, 0x14};
  std::copy(std::begin(start), std::end(start), h.begin());
  h[0x1D] = '1';
  h[0x1E] = 0x33;
  h[0x1F] = 0x50;
  h[0x20] = 0x00;
  return h;
}

TEST(ComponentHeader, ReadsEveryNamedByte) {
  const auto bytes = storedHeader();
  const ComponentHeader h(bytes);
  EXPECT_TRUE(h.complete());
  EXPECT_EQ(h.wordCount(), 0x100u);
  EXPECT_EQ(h.checksum(), 0xBEEF);
  EXPECT_EQ(h.policyMark(), kPassOnAlways);
  EXPECT_EQ(h.componentCode(), '1');
  EXPECT_EQ(h.booterComponentCode(), 0x33) << "a booter's code sits where others keep major";
  EXPECT_EQ(h.version(), (ComponentVersion{0x33, 0x50, 0x00, 0x30, 0x01, 0x20, 0x14}));
}

TEST(ComponentHeader, ShortRegionsReadZeroAndAreNotMarked) {
  const auto bytes = storedHeader();
  for (std::size_t size : {0u, 7u, 8u, 0x20u}) {
    const std::span<const std::uint8_t> region(bytes.data(), size);
    const ComponentHeader h(region);
    EXPECT_FALSE(h.complete()) << size;
    EXPECT_EQ(h.version().patch, 0) << size;
    EXPECT_EQ(h.policyMark(), size > kPolicyMark ? kPassOnAlways : 0) << size;
    std::vector<std::uint8_t> copy(bytes.begin(), bytes.begin() + static_cast<long>(size));
    EXPECT_EQ(setPolicyMark(copy, 9), size > kPolicyMark) << size;
  }
}

TEST(KeyIdentity, NamedBytesOfAFirmwareIdentity) {
  KeyIdentity id{};
  id[4] = 111;
  id[16] = 0x34, id[17] = 0x12;
  id[20] = 0x30, id[21] = 0x01, id[22] = 0x20, id[23] = 0x14;
  id[25] = 0x07, id[26] = 0x31, id[27] = 0x59;
  id[28] = 0x33;
  id[30] = 0x16;
  EXPECT_EQ(keyKind(id), kMempodKind);
  EXPECT_EQ(serialNumber(id), 0x1234u);
  EXPECT_EQ(programCode(id), kProgramFirmware);
  EXPECT_EQ(hardwareType(id), 0x16);
  EXPECT_EQ(firmwareVersion(id), (ComponentVersion{0x31, 0x59, 0x07, 0x30, 0x01, 0x20, 0x14}));
  id[29] = 1;
  EXPECT_EQ(programCode(id), 0x0133) << "the program code is a 16-bit word";
}

}  // namespace
}  // namespace flashwell::protocol
