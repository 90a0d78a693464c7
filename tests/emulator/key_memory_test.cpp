// What the key's reads return: the identity it answers with, its memory map per family, and
// the two ways of reading memory.

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/key_frames.h"
#include "usb/bytes.h"

namespace flashwell::emulator {
namespace {

using support::KeyBench;
using support::namedKey;

TEST(KeyIdentity, AnswerCarriesFirmwareVersionProgramAndConfiguration) {
  KeyBench host(namedKey("fresh"));
  const auto id = identify(host);
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
  EXPECT_TRUE(std::equal(id.begin() + 48, id.end(), host.key->configuration().begin()));
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
    KeyBench host(namedKey(c.state));
    const auto config = readMemory(host, c.base, 128);
    ASSERT_EQ(config.size(), 128u);
    EXPECT_TRUE(std::equal(config.begin(), config.begin() + 80, host.key->configuration().begin()));
    const auto second = readMemory(host, c.second, c.secondLength);
    ASSERT_EQ(second.size(), c.secondLength);
    const auto area = host.key->firmwareArea();
    EXPECT_EQ(second[0], area[0x0A]);
    EXPECT_EQ(second[1], area[0x0B]);
    if (c.secondLength > 22) {
      EXPECT_EQ(second[22], area[0x20]) << "the patch byte";
    }
    const auto below = readMemory(host, c.base - 0x30, 48);
    EXPECT_EQ(usb::le32(below, 4), 111u);
    EXPECT_EQ(usb::le32(below, 16), usb::le32(host.key->image().identity, 16));
  }
}

TEST(KeyIdentity, LargePacketBooterLeavesKindAndSerialToItsCopyBelowTheBase) {
  KeyBench large(namedKey("booter"));
  const auto id = identify(large);
  EXPECT_EQ(usb::le16(id, 28), 16);
  EXPECT_EQ(usb::le32(id, 4), 0xFFFFFFFFu);
  EXPECT_EQ(usb::le32(readMemory(large, 0xFFA000, 128), 4), 111u);

  KeyImage small = namedKey("booter");
  small.maxPacketSize = 8;
  KeyBench host(std::move(small));
  EXPECT_EQ(usb::le32(identify(host), 4), 111u) << "no extra read on a small-packet key";

  KeyImage family19 = namedKey("family-19");
  family19.program = KeyProgram::booter;
  KeyBench nineteen(std::move(family19));
  EXPECT_EQ(usb::le32(identify(nineteen), 4), 111u) << "family 19 is asked for no memory";

  KeyBench wrong(namedKey("wrong-kind"));
  EXPECT_NE(usb::le32(readMemory(wrong, 0xFFA000, 48), 4), 111u);
}

TEST(KeyMemoryReads, SmallPacketKeyReportsSixteenBytesOnTheInterruptEndpoint) {
  KeyBench host(namedKey("small-packet"));
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t at = 0; at < 80; at += 16) {
    ASSERT_TRUE(shortCommand(host, 1, 0xFFA030 + at, 0));
    const auto chunk = readEp1(host, 16);
    ASSERT_EQ(chunk.size(), 16u);
    bytes.insert(bytes.end(), chunk.begin(), chunk.end());
  }
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), host.key->configuration().begin()));
  // A shorter read takes the first bytes of the report; a second read has nothing left.
  ASSERT_TRUE(shortCommand(host, 1, 0xFFA030, 0));
  EXPECT_EQ(readEp1(host, 8).size(), 8u);
  EXPECT_TRUE(readEp1(host, 8).empty());
  // The versions are read in the large-packet manner on this key too.
  EXPECT_EQ(readMemory(host, kExternalFlashBit | 0x00000, 128).size(), 128u);
}

TEST(KeyMemoryReads, AnnouncedReadNeedsACommandAndGivesWhatWasAnnounced) {
  KeyBench host(namedKey("fresh"));
  EXPECT_FALSE(transferSetup(host, 1, 128)) << "nothing to read";
  EXPECT_TRUE(readEp2(host, 128).empty());
  ASSERT_TRUE(shortCommand(host, 1, 0xFFA030, 128));
  ASSERT_TRUE(transferSetup(host, 1, 16));
  EXPECT_EQ(readEp2(host, 128).size(), 16u);
  EXPECT_TRUE(readEp2(host, 128).empty()) << "one read per announcement";
}

TEST(KeyMemoryReads, ExternalFlashByNearestWindowAndErasedOutside) {
  KeyBench host(namedKey("fresh"));
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
    const auto bytes = readMemory(host, kExternalFlashBit | c.address, 16);
    const auto storage = host.key->region(c.region);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), storage.begin() + c.offset));
  }
  // Past the Lps4 EXP region's storage and before the booter's window: nothing stored.
  EXPECT_EQ(readMemory(host, kExternalFlashBit | 0x94000, 16), std::vector<std::uint8_t>(16, 0xFF));
  // Internal addresses that map to nothing read as erased.
  EXPECT_EQ(readMemory(host, 0x123400, 16), std::vector<std::uint8_t>(16, 0xFF));
}

}  // namespace
}  // namespace flashwell::emulator
