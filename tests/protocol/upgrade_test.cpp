// Whole upgrades at the worker's level: the real worker thread and a window thread that raises
// the requests in the order of an upgrade, against a fresh virtual key, for each option; then
// the key itself is checked byte for byte.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/embedded_package.h"
#include "emulator/emulated_driver.h"
#include "emulator/named_states.h"
#include "protocol/component_table.h"
#include "protocol/worker.h"
#include "tests/protocol/fake_key.h"
#include "tests/protocol/window_script.h"

namespace flashwell::protocol {
namespace {

using testing::SilentNotices;
using testing::WindowScript;

struct Upgrade {
  explicit Upgrade(const char* state = "fresh", bool plugged = true)
      : key(*emulator::namedKeyState(state)), driver(clock, key, &trace, plugged) {
    const auto embedded = catalogue::embeddedPackage();
    package.assign(embedded.begin(), embedded.end());
    original = package;
    block.zero();
    block.imageBase = package.data();
    block.imageSize = package.size();
    catalogue::Catalogue cat(package, catalogue::embeddedTables());
    slotsAssigned =
        cat.openPackage().result == catalogue::Result::ok && cat.assignRegionSlots(block.regions);
  }

  // Runs the worker thread while `window` plays the window thread's part, then stops it.
  template <typename Script>
  void run(Script window) {
    clock.addThread();
    std::thread thread([this] {
      worker.WorkerMain();
      clock.removeThread();
    });
    WindowScript script(clock);
    window(script);
    block.exitRequest.set(1);
    ended = script.waitFor(block.workerEnded);
    thread.join();
  }

  std::span<const std::uint8_t> image(std::size_t slot, std::size_t length) const {
    return std::span<const std::uint8_t>(original).subspan(
        kFlashImageOffset + block.regions[slot].imageOffset(), length);
  }
  std::size_t traced(const std::string& ev, std::uint32_t len = 0) const {
    const auto events = trace.events();
    return static_cast<std::size_t>(std::count_if(events.begin(), events.end(), [&](const auto& e) {
      return e.ev == ev && (len == 0 || e.len == len);
    }));
  }

  usb::SimulatedClock clock;
  emulator::VirtualKey key;
  emulator::Trace trace{nullptr, true};
  emulator::EmulatedDriver driver;
  std::vector<std::uint8_t> package;
  std::vector<std::uint8_t> original;
  RequestBlock block;
  SilentNotices notices;
  Worker worker{block, driver, clock, notices};
  bool slotsAssigned = false;
  bool ended = false;
};

// The entries of the versions column and the slot whose component each shows.
constexpr std::pair<std::size_t, std::size_t> kEntrySlots[] = {{0, 1}, {1, 3}, {2, 4},
                                                               {3, 5}, {4, 7}, {7, 2}};

class WholeUpgrade : public ::testing::TestWithParam<int> {};

TEST_P(WholeUpgrade, LeavesTheKeyHoldingThePackage) {
  const int option = GetParam();
  Upgrade u;
  ASSERT_TRUE(u.slotsAssigned);
  RequestBlock& b = u.block;
  std::vector<int> phases;
  u.run([&](WindowScript& w) {
    ASSERT_TRUE(w.ask(b.startRequest, b.startDone));
    ASSERT_TRUE(w.ask(b.connectRequest, b.connected));
    ASSERT_TRUE(w.ask(b.identityRequest, b.identityDone));
    ASSERT_TRUE(w.ask(b.versionsRequest, b.versionsDone));
    b.upgradeOption.set(static_cast<std::uint8_t>(option));
    ASSERT_TRUE(w.ask(b.enterBooterRequest, b.enterBooterDone));
    ASSERT_TRUE(w.ask(b.eraseRequest, b.eraseDone));
    ASSERT_TRUE(w.ask(b.keyFirmwareRequest, b.keyFirmwareDone));
    ASSERT_TRUE(w.ask(b.leaveBooterRequest, b.leaveBooterDone));
    ASSERT_TRUE(w.ask(b.dataEraseRequest, b.dataEraseDone));
    ASSERT_TRUE(w.ask(b.markRequest, b.markDone));
    b.regionsRequest.set(1);
    ASSERT_TRUE(w.waitUntil([&] {
      const std::uint8_t v = b.regionsDone.get();
      if (v >= 20 && (phases.empty() || phases.back() != v)) phases.push_back(v);
      return v == 1 || v == 2;
    }));
    ASSERT_TRUE(w.askAgain(b.identityRequest, b.identityDone));
    ASSERT_TRUE(w.askAgain(b.versionsRequest, b.versionsDone));
  });
  ASSERT_TRUE(u.ended);
  EXPECT_EQ(phases, (std::vector<int>{25, 20, 21, 22, 23, 24, 26}));

  for (const SharedByte* done :
       {&b.identityDone, &b.versionsDone, &b.enterBooterDone, &b.eraseDone, &b.keyFirmwareDone,
        &b.leaveBooterDone, &b.dataEraseDone, &b.markDone, &b.regionsDone}) {
    EXPECT_EQ(done->get(), 1);
  }

  // The key's own firmware, block for block (blank blocks erased), and running.
  const auto firmware = u.image(0, kMaxFirmwareLength);
  EXPECT_TRUE(std::ranges::equal(u.key.firmwareArea(), firmware));
  EXPECT_EQ(u.key.program(), emulator::KeyProgram::firmware);
  EXPECT_EQ(programCode(b.identity), kProgramFirmware);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(b.identity[20 + i], firmware[0x0C + i]);
  EXPECT_EQ(b.identity[26], firmware[0x1E]);
  EXPECT_EQ(b.identity[27], firmware[0x1F]);
  EXPECT_EQ(u.key.configuration()[6], 0xFF) << "the mark byte was cleared";

  // Every region holds exactly what was sent.
  for (const ComponentRow& row : kComponentTable) {
    const auto stored = u.key.region(row.regionCode);
    ASSERT_GE(stored.size(), row.byteCount);
    std::vector<std::uint8_t> expected(row.byteCount, 0xFF);
    if (option != 3) {
      const auto sent = u.image(row.slot, row.byteCount);
      expected.assign(sent.begin(), sent.end());
      if (option == 2) expected[7] = 1;
    }
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), stored.begin()))
        << "region " << std::hex << row.regionCode;
    EXPECT_TRUE(std::all_of(stored.begin() + row.byteCount, stored.end(),
                            [](std::uint8_t x) { return x == 0xFF; }));
    // The mark under option 2 goes only into what is sent: the program's copy is left as it is.
    const std::size_t mark = kFlashImageOffset + b.regions[row.slot].imageOffset() + 7;
    EXPECT_EQ(u.package[mark], u.original[mark]);
  }

  // The versions read back are the package's (erased headers under option 3).
  for (auto [entry, slot] : kEntrySlots) {
    const auto h = u.image(slot, 0x21);
    const ComponentVersion& v = b.componentVersions[entry];
    const bool empty = option == 3;
    EXPECT_EQ(v.major, empty ? 0xFF : h[0x1E]) << entry;
    EXPECT_EQ(v.minor, empty ? 0xFF : h[0x1F]) << entry;
    EXPECT_EQ(v.patch, empty ? 0xFF : h[0x20]) << entry;
    EXPECT_EQ(v.day, empty ? 0xFF : h[0x0C]) << entry;
    EXPECT_EQ(v.year, empty ? 0xFF : h[0x0F]) << entry;
  }
  EXPECT_EQ(b.keyVariant.get(), option == 3 ? 0xFF : option == 2 ? 1 : u.image(1, 8)[7]);

  // The trace: the key was found and opened, and the key firmware took 9 blocks of 28.
  EXPECT_GE(u.traced("plug"), 1u);
  EXPECT_GE(u.traced("open"), 1u);
  EXPECT_GE(u.traced("descriptor"), 1u);
  EXPECT_EQ(u.traced("out", 4096), 9u);
  EXPECT_EQ(u.key.commandsSeen(15, 2), 9u);
  EXPECT_EQ(u.key.commandsSeen(15, 4), 2u) << "one restart into the booter, one out of it";
}

INSTANTIATE_TEST_SUITE_P(Options, WholeUpgrade, ::testing::Values(1, 2, 3));

TEST(KeyUpgradeSteps, FirmwareRefusesTheEraseTheBooterTakesIt) {
  Upgrade u;
  RequestBlock& b = u.block;
  u.run([&](WindowScript& w) {
    ASSERT_TRUE(w.ask(b.startRequest, b.startDone));
    ASSERT_TRUE(w.ask(b.connectRequest, b.connected));
    ASSERT_TRUE(w.ask(b.eraseRequest, b.eraseDone));
    EXPECT_EQ(b.eraseDone.get(), 2) << "refused by the firmware";
    ASSERT_TRUE(w.ask(b.enterBooterRequest, b.enterBooterDone));
    ASSERT_TRUE(w.askAgain(b.eraseRequest, b.eraseDone));
    EXPECT_EQ(b.eraseDone.get(), 1);
    // With its firmware area empty the key comes back in its booter: LeaveBooter keeps trying
    // until the stop.
    b.leaveBooterRequest.set(1);
    EXPECT_FALSE(w.waitFor(b.leaveBooterDone, true, 60000));
  });
  EXPECT_TRUE(u.ended);
  EXPECT_EQ(b.leaveBooterDone.get(), 0);
  EXPECT_GE(u.key.commandsSeen(15, 4), 4u);
  EXPECT_EQ(u.key.program(), emulator::KeyProgram::booter);
}

TEST(KeyUpgradeSteps, FirmwareWrittenWithoutEraseDoesNotStart) {
  Upgrade u;
  RequestBlock& b = u.block;
  u.run([&](WindowScript& w) {
    ASSERT_TRUE(w.ask(b.startRequest, b.startDone));
    ASSERT_TRUE(w.ask(b.connectRequest, b.connected));
    ASSERT_TRUE(w.ask(b.enterBooterRequest, b.enterBooterDone));
    ASSERT_TRUE(w.ask(b.keyFirmwareRequest, b.keyFirmwareDone));
    b.leaveBooterRequest.set(1);
    EXPECT_FALSE(w.waitFor(b.leaveBooterDone, true, 30000));
  });
  EXPECT_FALSE(std::ranges::equal(u.key.firmwareArea(), u.image(0, kMaxFirmwareLength)));
  EXPECT_EQ(u.key.program(), emulator::KeyProgram::booter);
}

TEST(KeyUpgradeSteps, BooterKeyIsReadToo) {
  Upgrade u("booter");
  RequestBlock& b = u.block;
  u.run([&](WindowScript& w) {
    ASSERT_TRUE(w.ask(b.startRequest, b.startDone));
    ASSERT_TRUE(w.ask(b.connectRequest, b.connected));
    ASSERT_TRUE(w.ask(b.identityRequest, b.identityDone));
    ASSERT_TRUE(w.ask(b.versionsRequest, b.versionsDone));
    ASSERT_TRUE(w.ask(b.enterBooterRequest, b.enterBooterDone));
  });
  EXPECT_EQ(b.identityDone.get(), 1);
  EXPECT_EQ(programCode(b.identity), kProgramBooter);
  EXPECT_EQ(b.versionsDone.get(), 1);
  EXPECT_EQ(u.key.commandsSeen(15, 4), 0u) << "already in its booter";
  EXPECT_EQ(u.traced("in", 48), 0u) << "the booter's extra read asks 128 bytes";
}

TEST(KeyLink, LateKeyIsFoundOpenedAndIdentified) {
  Upgrade u("fresh", false);
  u.driver.schedulePlug(2500);
  RequestBlock& b = u.block;
  std::uint64_t connectedAt = 0;
  u.run([&](WindowScript& w) {
    ASSERT_TRUE(w.ask(b.startRequest, b.startDone));
    ASSERT_TRUE(w.ask(b.connectRequest, b.connected));
    connectedAt = u.clock.elapsedMs();
    ASSERT_TRUE(w.ask(b.identityRequest, b.identityDone));
  });
  // tries at 0, 1000 and 2000 ms after the request fail, 3000 succeeds, then 3000 ms to settle
  EXPECT_GE(connectedAt, 6000u);
  EXPECT_LE(connectedAt, 6500u);
  const auto events = u.trace.events();
  auto first = [&](const std::string& ev) {
    return std::find_if(events.begin(), events.end(), [&](const auto& e) { return e.ev == ev; });
  };
  const auto plug = first("plug"), open = first("open"), descriptor = first("descriptor"),
             control = first("control");
  ASSERT_NE(control, events.end());
  EXPECT_EQ(plug->t, 2500u);
  EXPECT_TRUE(plug < open && open < descriptor && descriptor < control);
  EXPECT_EQ(open->path, std::string(emulator::kDefaultKeyPath));
  EXPECT_EQ(control->setup, "400e000000000600");
  EXPECT_EQ(control->data, "070000000000");
  EXPECT_EQ(std::next(control)->setup, "400c000071040600");
  EXPECT_EQ(std::next(control)->data, "000000800001");
}

TEST(KeyIdentities, ShortReplyCountsAsUnreadable) {
  // A reply with fewer bytes than asked would leave filler in the identity reported as read.
  usb::SimulatedClock clock;
  emulator::VirtualKey key(*emulator::namedKeyState("fresh"));
  emulator::EmulatedDriver driver(clock, key);
  driver.setInHook([](std::uint8_t, std::vector<std::uint8_t>& bytes) {
    if (bytes.size() == 128) bytes.resize(100);
  });
  SilentNotices notices;
  RequestBlock block;
  block.zero();
  Worker worker(block, driver, clock, notices);
  ASSERT_TRUE(worker.ReadIdentityJob());
  EXPECT_EQ(block.identityDone.get(), 2);
  EXPECT_EQ(key.commandsSeen(14, 7), 3u);
}

TEST(KeyIdentities, EachMemoryFamilyIsAssembledFromItsOwnMemory) {
  for (int family : {10, 11, 12, 13, 14, 15, 18, 19}) {
    const std::string state = "family-" + std::to_string(family);
    usb::SimulatedClock clock;
    emulator::VirtualKey key(*emulator::namedKeyState(state));
    emulator::EmulatedDriver driver(clock, key);
    SilentNotices notices;
    RequestBlock block;
    block.zero();
    Worker worker(block, driver, clock, notices);
    ASSERT_TRUE(worker.Connect());
    ASSERT_TRUE(worker.ReadIdentityJob());
    ASSERT_EQ(block.identityDone.get(), 1) << state;

    const KeyIdentity& id = block.identity;
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
