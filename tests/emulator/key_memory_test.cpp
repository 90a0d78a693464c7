// What the key's reads return: the identity it answers with, its memory map per family, and
// the two ways of reading memory.

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/emulator/key_host.h"
#include "usb/bytes.h"

namespace flashwell::emulator {
namespace {

using testing::KeyHost;
using testing::named;

TEST(KeyIdentity, AnswerCarriesFirmwareVersionProgramAndConfiguration) {
  KeyHost host(named("fresh"));
  const auto id = host.identify();
  ASSERT_EQ(id.size(), 128u);
  EXPECT_EQ(usb::le32(id, 4), 111u);
  const std::uint32_t serial = usb::le32(id, 16);
  EXPECT_GT(serial, 16u);
  EXPECT_LT(serial, 0xFFFFFF00u);
  EXPECT_EQ(usb::le16(id, 28), 0x33);
  EXPECT_EQ(usb::le16(id, 30), 0x0006);
  // Version 01.10 of 15/03/2019, from the firmware area's header.
  EXPECT_EQ(id[26], 0x01);
  EXPECT_EQ(id[27], 0x10);
  EXPECT_EQ(id[25], 0x00);
  EXPECT_EQ((std::vector<std::uint8_t>(id.begin() + 20, id.begin() + 24)),
            (std::vector<std::uint8_t>{0x15, 0x03, 0x20, 0x19}));
  EXPECT_TRUE(std::equal(id.begin() + 48, id.end(), host.key.configuration().begin()));
  EXPECT_NE(id[54], 0xFF) << "the mark is not cleared yet";
}

// Where each family keeps its configuration, the window onto the firmware header, and the
// booter's copy of identity bytes 0-47.
TEST(KeyIdentity, EveryFamilyAnswersTheReadsOfItsMemoryMap) {
  struct Case {
    const char* state;
    std::uint32_t base;
    std::uint32_t second;
    std::uint16_t secondLength;
  };
  const Case cases[] = {
      {"family-10", 0xFFBF30, 0xFF000A, 16},  {"family-11", 0xFFBF30, 0xFF000A, 16},
      {"family-12", 0xFFA030, 0xFE000A, 128}, {"family-13", 0xFFA030, 0xFE000A, 128},
      {"family-14", 0x00F030, 0x0E000A, 128}, {"family-15", 0xFFA030, 0xFE000A, 128},
      {"family-18", 0xFFA030, 0xFE000A, 128}, {"family-19", 0xFFA030, 0xFE000A, 128},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    KeyHost host(named(c.state));
    const auto config = host.readMemory(c.base, 128);
    ASSERT_EQ(config.size(), 128u);
    EXPECT_TRUE(std::equal(config.begin(), config.begin() + 80, host.key.configuration().begin()));
    const auto second = host.readMemory(c.second, c.secondLength);
    ASSERT_EQ(second.size(), c.secondLength);
    const auto area = host.key.firmwareArea();
    EXPECT_EQ(second[0], area[0x0A]);
    EXPECT_EQ(second[1], area[0x0B]);
    if (c.secondLength > 22) {
      EXPECT_EQ(second[22], area[0x20]) << "the patch byte";
    }
    const auto below = host.readMemory(c.base - 0x30, 48);
    EXPECT_EQ(usb::le32(below, 4), 111u);
    EXPECT_EQ(usb::le32(below, 16), usb::le32(host.key.image().identity, 16));
  }
}

TEST(KeyIdentity, LargePacketBooterLeavesKindAndSerialToItsCopyBelowTheBase) {
  KeyHost large(named("booter"));
  const auto id = large.identify();
  EXPECT_EQ(usb::le16(id, 28), 16);
  EXPECT_EQ(usb::le32(id, 4), 0xFFFFFFFFu);
  EXPECT_EQ(usb::le32(large.readMemory(0xFFA000, 128), 4), 111u);

  KeyImage small = named("booter");
  small.maxPacketSize = 8;
  KeyHost host(std::move(small));
  EXPECT_EQ(usb::le32(host.identify(), 4), 111u) << "no extra read on a small-packet key";

  KeyImage family19 = named("family-19");
  family19.program = KeyProgram::booter;
  KeyHost nineteen(std::move(family19));
  EXPECT_EQ(usb::le32(nineteen.identify(), 4), 111u) << "family 19 is asked for no memory";

  KeyHost wrong(named("wrong-kind"));
  EXPECT_NE(usb::le32(wrong.readMemory(0xFFA000, 48), 4), 111u);
}

TEST(KeyMemoryReads, SmallPacketKeyReportsSixteenBytesOnTheInterruptEndpoint) {
  KeyHost host(named("small-packet"));
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t at = 0; at < 80; at += 16) {
    ASSERT_TRUE(host.shortCommand(1, 0xFFA030 + at, 0));
    const auto chunk = host.readEp1(16);
    ASSERT_EQ(chunk.size(), 16u);
    bytes.insert(bytes.end(), chunk.begin(), chunk.end());
  }
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), host.key.configuration().begin()));
  // A shorter read takes the first bytes of the report; a second read has nothing left.
  ASSERT_TRUE(host.shortCommand(1, 0xFFA030, 0));
  EXPECT_EQ(host.readEp1(8).size(), 8u);
  EXPECT_TRUE(host.readEp1(8).empty());
  // The versions are read in the large-packet manner on this key too.
  EXPECT_EQ(host.readMemory(kExternalFlashBit | 0x00000, 128).size(), 128u);
}

TEST(KeyMemoryReads, AnnouncedReadNeedsACommandAndGivesWhatWasAnnounced) {
  KeyHost host(named("fresh"));
  EXPECT_FALSE(host.transferSetup(1, 128)) << "nothing to read";
  EXPECT_TRUE(host.readEp2(128).empty());
  ASSERT_TRUE(host.shortCommand(1, 0xFFA030, 128));
  ASSERT_TRUE(host.transferSetup(1, 16));
  EXPECT_EQ(host.readEp2(128).size(), 16u);
  EXPECT_TRUE(host.readEp2(128).empty()) << "one read per announcement";
}

TEST(KeyMemoryReads, ExternalFlashByNearestWindowAndErasedOutside) {
  KeyHost host(named("fresh"));
  struct Case {
    std::uint32_t address;
    std::uint16_t region;
    std::uint32_t offset;
  };
  const Case cases[] = {
      {0x00000, 0x0631, 0},       {0x20010, 0x0634, 0x10}, {0x30000, 0x0632, 0},
      {0x40080, 0x0225, 0x80},    {0x50000, 0x0635, 0},    {0x74000, 0x0640, 0},
      {0x1FFF0, 0x0631, 0x1FFF0}, {0xC0000, 0x0515, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    const auto bytes = host.readMemory(kExternalFlashBit | c.address, 16);
    const auto storage = host.key.region(c.region);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), storage.begin() + c.offset));
  }
  // Past the Lps4 EXP region's storage and before the booter's window: nothing stored.
  EXPECT_EQ(host.readMemory(kExternalFlashBit | 0x94000, 16), std::vector<std::uint8_t>(16, 0xFF));
  // Internal addresses that map to nothing read as erased.
  EXPECT_EQ(host.readMemory(0x123400, 16), std::vector<std::uint8_t>(16, 0xFF));
}

}  // namespace
}  // namespace flashwell::emulator
