// The key's two programs, its flash and regions, and its rules on which program does what.

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "emulator/sample_components.h"
#include "tests/support/key_frames.h"
#include "usb/bytes.h"

namespace flashwell::emulator {
namespace {

using support::KeyBench;
using support::namedKey;

std::uint16_t programOf(const std::vector<std::uint8_t>& identity) {
  return usb::le16(identity, 28);
}

std::vector<std::uint8_t> newFirmware() {
  return makeComponent({.code = '3',
                        .major = 0x02,
                        .minor = 0x05,
                        .patch = 0x00,
                        .day = 0x18,
                        .month = 0x03,
                        .year = 0x24,
                        .payloadBytes = 0x2000 - 0x10,
                        .seed = 9});
}

// Programs a whole firmware image into the booter's area, block by block.
void programFirmware(KeyBench& host, const std::vector<std::uint8_t>& image) {
  for (std::size_t at = 0; at < image.size(); at += kFlashBlockSize) {
    std::vector<std::uint8_t> block(kFlashBlockSize, 0xFF);
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(at),
                std::min(kFlashBlockSize, image.size() - at), block.begin());
    ASSERT_TRUE(sendBlock(host, block));
    ASSERT_TRUE(flashCommand(host, 2, static_cast<std::uint32_t>(kFirmwareAreaStart + at), 2048));
  }
}

TEST(VirtualKeyPrograms, RestartLeavesTheBusAndComesBackInTheOtherProgram) {
  KeyBench host(namedKey("fresh"));
  EXPECT_EQ(programOf(identify(host)), 0x33);
  ASSERT_TRUE(open(host));
  ASSERT_TRUE(flashCommand(host, 4));
  const std::uint64_t off = host.driver->nowMs();
  // The handle opened before the restart is dead at once.
  EXPECT_TRUE(readEp2(host, 128).empty());
  host.link->UsbClose();
  host.clock.sleepMs(1499);
  EXPECT_FALSE(host.driver->keyPresent());
  host.clock.sleepMs(1);
  EXPECT_TRUE(host.driver->keyPresent());
  EXPECT_EQ(programOf(identify(host)), 16);

  // The trace has the unplug right after the restart and the plug 1500 ms later.
  std::vector<TraceEvent> bus;
  for (const TraceEvent& e : host.traceEvents()) {
    if (e.ev == "plug" || e.ev == "unplug") bus.push_back(e);
  }
  ASSERT_EQ(bus.size(), 3u);
  EXPECT_EQ(bus[1].ev, "unplug");
  EXPECT_EQ(bus[1].t, off);
  EXPECT_EQ(bus[2].t, off + 1500);
}

TEST(VirtualKeyPrograms, BooterStartsTheFirmwareOnlyWhenTheAreaHoldsAValidOne) {
  struct Case {
    const char* what;
    void (*spoil)(std::vector<std::uint8_t>& area);
    std::uint16_t comesBackIn;
  };
  const Case cases[] = {
      {"valid firmware", [](std::vector<std::uint8_t>&) {}, 0x33},
      {"erased area", [](std::vector<std::uint8_t>& a) { std::fill(a.begin(), a.end(), 0xFF); },
       16},
      {"checksum broken", [](std::vector<std::uint8_t>& a) { a[0x40] ^= 0x01; }, 16},
      {"not key firmware", [](std::vector<std::uint8_t>& a) { a[29] = '1'; }, 16},
      {"word count past the area",
       [](std::vector<std::uint8_t>& a) { usb::putLe32(a, 0, 0x00FFFFFF); }, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KeyImage image = namedKey("fresh");
    image.program = KeyProgram::booter;
    c.spoil(image.firmwareArea);
    KeyBench host(std::move(image));
    ASSERT_TRUE(restartAndWait(host));
    EXPECT_EQ(programOf(identify(host)), c.comesBackIn);
  }
}

TEST(VirtualKeyPrograms, PowerCycleStartsTheFirmwareWhenValid) {
  KeyImage image = namedKey("fresh");
  image.program = KeyProgram::booter;
  KeyBench host(std::move(image));
  EXPECT_EQ(programOf(identify(host)), 16);
  host.driver->unplug();
  host.driver->plug();
  host.link->UsbClose();
  EXPECT_EQ(programOf(identify(host)), 0x33);
}

TEST(VirtualKeyFlash, EraseOnlyInTheBooterAndItTakes1500Ms) {
  KeyBench host(namedKey("fresh"));
  EXPECT_FALSE(flashCommand(host, 1, 0, 2048));
  EXPECT_TRUE(holdsValidFirmware(host.key->firmwareArea()));

  ASSERT_TRUE(restartAndWait(host));
  ASSERT_TRUE(open(host));
  const std::uint64_t before = host.driver->nowMs();
  ASSERT_TRUE(flashCommand(host, 1, 0, 2048));
  EXPECT_EQ(host.driver->nowMs() - before, 1500u + 1u);
  EXPECT_TRUE(std::all_of(host.key->firmwareArea().begin(), host.key->firmwareArea().end(),
                          [](std::uint8_t b) { return b == 0xFF; }));
}

TEST(VirtualKeyFlash, ProgrammingClearsBitsOnlyAndNeedsTheErase) {
  KeyBench host(namedKey("booter"));
  const std::vector<std::uint8_t> image = newFirmware();
  programFirmware(host, image);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), host.key->firmwareArea().begin()));
  ASSERT_TRUE(restartAndWait(host));
  const auto id = identify(host);
  EXPECT_EQ(programOf(id), 0x33);
  // The new firmware's version and date.
  EXPECT_EQ(id[26], 0x02);
  EXPECT_EQ(id[27], 0x05);
  EXPECT_EQ(id[20], 0x18);
  EXPECT_EQ(id[23], 0x24);

  // Over the old firmware without an erase: old AND new, which the booter will not start.
  KeyImage old = namedKey("fresh");
  old.program = KeyProgram::booter;
  const std::vector<std::uint8_t> before = old.firmwareArea;
  KeyBench over(std::move(old));
  programFirmware(over, image);
  for (std::size_t i = 0; i < image.size(); ++i) {
    ASSERT_EQ(over.key->firmwareArea()[i], before[i] & image[i]) << i;
  }
  ASSERT_TRUE(restartAndWait(over));
  EXPECT_EQ(programOf(identify(over)), 16);
}

TEST(VirtualKeyFlash, ProgramIsRefusedUnlessEverythingFits) {
  // What is wrong, the block sent, and the program command's address and count.
  using Case = std::tuple<const char*, std::size_t, std::uint32_t, std::uint16_t>;
  for (const auto& [what, blockBytes, address, count] : {
           Case{"below the area", 4096, 0x0DF000, 2048},
           Case{"the booter above the area", 4096, 0x0FC000, 2048},
           Case{"not a block boundary", 4096, 0x0E0800, 2048},
           Case{"count not 2048", 4096, 0x0E0000, 1024},
           Case{"block too short", 2048, 0x0E0000, 2048},
       }) {
    SCOPED_TRACE(what);
    KeyBench host(namedKey("booter"));
    transferSetup(host, 0, 4096);
    writeEp2(host, std::vector<std::uint8_t>(blockBytes, 0x00));
    EXPECT_FALSE(flashCommand(host, 2, address, count));
    EXPECT_TRUE(std::all_of(host.key->firmwareArea().begin(), host.key->firmwareArea().end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
  }
  // A block is used up by the command that takes it.
  KeyBench host(namedKey("booter"));
  ASSERT_TRUE(sendBlock(host, std::vector<std::uint8_t>(4096, 0)));
  EXPECT_TRUE(flashCommand(host, 2, 0x0FB000, 2048));
  EXPECT_FALSE(flashCommand(host, 2, 0x0FA000, 2048));
  // And the running firmware programs nothing.
  KeyBench firmware(namedKey("fresh"));
  ASSERT_TRUE(sendBlock(firmware, std::vector<std::uint8_t>(4096, 0)));
  EXPECT_FALSE(flashCommand(firmware, 2, 0x0FB000, 2048));
}

TEST(VirtualKeyRegions, OpenErasesAndCommitsWriteTheirBlock) {
  KeyBench host(namedKey("fresh"));
  ASSERT_NE(host.key->region(0x0632)[0], 0xFF);
  ASSERT_TRUE(longCommand(host, 15, 0x0632, 0xFFFF, 0, 0));
  EXPECT_TRUE(std::all_of(host.key->region(0x0632).begin(), host.key->region(0x0632).end(),
                          [](std::uint8_t b) { return b == 0xFF; }));
  // ZUNIT's 48 blocks run past the start of LAMBDA's window and stay in ZUNIT's storage.
  const std::vector<std::uint8_t> lambda(host.key->region(0x0225).begin(),
                                         host.key->region(0x0225).end());
  for (std::uint16_t i = 0; i < 48; ++i) {
    ASSERT_TRUE(sendBlock(host, std::vector<std::uint8_t>(2048, static_cast<std::uint8_t>(i))));
    ASSERT_TRUE(longCommand(host, 15, 0x0632, '2' * 256, i, 48)) << i;
  }
  EXPECT_EQ(host.key->region(0x0632)[47 * 2048 + 5], 47);
  EXPECT_TRUE(std::equal(lambda.begin(), lambda.end(), host.key->region(0x0225).begin()));
  // Reads at LAMBDA's window return LAMBDA's bytes, not ZUNIT's.
  EXPECT_EQ(readMemory(host, kExternalFlashBit | 0x40000, 16),
            std::vector<std::uint8_t>(lambda.begin(), lambda.begin() + 16));
}

TEST(VirtualKeyRegions, CommitsThatDoNotFitAreRefused) {
  const std::vector<std::uint8_t> block(2048, 0x11);
  {
    KeyBench host(namedKey("fresh"));
    ASSERT_TRUE(sendBlock(host, block));
    EXPECT_FALSE(longCommand(host, 15, 0x0631, '1' * 256, 0, 8)) << "region not opened";
  }
  {
    KeyBench host(namedKey("fresh"));
    ASSERT_TRUE(longCommand(host, 15, 0x0631, 0xFFFF, 0, 0));
    ASSERT_TRUE(sendBlock(host, block));
    EXPECT_FALSE(longCommand(host, 15, 0x0631, '1' * 256, 8, 8)) << "index not below count";
    EXPECT_FALSE(longCommand(host, 15, 0x0631, '1' * 256, 0, 8)) << "no block sent";
    ASSERT_TRUE(sendBlock(host, block));
    EXPECT_FALSE(longCommand(host, 15, 0x0631, '1' * 256, 64, 65)) << "past the storage";
    EXPECT_FALSE(longCommand(host, 15, 0x0999, 0xFFFF, 0, 0)) << "unknown region";
  }
  {
    KeyBench host(namedKey("booter"));
    EXPECT_FALSE(longCommand(host, 15, 0x0515, 0xFFFF, 0, 0)) << "the booter has no regions";
  }
}

TEST(VirtualKeyDataErase, EachKindTakesItsOwnCommandAndErasesEveryRegion) {
  struct Case {
    const char* state;
    bool longForm;
  };
  for (const Case c : {Case{"fresh", true}, Case{"small-packet", false}}) {
    SCOPED_TRACE(c.state);
    KeyBench host(namedKey(c.state));
    const bool wrong = c.longForm ? shortCommand(host, 18) : longCommand(host, 7, 0, 0, 0, 0);
    EXPECT_FALSE(wrong);
    host.link->UsbClose();
    ASSERT_TRUE(open(host));
    const std::uint64_t before = host.driver->nowMs();
    EXPECT_TRUE(c.longForm ? longCommand(host, 7, 0, 0, 0, 0) : shortCommand(host, 18));
    EXPECT_EQ(host.driver->nowMs() - before, 4000u + 1u);
    for (const RegionWindow& w : kRegionWindows) {
      EXPECT_TRUE(std::all_of(host.key->region(w.code).begin(), host.key->region(w.code).end(),
                              [](std::uint8_t b) { return b == 0xFF; }));
    }
  }
}

TEST(VirtualKeyFrames, MisframedCommandsStall) {
  struct Case {
    const char* what;
    usb::SetupPacket setup;
    std::size_t payload;
  };
  const Case cases[] = {
      {"device to host", {0xC0, 14, 0, 0, 0, 0, 6, 0}, 6},
      {"wValue", {0x40, 14, 1, 0, 0, 0, 6, 0}, 6},
      {"long command with 6 bytes", {0x40, 13, 0, 0, 0, 0, 6, 0}, 6},
      {"wLength differs from the data", {0x40, 14, 0, 0, 0, 0, 6, 0}, 9},
      {"flash command wIndex", {0x40, 15, 0, 0, 0, 0, 6, 0}, 6},
      {"unknown code", {0x40, 16, 0, 0, 0, 0, 6, 0}, 6},
      {"unknown sub-command", {0x40, 14, 0, 0, 0, 0, 6, 0}, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KeyBench host(namedKey("fresh"));
    ASSERT_TRUE(open(host));
    std::vector<std::uint8_t> payload(c.payload, 0);
    payload[0] = std::string(c.what) == "unknown sub-command" ? 99 : 7;
    EXPECT_EQ(host.link->UsbControlTransfer(payload, c.setup), -1);
    ASSERT_FALSE(host.traceEvents().empty());
    EXPECT_EQ(host.traceEvents().back().ok, false);
  }
}

TEST(VirtualKeyStoreIdentity, WritesBytes48To127BackIntoConfiguration) {
  KeyBench host(namedKey("fresh"));
  std::vector<std::uint8_t> id = identify(host);
  ASSERT_EQ(id.size(), 128u);
  EXPECT_NE(id[54], 0xFF);
  EXPECT_FALSE(shortCommand(host, 8)) << "nothing sent before";
  id[54] = 0xFF;
  ASSERT_TRUE(sendBlock(host, id));
  ASSERT_TRUE(shortCommand(host, 8));
  EXPECT_EQ(host.key->configuration()[kMarkByte], 0xFF);
  EXPECT_TRUE(std::equal(id.begin() + 48, id.end(), host.key->configuration().begin()));
  EXPECT_EQ(identify(host), id);
}

}  // namespace
}  // namespace flashwell::emulator

namespace flashwell::emulator {
namespace {

TEST(VirtualKeyImage, HandMadeImageGetsWholeMemories) {
  KeyImage image;
  image.program = KeyProgram::booter;
  image.firmwareArea.clear();
  image.regions.clear();
  support::KeyBench host(std::move(image));
  EXPECT_EQ(host.key->firmwareArea().size(), kFirmwareAreaSize);
  ASSERT_TRUE(sendBlock(host, std::vector<std::uint8_t>(4096, 0)));
  EXPECT_TRUE(flashCommand(host, 2, 0x0FB000, 2048));
  EXPECT_EQ(readMemory(host, kExternalFlashBit | 0x40000, 16), std::vector<std::uint8_t>(16, 0xFF));
}

}  // namespace
}  // namespace flashwell::emulator
