// The two flash-writing jobs on the virtual key: block order and addresses of the key firmware,
// the components region by region with the options' effects, phases and failures.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "protocol/component_table.h"
#include "protocol/worker.h"
#include "tests/protocol/worker_rig.h"
#include "tests/support/key_traffic.h"
#include "tests/support/test_packages.h"
#include "usb/bytes.h"

namespace flashwell::protocol {
namespace {

using support::KeyRequest;
using support::TestPackage;
using Pauses = std::vector<std::uint32_t>;

// The worker's rig after the start handshake and a connection, with the test package installed.
// The key firmware is written to a key in its booter, the components to one in its firmware.
struct Rig : testing::KeyRig {
  explicit Rig(const char* state = "fresh") : KeyRig(state) {
    block.startRequest.set(1);
    block.startDone.set(1);
    block.connectRequest.set(1);
    block.connected.set(1);
    package.install(block);
  }
  bool untouched() const { return support::keyRequests(bench).empty(); }

  TestPackage package;
};

struct Programmed {
  std::uint32_t address;
  std::vector<std::uint8_t> data;
};

// The program commands in the order sent, each with the block sent just before it.
std::vector<Programmed> programmed(const support::KeyBench& bench) {
  std::vector<Programmed> out;
  std::vector<std::uint8_t> last;
  for (const KeyRequest& e : support::keyRequests(bench)) {
    if (e.ev == "out") last = e.data;
    if (e.is(15, 2)) out.push_back({usb::le32(e.data, 1) & 0xFFFFFF, last});
  }
  return out;
}

TEST(KeyFirmware, BlocksGoFromTheLastToTheFirstSkippingBlankOnes) {
  Rig rig("booter");
  ASSERT_TRUE(rig.worker.WriteKeyFirmware());
  EXPECT_EQ(rig.block.keyFirmwareDone.get(), 1);
  const auto sent = programmed(rig.bench);
  // blocks 27, 26, 7, 5, 4, 3, 2, 1, 0 of 28
  std::vector<std::uint32_t> addresses;
  for (const auto& p : sent) addresses.push_back(p.address);
  EXPECT_EQ(addresses, (std::vector<std::uint32_t>{0x0FB000, 0x0FA000, 0x0E7000, 0x0E5000, 0x0E4000,
                                                   0x0E3000, 0x0E2000, 0x0E1000, 0x0E0000}));
  for (const auto& p : sent) {
    const std::uint32_t block = (p.address - 0x0E0000) / 4096;
    const std::uint8_t* expected = rig.package.image(support::kKeyFirmwareAt + block * 4096);
    ASSERT_EQ(p.data, std::vector<std::uint8_t>(expected, expected + 4096)) << block;
  }
  // the header block goes last
  EXPECT_EQ(sent.back().data[29], '3');
  // each block: setup write of 4096 bytes, then the block, then the program command
  for (const KeyRequest& e : support::keyControls(rig.bench)) {
    if (e.code() == 12) {
      EXPECT_EQ(e.data, (std::vector<std::uint8_t>{0, 0, 0, 0, 0x10, 0}));
    } else {
      EXPECT_EQ(usb::le16(e.data, 4), 2048);
    }
  }
  EXPECT_EQ(rig.count(12, 0), 9u);
}

TEST(KeyFirmware, RefusedBeforeAnyTraffic) {
  struct Case {
    const char* name;
    void (*spoil)(Rig&);
  };
  for (const Case& c : std::vector<Case>{
           {"not key firmware",
            [](Rig& r) {
              r.package.bytes[kFlashImageOffset + support::kKeyFirmwareAt + 29] = '1';
            }},
           {"too long", [](Rig& r) { usb::putLe32(r.block.regions[0].bytes, 8, 0x1C001); }},
           {"outside the package",
            [](Rig& r) { usb::putLe32(r.block.regions[0].bytes, 4, 0xFFFF0); }},
           {"past the image end",
            [](Rig& r) {
              usb::putLe32(r.block.regions[0].bytes, 4, 0xF0000);
              r.package.bytes[kFlashImageOffset + 0xF0000 + 29] = '3';
            }},
           {"below address 0", [](Rig& r) { usb::putLe32(r.block.regions[0].bytes, 16, 0x1000); }},
           {"no package", [](Rig& r) { r.block.imageBase = nullptr; }},
       }) {
    Rig rig("booter");
    c.spoil(rig);
    EXPECT_EQ(rig.worker.ProgramKeyFirmware(), FirmwareWrite::refused) << c.name;
    ASSERT_TRUE(rig.worker.WriteKeyFirmware());
    EXPECT_EQ(rig.block.keyFirmwareDone.get(), 2) << c.name;
    EXPECT_TRUE(rig.untouched()) << c.name;
  }
}

TEST(KeyFirmware, ShortSlotWritesNothingAndSucceeds) {
  Rig rig("booter");
  usb::putLe32(rig.block.regions[0].bytes, 8, 4095);
  EXPECT_EQ(rig.worker.ProgramKeyFirmware(), FirmwareWrite::written);
  EXPECT_TRUE(rig.untouched());
}

TEST(KeyFirmware, FailedTransferAndFailedProgramCommand) {
  struct Case {
    const char* fault;
    FirmwareWrite result;
  };
  for (const Case& c : {Case{"transfer-setup:refuse@1+", FirmwareWrite::transferFailed},
                        Case{"out:refuse@1+", FirmwareWrite::transferFailed},
                        Case{"program:refuse@1+", FirmwareWrite::programFailed}}) {
    Rig rig("booter");
    rig.bench.addFault(c.fault);
    EXPECT_EQ(rig.worker.ProgramKeyFirmware(), c.result) << c.fault;
    EXPECT_EQ(rig.count(15, 2), c.result == FirmwareWrite::programFailed ? 1u : 0u) << c.fault;
  }
}

struct Commit {
  std::uint32_t codeParam, index, count;
  std::vector<std::uint8_t> data;
};
struct RegionTraffic {
  int opens = 0;
  std::vector<Commit> commits;
};

std::map<std::uint16_t, RegionTraffic> regionTraffic(const support::KeyBench& bench) {
  std::map<std::uint16_t, RegionTraffic> out;
  std::vector<std::uint8_t> last;
  for (const KeyRequest& e : support::keyRequests(bench)) {
    if (e.ev == "out") last = e.data;
    if (!e.is(13, 15)) continue;
    const std::uint16_t code = usb::le16(e.data, 1);
    if (usb::le16(e.data, 3) == 0xFFFF) {
      ++out[code].opens;
    } else {
      out[code].commits.push_back(
          {usb::le16(e.data, 3), usb::le16(e.data, 5), usb::le16(e.data, 7), last});
    }
  }
  return out;
}

TEST(Regions, OptionOneSendsEveryComponentAsInTheImage) {
  Rig rig;
  rig.block.upgradeOption.set(1);
  const std::vector<std::uint8_t> before = rig.package.bytes;
  ASSERT_TRUE(rig.worker.WriteRegions());
  EXPECT_EQ(rig.block.regionsDone.get(), 1);
  EXPECT_EQ(rig.package.bytes, before) << "the package is left as it is";

  const auto traffic = regionTraffic(rig.bench);
  ASSERT_EQ(traffic.size(), 7u);
  for (const ComponentRow& row : kComponentTable) {
    const RegionTraffic& t = traffic.at(row.regionCode);
    EXPECT_EQ(t.opens, 1);
    const std::uint32_t offset = rig.block.regions[row.slot].imageOffset();
    const std::uint8_t* data = rig.package.image(offset);
    const std::uint32_t count = row.byteCount / 2048;
    // Lps4 EXP: blocks 0 to 3 (block 2 blank but followed by data), then blanks up to the end
    const std::size_t expectedBlocks = row.regionCode == 0x0640 ? 4 : count;
    ASSERT_EQ(t.commits.size(), expectedBlocks) << row.regionCode;
    for (std::size_t i = 0; i < t.commits.size(); ++i) {
      const Commit& c = t.commits[i];
      EXPECT_EQ(c.index, i);
      EXPECT_EQ(c.count, count);
      EXPECT_EQ(c.codeParam, std::uint32_t{data[row.codeByteAt]} * 256);
      ASSERT_EQ(c.data, std::vector<std::uint8_t>(data + 2048 * i, data + 2048 * (i + 1)))
          << row.regionCode << " block " << i;
    }
  }
  // LAMBDA's count is longer than its region: its last eight blocks are the GPS bytes after it.
  const auto& lambda = traffic.at(0x0225).commits;
  ASSERT_EQ(lambda.size(), 32u);
  const std::uint8_t* gps = rig.package.image(support::kGpsAt);
  EXPECT_EQ(lambda[24].data, std::vector<std::uint8_t>(gps, gps + 2048));
  EXPECT_EQ(traffic.at(0x0632).commits.size(), 48u) << "ZUNIT sends less than its region";
  EXPECT_EQ(traffic.at(0x0515).commits[0].codeParam, 0x1500u);
  // each region: opened, 2000 ms, blocks, closed
  EXPECT_EQ(rig.clock.pauses, Pauses(7, 2000));
}

TEST(Regions, OptionTwoMarksEveryHeaderToPassItOn) {
  Rig rig;
  rig.block.upgradeOption.set(2);
  ASSERT_TRUE(rig.worker.WriteRegions());
  EXPECT_EQ(rig.block.regionsDone.get(), 1);
  const auto traffic = regionTraffic(rig.bench);
  for (const ComponentRow& row : kComponentTable) {
    const auto& commits = traffic.at(row.regionCode).commits;
    ASSERT_FALSE(commits.empty());
    EXPECT_EQ(commits[0].data[7], 1) << row.regionCode;
    // only in what is sent: the program's copy of the package, which the catalogue reads, keeps
    // its own byte
    EXPECT_NE(rig.package.image(rig.block.regions[row.slot].imageOffset())[7], 1);
  }
  EXPECT_NE(rig.package.image(support::kKeyFirmwareAt)[7], 1) << "slot 0 is not a component";
}

TEST(Regions, OptionThreeOnlyOpensTheRegions) {
  Rig rig;
  rig.block.upgradeOption.set(3);
  ASSERT_TRUE(rig.worker.WriteRegions());
  EXPECT_EQ(rig.block.regionsDone.get(), 1);
  const auto controls = support::keyControls(rig.bench);
  ASSERT_EQ(controls.size(), 7u);
  std::vector<std::uint16_t> codes;
  for (const auto& e : controls) codes.push_back(usb::le16(e.data, 1));
  EXPECT_EQ(codes,
            (std::vector<std::uint16_t>{0x0515, 0x0631, 0x0634, 0x0632, 0x0225, 0x0635, 0x0640}));
  EXPECT_EQ(rig.clock.pauses, Pauses(7, 2000));
  EXPECT_GE(rig.bench.clock.elapsedMs(), 14000u);
  EXPECT_EQ(rig.bench.driver->openHandles(), 1u) << "a region without blocks leaves the key open";
}

TEST(Regions, PhasesInOrderThenTheAnswer) {
  Rig rig;
  rig.block.upgradeOption.set(1);
  // Each region's 2000 ms come right after its open: the phase then is the one it was opened in.
  std::vector<int> phases;
  rig.clock.afterPause = [&](std::uint64_t) { phases.push_back(rig.block.regionsDone.get()); };
  ASSERT_TRUE(rig.worker.WriteRegions());
  EXPECT_EQ(phases, (std::vector<int>{25, 20, 21, 22, 23, 24, 26}));
  EXPECT_EQ(rig.block.regionsDone.get(), 1);
}

// A refused booter open writes none of its blocks, a refused third block leaves two: either way
// the answer is 2 and the other six regions are written.
TEST(Regions, AFailureEndsOnlyItsRegion) {
  struct Case {
    const char* fault;
    std::size_t booterBlocks;
    std::size_t pauses;  // of 2000 ms, one for each region opened
  };
  for (const Case& c : {Case{"booter-region-open-fails", 0, 6}, Case{"out:refuse@3", 2, 7}}) {
    SCOPED_TRACE(c.fault);
    Rig rig;
    rig.block.upgradeOption.set(1);
    rig.bench.addFault(c.fault);
    ASSERT_TRUE(rig.worker.WriteRegions());
    EXPECT_EQ(rig.block.regionsDone.get(), 2);
    const auto traffic = regionTraffic(rig.bench);
    EXPECT_EQ(traffic.at(0x0515).commits.size(), c.booterBlocks);
    for (std::uint16_t code : {0x0631, 0x0634, 0x0632, 0x0225, 0x0635, 0x0640}) {
      EXPECT_FALSE(traffic.at(code).commits.empty()) << code;
    }
    EXPECT_EQ(traffic.at(0x0631).commits.size(), 56u);
    EXPECT_EQ(rig.clock.pauses, Pauses(c.pauses, 2000));
  }
}

TEST(Regions, SlotsOutsideThePackageAreNeverRead) {
  Rig rig;
  rig.block.upgradeOption.set(1);
  usb::putLe32(rig.block.regions[5].bytes, 4, 0x200000);  // GPS beyond the package
  usb::putLe32(rig.block.regions[7].bytes, 4, 0xFF000);   // Lps4 EXP in the image's last 4 KiB
  ASSERT_TRUE(rig.worker.WriteRegions());
  EXPECT_EQ(rig.block.regionsDone.get(), 2);
  const auto traffic = regionTraffic(rig.bench);
  EXPECT_EQ(traffic.count(0x0635), 0u) << "not even opened";
  EXPECT_EQ(traffic.count(0x0640), 0u);
  EXPECT_EQ(traffic.at(0x0631).commits.size(), 56u);
}

TEST(Regions, BlankTestStopsAtTheEndOfTheImage) {
  Rig rig;
  // The image's last 8 KiB: data in the first block only; the 0xC000 bytes after the later
  // blocks would run past the image.
  std::uint8_t* tail = rig.package.bytes.data() + kFlashImageOffset + 0xFE000;
  std::fill(tail, tail + 2048, 0x5A);
  // What follows the image in the package is not image: it must not count as data.
  std::fill(tail + 0x2000, tail + 0x2010, 'L');
  usb::putLe32(rig.block.regions[7].bytes, 4, 0xFE000);
  ASSERT_EQ(rig.worker.slotData(rig.block.regions[7]).size(), 0x2000u);
  const OptionWrites& only = writesOf(UpgradeOption::only);
  const auto image = componentImage(rig.block, {26, 7, 0x0640, 29, 0x2000}, only);
  ASSERT_TRUE(image);
  EXPECT_EQ(componentBlocksSent(*image), (std::vector<std::uint32_t>{0}));
  EXPECT_TRUE(rig.worker.WriteRegion(0x0640, *image));
  const auto traffic = regionTraffic(rig.bench);
  ASSERT_EQ(traffic.at(0x0640).commits.size(), 1u);
  // A count that needs bytes beyond the image is not sent: the region is not even opened.
  EXPECT_FALSE(componentImage(rig.block, {26, 7, 0x0640, 29, 0x2800}, only));
}

}  // namespace
}  // namespace flashwell::protocol
