// The key's command set on the virtual key: identity assembly per memory family, the memory read
// length rule and chunking on both key kinds, and the short sequences.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "emulator/key_image.h"
#include "protocol/key_commands.h"
#include "tests/support/key_bench.h"
#include "tests/support/key_traffic.h"
#include "usb/bytes.h"
#include "usb/link.h"

namespace flashwell::protocol {
namespace {

using support::KeyRequest;

std::uint8_t pattern(std::size_t i) {
  return static_cast<std::uint8_t>((i * 7) ^ (i >> 8));
}

// A key whose memories all hold different bytes: its own record 0xA0, 0xA1, ... (the booter's
// copy below the configuration memory), and a pattern in the configuration memory, the firmware
// area and every region.
emulator::KeyImage patternedKey(std::uint16_t hardwareType = 0x0002,
                                std::uint16_t program = kProgramFirmware, bool large = true) {
  emulator::KeyImage image = support::namedKey("fresh");
  for (std::size_t i = 0; i < image.identity.size(); ++i) {
    image.identity[i] = static_cast<std::uint8_t>(0xA0 + i);
  }
  usb::putLe16(image.identity, 30, hardwareType);
  image.program = static_cast<emulator::KeyProgram>(program);
  image.maxPacketSize = large ? 64 : 8;
  for (std::size_t i = 0; i < image.configuration.size(); ++i)
    image.configuration[i] = pattern(i + 3);
  for (std::size_t i = 0; i < image.firmwareArea.size(); ++i) image.firmwareArea[i] = pattern(i);
  for (auto& [code, bytes] : image.regions) {
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = pattern(i + code);
  }
  return image;
}

// The key commands on the bench's link, in front of the virtual key.
struct Rig {
  explicit Rig(emulator::KeyImage image = patternedKey(), bool plugged = true)
      : bench(std::move(image), true, nullptr, plugged) {}
  std::uint8_t memory(std::uint32_t address) const { return bench.key->memoryByte(address); }
  support::KeyBench bench;
  usb::UsbLink& link = *bench.link;
  CommandChannel channel{link, bench.clock};
  KeyCommands commands{link, channel};
};

struct MemoryRead {
  std::uint32_t address;
  std::uint32_t announced;  // length in the read request
  std::uint32_t endpoint;
  std::uint32_t length;  // bytes moved on the endpoint
  bool operator==(const MemoryRead&) const = default;
};

std::vector<MemoryRead> memoryReads(const support::KeyBench& bench) {
  std::vector<MemoryRead> reads;
  const std::vector<KeyRequest> ev = support::keyRequests(bench);
  for (std::size_t i = 0; i < ev.size(); ++i) {
    if (!ev[i].is(14, 1)) continue;
    MemoryRead r{(std::uint32_t{usb::le16(ev[i].setup, 4)} << 16) | usb::le16(ev[i].data, 1),
                 usb::le16(ev[i].data, 4), 0, 0};
    for (std::size_t j = i + 1; j < ev.size(); ++j) {
      if (ev[j].ev == "in") {
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
  Rig rig(patternedKey(0x0401));
  KeyIdentity id{};
  ASSERT_TRUE(rig.commands.ReadIdentity(id));
  const auto controls = support::keyControls(rig.bench);
  ASSERT_EQ(controls.size(), 2u);
  EXPECT_TRUE(controls[0].is(14, 7));
  EXPECT_EQ(controls[1].code(), 12);
  EXPECT_TRUE(memoryReads(rig.bench).empty());
  EXPECT_EQ(id, rig.bench.key->identityAnswer());
  EXPECT_EQ(usb::le16(id, 28), kProgramFirmware);
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
    Rig rig(patternedKey(c.type, c.program, c.large));
    // The identify reply as the host gets it, with the bytes that the memory reads bring marked
    // so that they show where they came from.
    std::vector<std::uint8_t> reply;
    rig.bench.driver->setInHook([&](std::uint8_t, std::vector<std::uint8_t>& bytes) {
      if (!reply.empty() || bytes.size() < 48) return;
      std::fill(bytes.begin() + 48, bytes.end(), 0xEE);
      bytes[25] = 0xEE;
      reply = bytes;
    });
    KeyIdentity id{};
    ASSERT_TRUE(rig.commands.ReadIdentity(id)) << c.type;
    const auto reads = memoryReads(rig.bench);
    // Small-packet chunks: compare only the chunk starts that the case lists.
    ASSERT_EQ(reads, c.reads) << c.type;
    ASSERT_EQ(reply.size(), id.size());

    const std::uint32_t base = c.reads[0].address;
    const std::uint32_t second = c.reads[c.large ? 1 : 5].address;
    for (std::size_t i = 0; i < 80; ++i) {
      if (i + 48 == 62 || i + 48 == 63) continue;
      EXPECT_EQ(id[48 + i], rig.memory(base + static_cast<std::uint32_t>(i))) << c.type << " " << i;
    }
    EXPECT_EQ(id[62], rig.memory(second + (c.firstByteTo62 ? 0 : 1))) << c.type;
    EXPECT_EQ(id[63], rig.memory(second + (c.firstByteTo62 ? 1 : 0))) << c.type;
    EXPECT_EQ(id[25], c.sets25 ? rig.memory(second + 22) : reply[25]) << c.type;
    EXPECT_EQ(usb::le16(id, 28), c.program);
    const std::uint32_t below = base - 0x30;
    for (std::size_t at : {4, 5, 6, 7, 16, 17, 18, 19, 32, 33, 40, 41, 42, 43}) {
      const bool replaced = c.program == kProgramBooter && c.large;
      EXPECT_EQ(id[at], replaced ? rig.memory(below + static_cast<std::uint32_t>(at)) : reply[at])
          << c.type << " byte " << at;
    }
    // Bytes the assembly never touches come from the identify reply.
    for (std::size_t at : {0, 8, 15, 20, 24, 34, 39, 44, 47}) {
      EXPECT_EQ(id[at], reply[at]) << c.type << " byte " << at;
    }
  }
}

TEST(ReadIdentity, AnyFailedStepFails) {
  // identify, its transfer setup, the reply, the first read, the second read
  for (int failAt = 1; failAt <= 9; ++failAt) {
    Rig rig;
    rig.bench.addFault("any:refuse@" + std::to_string(failAt));
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
    const auto reads = memoryReads(rig.bench);
    ASSERT_EQ(reads.size(), c.chunks) << c.length;
    for (std::size_t i = 0; i < reads.size(); ++i) {
      EXPECT_EQ(reads[i].address, 0x40030000 + i * c.chunk);
      EXPECT_EQ(reads[i].announced, c.announced);
      EXPECT_EQ(reads[i].endpoint, c.endpoint);
      EXPECT_EQ(reads[i].length, c.chunk);
    }
    const std::size_t moved = c.chunks * c.chunk;
    for (std::size_t i = 0; i < moved; ++i) {
      ASSERT_EQ(dest[i], rig.memory(0x40030000 + static_cast<std::uint32_t>(i))) << i;
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
  EXPECT_TRUE(support::keyRequests(rig.bench).empty());
  EXPECT_FALSE(rig.commands.ReadMemory(false, 0xFFA030, 88, dest));
  EXPECT_FALSE(rig.commands.ReadMemory(true, 0, 128, std::span<std::uint8_t>{}));
  EXPECT_TRUE(support::keyRequests(rig.bench).empty());
  EXPECT_TRUE(rig.commands.ReadMemory(false, 0xFFA030, 80, dest));
  EXPECT_TRUE(rig.commands.ReadMemory(true, 0, 0, dest));  // nothing asked, nothing moved
}

TEST(ReadMemory, FailedCommandClosesFailedReadLeavesOpen) {
  for (auto [fault, open] : {std::pair{"control:refuse@1+", false}, {"in:refuse@1+", true}}) {
    Rig rig;
    rig.bench.addFault(fault);
    std::array<std::uint8_t, 256> dest{};
    EXPECT_FALSE(rig.commands.ReadMemoryOrFill(true, 0x40000000, 256, dest));
    EXPECT_TRUE(std::all_of(dest.begin(), dest.end(), [](auto b) { return b == 0x55; }));
    EXPECT_EQ(rig.link.isOpen(), open);
  }
}

TEST(ShortSequences, EraseDataByKeyKindAlwaysCloses) {
  for (bool large : {true, false}) {
    Rig rig(patternedKey(0x0002, kProgramFirmware, large));
    EXPECT_TRUE(rig.commands.EraseData());
    const auto c = support::keyControls(rig.bench);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_TRUE(c[0].is(large ? 13 : 14, large ? 7 : 18));
    EXPECT_EQ(c[0].data.size(), large ? 9u : 6u);
    EXPECT_FALSE(rig.link.isOpen());
  }
  Rig rig(patternedKey(), false);
  EXPECT_FALSE(rig.commands.EraseData());
}

TEST(ShortSequences, StoreIdentityStopsAtTheFirstFailure) {
  KeyIdentity id{};
  for (std::size_t i = 0; i < id.size(); ++i) id[i] = static_cast<std::uint8_t>(i);
  {
    Rig rig;
    EXPECT_TRUE(rig.commands.StoreIdentity(id));
    const auto ev = support::keyRequests(rig.bench);
    std::vector<std::string> kinds;
    for (const KeyRequest& r : ev) kinds.push_back(r.ev);
    ASSERT_EQ(kinds, (std::vector<std::string>{"open", "descriptor", "control", "out", "control"}));
    EXPECT_EQ(ev[2].code(), 12);
    EXPECT_EQ(ev[2].data, (std::vector<std::uint8_t>{0, 0, 0, 0x80, 0, 0}));
    EXPECT_EQ(ev[3].endpoint, 0x02u);
    EXPECT_EQ(ev[3].data, std::vector<std::uint8_t>(id.begin(), id.end()));
    EXPECT_TRUE(ev[4].is(14, 8));
    EXPECT_TRUE(ev[4].ok) << "the key took the identity";
  }
  {
    Rig rig;
    rig.bench.addFault("out:refuse@1+");
    EXPECT_FALSE(rig.commands.StoreIdentity(id));
    EXPECT_EQ(support::keyControls(rig.bench).size(), 1u);
  }
}

}  // namespace
}  // namespace flashwell::protocol
