// The key's command set on a scripted key: identity assembly per memory family, the memory read
// length rule and chunking on both key kinds, and the short sequences.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "protocol/key_commands.h"
#include "tests/protocol/fake_key.h"
#include "usb/bytes.h"
#include "usb/link.h"

namespace flashwell::protocol {
namespace {

using testing::FakeEvent;
using testing::FakeKey;
using testing::SilentNotices;

struct Rig {
  Rig() {
    for (std::size_t i = 0; i < key.identity.size(); ++i) {
      key.identity[i] = static_cast<std::uint8_t>(0xA0 + i);
    }
  }
  void hardware(std::uint16_t type) { usb::putLe16(key.identity, 30, type); }
  usb::SimulatedClock clock;
  FakeKey key{clock};
  SilentNotices notices;
  usb::UsbLink link{key, notices};
  CommandChannel channel{link, clock};
  KeyCommands commands{link, channel};
};

struct MemoryRead {
  std::uint32_t address;
  std::uint32_t announced;  // length in the read request
  std::uint32_t endpoint;
  std::uint32_t length;  // bytes moved on the endpoint
  bool operator==(const MemoryRead&) const = default;
};

std::vector<MemoryRead> memoryReads(const FakeKey& key) {
  std::vector<MemoryRead> reads;
  const auto& ev = key.events;
  for (std::size_t i = 0; i < ev.size(); ++i) {
    if (ev[i].kind != FakeEvent::kControl || ev[i].code() != 14 || ev[i].sub() != 1) continue;
    MemoryRead r{(std::uint32_t{usb::le16(ev[i].setup, 4)} << 16) | usb::le16(ev[i].data, 1),
                 usb::le16(ev[i].data, 4), 0, 0};
    for (std::size_t j = i + 1; j < ev.size(); ++j) {
      if (ev[j].kind == FakeEvent::kIn) {
        r.endpoint = ev[j].endpoint;
        r.length = ev[j].length;
        break;
      }
    }
    reads.push_back(r);
  }
  return reads;
}

TEST(HardwareFamily, TableAsGivenFirstMatchWins) {
  struct Row {
    std::uint16_t type;
    std::optional<std::uint8_t> family;
  };
  for (Row r : {Row{0x0005, 11}, Row{0x0009, 11}, Row{0x000C, 11}, Row{0x000D, 11}, Row{0x0002, 12},
                Row{0x0401, 19}, Row{0x0006, 13}, Row{0x0007, 12}, Row{0x0008, 10}, Row{0x000B, 12},
                Row{0x0015, 18}, Row{0x0018, 18}, Row{0x0016, 14}, Row{0x0017, 18}, Row{0x0301, 15},
                Row{0x0001, std::nullopt}, Row{0xFFFF, std::nullopt}, Row{0x0000, std::nullopt}}) {
    EXPECT_EQ(lookupHardwareFamily(r.type), r.family) << r.type;
  }
}

TEST(ReadIdentity, FamilyNineteenIsOneIdentifyAndOneRead) {
  Rig rig;
  rig.hardware(0x0401);
  KeyIdentity id{};
  ASSERT_TRUE(rig.commands.ReadIdentity(id));
  const auto controls = rig.key.controls();
  ASSERT_EQ(controls.size(), 2u);
  EXPECT_EQ(controls[0].code(), 14);
  EXPECT_EQ(controls[0].sub(), 7);
  EXPECT_EQ(controls[1].code(), 12);
  EXPECT_TRUE(memoryReads(rig.key).empty());
  KeyIdentity expected = rig.key.identity;
  usb::putLe16(expected, 28, kProgramFirmware);
  EXPECT_EQ(id, expected);
}

struct FamilyCase {
  std::uint16_t type;
  std::uint16_t program;
  bool large;
  std::vector<MemoryRead> reads;
  bool firstByteTo62;
  bool sets25;
};

TEST(ReadIdentity, AssemblesFromTheFamilysMemory) {
  const std::vector<FamilyCase> cases = {
      // family 14: configuration at 0x00F030, 62-63 swapped from 0x0E000A
      {0x0016,
       kProgramFirmware,
       true,
       {{0x00F030, 128, 0x82, 128}, {0x0E000A, 128, 0x82, 128}},
       false,
       true},
      // families 10 and 11: 80 bytes read as 128 on a large-packet key, 62-63 in order, 25 kept
      {0x0008,
       kProgramFirmware,
       true,
       {{0xFFBF30, 128, 0x82, 128}, {0xFF000A, 16, 0x82, 16}},
       true,
       false},
      {0x0005,
       kProgramFirmware,
       false,
       {{0xFFBF30, 0, 0x81, 16},
        {0xFFBF40, 0, 0x81, 16},
        {0xFFBF50, 0, 0x81, 16},
        {0xFFBF60, 0, 0x81, 16},
        {0xFFBF70, 0, 0x81, 16},
        {0xFF000A, 0, 0x81, 16}},
       true,
       false},
      // the default family, also for a type missing from the table
      {0x0002,
       kProgramFirmware,
       true,
       {{0xFFA030, 128, 0x82, 128}, {0xFE000A, 128, 0x82, 128}},
       false,
       true},
      {0x7777,
       kProgramFirmware,
       true,
       {{0xFFA030, 128, 0x82, 128}, {0xFE000A, 128, 0x82, 128}},
       false,
       true},
      // a booter on a large-packet key: one more read just below the configuration
      {0x0002,
       kProgramBooter,
       true,
       {{0xFFA030, 128, 0x82, 128}, {0xFE000A, 128, 0x82, 128}, {0xFFA000, 128, 0x82, 128}},
       false,
       true},
      {0x0009,
       kProgramBooter,
       true,
       {{0xFFBF30, 128, 0x82, 128}, {0xFF000A, 16, 0x82, 16}, {0xFFBF00, 128, 0x82, 128}},
       true,
       false},
  };
  for (const FamilyCase& c : cases) {
    Rig rig;
    rig.hardware(c.type);
    rig.key.program = c.program;
    rig.key.largePacket = c.large;
    KeyIdentity id{};
    ASSERT_TRUE(rig.commands.ReadIdentity(id)) << c.type;
    const auto reads = memoryReads(rig.key);
    // Small-packet chunks: compare only the chunk starts that the case lists.
    ASSERT_EQ(reads, c.reads) << c.type;

    const std::uint32_t base = c.reads[0].address;
    const std::uint32_t second = c.reads[c.large ? 1 : 5].address;
    auto mem = rig.key.memory;
    for (std::size_t i = 0; i < 80; ++i) {
      if (i + 48 == 62 || i + 48 == 63) continue;
      EXPECT_EQ(id[48 + i], mem(base + static_cast<std::uint32_t>(i))) << c.type << " " << i;
    }
    EXPECT_EQ(id[62], mem(second + (c.firstByteTo62 ? 0 : 1))) << c.type;
    EXPECT_EQ(id[63], mem(second + (c.firstByteTo62 ? 1 : 0))) << c.type;
    EXPECT_EQ(id[25], c.sets25 ? mem(second + 22) : rig.key.identity[25]) << c.type;
    EXPECT_EQ(usb::le16(id, 28), c.program);
    const std::uint32_t below = base - 0x30;
    for (std::size_t at : {4, 5, 6, 7, 16, 17, 18, 19, 32, 33, 40, 41, 42, 43}) {
      const bool replaced = c.program == kProgramBooter && c.large;
      EXPECT_EQ(id[at],
                replaced ? mem(below + static_cast<std::uint32_t>(at)) : rig.key.identity[at])
          << c.type << " byte " << at;
    }
    // Bytes the assembly never touches come from the identify reply.
    for (std::size_t at : {0, 8, 15, 20, 24, 34, 39, 44, 47}) {
      EXPECT_EQ(id[at], rig.key.identity[at]) << c.type << " byte " << at;
    }
  }
}

TEST(ReadIdentity, AnyFailedStepFails) {
  // identify, its transfer setup, the reply, the first read, the second read
  for (int failAt = 1; failAt <= 9; ++failAt) {
    Rig rig;
    rig.hardware(0x0002);
    int n = 0;
    rig.key.accept = [&](const FakeEvent&) { return ++n != failAt; };
    KeyIdentity id{};
    id.fill(0x11);
    EXPECT_FALSE(rig.commands.ReadIdentity(id)) << failAt;
    EXPECT_TRUE(std::all_of(id.begin(), id.end(), [](auto b) { return b == 0x11; })) << failAt;
  }
}

TEST(ReadMemory, ChunksFollowTheKeyKind) {
  struct Case {
    bool large;
    std::uint32_t length;
    std::size_t chunks;
    std::uint32_t chunk;
    std::uint32_t endpoint;
    std::uint32_t announced;
  };
  for (Case c : {Case{false, 256, 16, 16, 0x81, 0}, Case{true, 256, 2, 128, 0x82, 128},
                 Case{true, 80, 1, 128, 0x82, 128}, Case{false, 80, 5, 16, 0x81, 0},
                 Case{true, 48, 1, 128, 0x82, 128}, Case{true, 8, 1, 8, 0x82, 8},
                 Case{true, 16, 1, 16, 0x82, 16}, Case{false, 23, 1, 16, 0x81, 0}}) {
    Rig rig;
    std::vector<std::uint8_t> dest(256, 0);
    ASSERT_TRUE(rig.commands.ReadMemory(c.large, 0x40030000, c.length, dest)) << c.length;
    const auto reads = memoryReads(rig.key);
    ASSERT_EQ(reads.size(), c.chunks) << c.length;
    for (std::size_t i = 0; i < reads.size(); ++i) {
      EXPECT_EQ(reads[i].address, 0x40030000 + i * c.chunk);
      EXPECT_EQ(reads[i].announced, c.announced);
      EXPECT_EQ(reads[i].endpoint, c.endpoint);
      EXPECT_EQ(reads[i].length, c.chunk);
    }
    const std::size_t moved = c.chunks * c.chunk;
    for (std::size_t i = 0; i < moved; ++i) {
      ASSERT_EQ(dest[i], rig.key.memory(0x40030000 + static_cast<std::uint32_t>(i))) << i;
    }
    EXPECT_TRUE(std::all_of(dest.begin() + static_cast<long>(moved), dest.end(),
                            [](auto b) { return b == 0; }));
  }
}

TEST(ReadMemory, NeverWritesPastItsDestination) {
  Rig rig;
  std::vector<std::uint8_t> dest(80, 0x11);
  // 80 bytes are read as 128 on a large-packet key: an 80-byte destination cannot take them.
  EXPECT_FALSE(rig.commands.ReadMemory(true, 0xFFA030, 80, dest));
  EXPECT_TRUE(rig.key.events.empty());
  EXPECT_FALSE(rig.commands.ReadMemory(false, 0xFFA030, 88, dest));
  EXPECT_FALSE(rig.commands.ReadMemory(true, 0, 128, std::span<std::uint8_t>{}));
  EXPECT_TRUE(rig.key.events.empty());
  EXPECT_TRUE(rig.commands.ReadMemory(false, 0xFFA030, 80, dest));
  EXPECT_TRUE(rig.commands.ReadMemory(true, 0, 0, dest));  // nothing asked, nothing moved
}

TEST(ReadMemory, FailedCommandClosesFailedReadLeavesOpen) {
  for (auto [failKind, open] : {std::pair{FakeEvent::kControl, false}, {FakeEvent::kIn, true}}) {
    Rig rig;
    rig.key.accept = [k = failKind](const FakeEvent& e) { return e.kind != k; };
    std::array<std::uint8_t, 256> dest{};
    EXPECT_FALSE(rig.commands.ReadMemoryOrFill(true, 0x40000000, 256, dest));
    EXPECT_TRUE(std::all_of(dest.begin(), dest.end(), [](auto b) { return b == 0x55; }));
    EXPECT_EQ(rig.link.isOpen(), open);
  }
}

TEST(ShortSequences, EraseDataByKeyKindAlwaysCloses) {
  for (bool large : {true, false}) {
    Rig rig;
    rig.key.largePacket = large;
    EXPECT_TRUE(rig.commands.EraseData());
    const auto c = rig.key.controls();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].code(), large ? 13 : 14);
    EXPECT_EQ(c[0].sub(), large ? 7 : 18);
    EXPECT_EQ(c[0].data.size(), large ? 9u : 6u);
    EXPECT_FALSE(rig.link.isOpen());
  }
  Rig rig;
  rig.key.present = false;
  EXPECT_FALSE(rig.commands.EraseData());
}

TEST(ShortSequences, StoreIdentityStopsAtTheFirstFailure) {
  KeyIdentity id{};
  for (std::size_t i = 0; i < id.size(); ++i) id[i] = static_cast<std::uint8_t>(i);
  {
    Rig rig;
    EXPECT_TRUE(rig.commands.StoreIdentity(id));
    const auto& ev = rig.key.events;
    ASSERT_EQ(ev.size(), 4u);  // open, setup, out, store
    EXPECT_EQ(ev[1].code(), 12);
    EXPECT_EQ(ev[1].data, (std::vector<std::uint8_t>{0, 0, 0, 0x80, 0, 0}));
    EXPECT_EQ(ev[2].endpoint, 0x02u);
    EXPECT_EQ(ev[2].data, std::vector<std::uint8_t>(id.begin(), id.end()));
    EXPECT_EQ(ev[3].code(), 14);
    EXPECT_EQ(ev[3].sub(), 8);
  }
  {
    Rig rig;
    rig.key.accept = [](const FakeEvent& e) { return e.kind != FakeEvent::kOut; };
    EXPECT_FALSE(rig.commands.StoreIdentity(id));
    EXPECT_EQ(rig.key.controls().size(), 1u);
  }
}

}  // namespace
}  // namespace flashwell::protocol
