// Whole upgrades through the dialog against a fresh virtual key, for each mode, with the key
// then checked byte for byte; and the upgrade's steps one job at a time, out of order too.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "protocol/component_table.h"
#include "protocol/upgrade_option.h"
#include "sequencer/upgrade_modes.h"
#include "tests/protocol/worker_rig.h"
#include "tests/support/test_packages.h"
#include "tests/support/upgrade_run.h"

namespace flashwell::protocol {
namespace {

using testing::KeyRig;

// The package's bytes of a slot's region.
std::span<const std::uint8_t> image(const std::vector<std::uint8_t>& package,
                                    const RequestBlock& block, std::size_t slot,
                                    std::size_t length) {
  return std::span<const std::uint8_t>(package).subspan(
      kFlashImageOffset + block.regions[slot].imageOffset(), length);
}

std::size_t traced(const support::KeyBench& bench, const std::string& ev, std::uint32_t len = 0) {
  const auto events = bench.traceEvents();
  return static_cast<std::size_t>(std::count_if(events.begin(), events.end(), [&](const auto& e) {
    return e.ev == ev && (len == 0 || e.len == len);
  }));
}

// The entries of the versions column and the slot whose component each shows.
constexpr std::pair<std::size_t, std::size_t> kEntrySlots[] = {{0, 1}, {1, 3}, {2, 4},
                                                               {3, 5}, {4, 7}, {7, 2}};

class WholeUpgrade : public ::testing::TestWithParam<UpgradeOption> {};

TEST_P(WholeUpgrade, LeavesTheKeyHoldingThePackage) {
  const UpgradeOption option = GetParam();
  const OptionWrites& writes = writesOf(option);
  const std::vector<std::uint8_t> original = support::embeddedPackageCopy();
  support::UpgradeRun run;
  const std::vector<std::uint8_t> fresh(run.key->firmwareArea().begin(),
                                        run.key->firmwareArea().end());
  const RequestBlock& b = run.dialog->block();
  run.choose(option);
  std::vector<int> phases;
  ASSERT_TRUE(run.run(5000, [&] {
    const std::uint8_t v = b.regionsDone.get();
    if (v >= 20 && (phases.empty() || phases.back() != v)) phases.push_back(v);
  }));
  ASSERT_FALSE(run.dialog->failureReached());
  EXPECT_EQ(run.view.messageBoxes.back().text, run.text(sequencer::modeRow(option).reportText));
  EXPECT_EQ(phases, (std::vector<int>{25, 20, 21, 22, 23, 24, 26}));

  // The key's own firmware, block for block (blank blocks erased), and running.
  const auto firmware = image(original, b, 0, kMaxFirmwareLength);
  if (writes.keyFirmware) {
    EXPECT_TRUE(std::ranges::equal(run.key->firmwareArea(), firmware));
  } else {
    EXPECT_TRUE(std::ranges::equal(run.key->firmwareArea(), fresh));
  }
  EXPECT_EQ(run.key->program(), emulator::KeyProgram::firmware);
  EXPECT_EQ(programCode(b.identity), kProgramFirmware);
  const auto running = run.key->firmwareArea();
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(b.identity[20 + i], running[0x0C + i]);
  EXPECT_EQ(b.identity[26], running[0x1E]);
  EXPECT_EQ(b.identity[27], running[0x1F]);
  EXPECT_EQ(run.key->configuration()[6], 0xFF) << "the mark byte was cleared";

  // Every region holds exactly what was sent.
  for (const ComponentRow& row : kComponentTable) {
    const auto stored = run.key->region(row.regionCode);
    ASSERT_GE(stored.size(), row.byteCount);
    std::vector<std::uint8_t> expected(row.byteCount, 0xFF);
    if (writes.components) {
      const auto sent = image(original, b, row.slot, row.byteCount);
      expected.assign(sent.begin(), sent.end());
      if (writes.policyMark) expected[7] = 1;
    }
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), stored.begin()))
        << "region " << std::hex << row.regionCode;
    EXPECT_TRUE(std::all_of(stored.begin() + row.byteCount, stored.end(),
                            [](std::uint8_t x) { return x == 0xFF; }));
    // The mark goes only into what is sent: the program's copy is left as it is.
    const std::size_t mark = kFlashImageOffset + b.regions[row.slot].imageOffset() + 7;
    EXPECT_EQ(b.imageBase[mark], original[mark]);
  }

  // The versions read back are the package's (erased headers when nothing was sent).
  for (auto [entry, slot] : kEntrySlots) {
    const auto h = image(original, b, slot, 0x21);
    const ComponentVersion& v = b.componentVersions[entry];
    const bool empty = !writes.components;
    EXPECT_EQ(v.major, empty ? 0xFF : h[0x1E]) << entry;
    EXPECT_EQ(v.minor, empty ? 0xFF : h[0x1F]) << entry;
    EXPECT_EQ(v.patch, empty ? 0xFF : h[0x20]) << entry;
    EXPECT_EQ(v.day, empty ? 0xFF : h[0x0C]) << entry;
    EXPECT_EQ(v.year, empty ? 0xFF : h[0x0F]) << entry;
  }
  EXPECT_EQ(b.keyVariant.get(), !writes.components  ? 0xFF
                                : writes.policyMark ? 1
                                                    : image(original, b, 1, 8)[7]);

  // The trace: the key was found and opened, and the key firmware took 9 blocks of 28.
  EXPECT_GE(traced(run, "plug"), 1u);
  EXPECT_GE(traced(run, "open"), 1u);
  EXPECT_GE(traced(run, "descriptor"), 1u);
  const std::size_t blocks = writes.keyFirmware ? 9 : 0;
  EXPECT_EQ(traced(run, "out", 4096), blocks);
  EXPECT_EQ(run.key->commandsSeen(15, 2), blocks);
  EXPECT_EQ(run.key->commandsSeen(15, 4), writes.keyFirmware ? 2u : 0u)
      << "one restart into the booter, one out of it";
}

INSTANTIATE_TEST_SUITE_P(Modes, WholeUpgrade,
                         ::testing::Values(UpgradeOption::only, UpgradeOption::always,
                                           UpgradeOption::never));

// The worker on a fresh key with the embedded package, connected.
struct StepRig : KeyRig {
  explicit StepRig(std::string_view state = "fresh") : KeyRig(state) {
    installed = support::installPackage(package, block);
    started();
  }
  // Runs `job` until the stop, which comes `limitMs` after it began.
  bool stoppedAfter(bool (Worker::*job)(), std::uint64_t limitMs) {
    const std::uint64_t stopAt = bench.clock.elapsedMs() + limitMs;
    clock.afterPause = [&, stopAt](std::uint64_t t) {
      if (t >= stopAt) block.exitRequest.set(1);
    };
    return (worker.*job)();
  }
  std::vector<std::uint8_t> package = support::embeddedPackageCopy();
  bool installed = false;
};

TEST(KeyUpgradeSteps, FirmwareRefusesTheEraseTheBooterTakesIt) {
  StepRig rig;
  ASSERT_TRUE(rig.installed);
  ASSERT_TRUE(rig.worker.EraseKeyFirmware());
  EXPECT_EQ(rig.block.eraseDone.get(), 2) << "refused by the firmware";
  ASSERT_TRUE(rig.worker.EnterBooter());
  ASSERT_TRUE(rig.worker.EraseKeyFirmware());
  EXPECT_EQ(rig.block.eraseDone.get(), 1);
  // With its firmware area empty the key comes back in its booter: LeaveBooter keeps trying
  // until the stop.
  EXPECT_FALSE(rig.stoppedAfter(&Worker::LeaveBooter, 60000));
  EXPECT_EQ(rig.block.leaveBooterDone.get(), 0);
  EXPECT_GE(rig.count(15, 4), 4u);
  EXPECT_EQ(rig.bench.key->program(), emulator::KeyProgram::booter);
}

TEST(KeyUpgradeSteps, FirmwareWrittenWithoutEraseDoesNotStart) {
  StepRig rig;
  ASSERT_TRUE(rig.installed);
  ASSERT_TRUE(rig.worker.EnterBooter());
  ASSERT_TRUE(rig.worker.WriteKeyFirmware());
  EXPECT_FALSE(rig.stoppedAfter(&Worker::LeaveBooter, 30000));
  EXPECT_FALSE(std::ranges::equal(rig.bench.key->firmwareArea(),
                                  image(rig.package, rig.block, 0, kMaxFirmwareLength)));
  EXPECT_EQ(rig.bench.key->program(), emulator::KeyProgram::booter);
}

TEST(KeyUpgradeSteps, BooterKeyIsReadToo) {
  StepRig rig("booter");
  ASSERT_TRUE(rig.worker.ReadIdentityJob());
  EXPECT_EQ(rig.block.identityDone.get(), 1);
  EXPECT_EQ(programCode(rig.block.identity), kProgramBooter);
  ASSERT_TRUE(rig.worker.ReadVersions());
  EXPECT_EQ(rig.block.versionsDone.get(), 1);
  ASSERT_TRUE(rig.worker.EnterBooter());
  EXPECT_EQ(rig.block.enterBooterDone.get(), 1);
  EXPECT_EQ(rig.count(15, 4), 0u) << "already in its booter";
  EXPECT_EQ(traced(rig.bench, "in", 48), 0u) << "the booter's extra read asks 128 bytes";
}

TEST(KeyIdentities, ShortReplyCountsAsUnreadable) {
  // A reply with fewer bytes than asked would leave filler in the identity reported as read.
  KeyRig rig;
  rig.bench.driver->setInHook([](std::uint8_t, std::vector<std::uint8_t>& bytes) {
    if (bytes.size() == 128) bytes.resize(100);
  });
  ASSERT_TRUE(rig.worker.ReadIdentityJob());
  EXPECT_EQ(rig.block.identityDone.get(), 2);
  EXPECT_EQ(rig.count(14, 7), 3u);
}

TEST(KeyIdentities, EachMemoryFamilyIsAssembledFromItsOwnMemory) {
  for (int family : {10, 11, 12, 13, 14, 15, 18, 19}) {
    const std::string state = "family-" + std::to_string(family);
    KeyRig rig(state);
    rig.started();
    ASSERT_TRUE(rig.worker.ReadIdentityJob());
    ASSERT_EQ(rig.block.identityDone.get(), 1) << state;

    const KeyIdentity& id = rig.block.identity;
    const emulator::VirtualKey& key = *rig.bench.key;
    const auto config = key.configuration();
    const auto area = key.firmwareArea();
    for (std::size_t i = 0; i < 80; ++i) {
      if (i + 48 == 62 || i + 48 == 63) continue;
      EXPECT_EQ(id[48 + i], config[i]) << state << " " << i;
    }
    const auto reply = key.identityAnswer();
    const bool inOrder = family == 10 || family == 11;
    EXPECT_EQ(id[62], family == 19 ? reply[62] : area[inOrder ? 0x0A : 0x0B]) << state;
    EXPECT_EQ(id[63], family == 19 ? reply[63] : area[inOrder ? 0x0B : 0x0A]) << state;
    EXPECT_EQ(id[25], area[0x20]) << state;
    EXPECT_EQ(key.commandsSeen(14, 1), family == 19 ? 0u : 2u) << state;
  }
}

}  // namespace
}  // namespace flashwell::protocol
