// The worker's jobs one at a time on the virtual key: identity retries, booter entry and exit
// with their exact pauses, the versions job, the mark and the erases.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/protocol/worker_rig.h"

namespace flashwell::protocol {
namespace {

using emulator::FaultKind;
using emulator::FaultSite;
using testing::KeyRig;
using Pauses = std::vector<std::uint32_t>;

using support::KeyRequest;
constexpr std::uint32_t kEvery = emulator::kEveryOccurrence;

// A key whose booter runs with its firmware whole, as after a restart into the booter.
emulator::KeyImage inItsBooter() {
  emulator::KeyImage image = support::namedKey("fresh");
  image.program = emulator::KeyProgram::booter;
  return image;
}

TEST(IdentityJob, ReadsIntoTheBlock) {
  KeyRig rig;
  rig.started();
  rig.block.identity.fill(0x77);
  ASSERT_TRUE(rig.worker.ReadIdentityJob());
  EXPECT_EQ(rig.block.identityDone.get(), 1);
  EXPECT_EQ(programCode(rig.block.identity), kProgramFirmware);
  EXPECT_EQ(rig.block.identity[48], rig.bench.key->configuration()[0]);
}

TEST(IdentityJob, ThreeAttemptsThenUnreadable) {
  for (std::uint32_t failures : {1, 2, 3, 5}) {
    KeyRig rig;
    rig.started();
    rig.fault(FaultSite::identify, FaultKind::refuse, 1, failures);
    rig.block.identity.fill(0x77);
    ASSERT_TRUE(rig.worker.ReadIdentityJob());
    const bool read = failures < 3;
    EXPECT_EQ(rig.block.identityDone.get(), read ? 1 : 2) << failures;
    EXPECT_EQ(rig.count(14, 7), std::min(failures + 1, 3u)) << failures;
    // The block's identity is zeroed at the start and only filled by a successful read.
    EXPECT_EQ(rig.block.identity[0], read ? rig.bench.key->identityAnswer()[0] : 0) << failures;
    // Each failure closed the key and cleared connected; the key was there, so no pauses.
    EXPECT_EQ(rig.block.connected.get(), read ? 1 : 0) << failures;
    EXPECT_EQ(rig.bench.driver->openHandles(), read ? 1u : 0u) << failures;
    EXPECT_TRUE(rig.clock.pauses.empty());
  }
}

TEST(IdentityJob, StopDuringTheRetriesReturnsFalse) {
  KeyRig rig("fresh", /*plugged=*/false);
  rig.started(false);
  rig.clock.afterPause = [&](std::uint64_t t) {
    if (t == 2000) rig.block.exitRequest.set(1);
  };
  EXPECT_FALSE(rig.worker.ReadIdentityJob());
  EXPECT_EQ(rig.block.identityDone.get(), 0);
}

TEST(KeyStateJob, ReportsTheRunningProgram) {
  struct Case {
    const char* state;
    std::optional<std::uint16_t> program;  // the identity's program code, rewritten
    KeyStatus status;
  };
  for (const Case& c :
       {Case{"booter", {}, KeyStatus::booterRuns}, Case{"fresh", {}, KeyStatus::firmwareRuns},
        Case{"fresh", std::uint16_t{0x1234}, KeyStatus::firmwareRuns}}) {
    KeyRig rig(c.state);
    rig.started();
    if (c.program) {
      rig.bench.driver->setInHook([&](std::uint8_t, std::vector<std::uint8_t>& bytes) {
        if (bytes.size() == kIdentitySize) usb::putLe16(bytes, 28, *c.program);
      });
    }
    EXPECT_EQ(rig.worker.KeyState(), c.status) << c.state;
  }
  KeyRig rig;
  rig.started();
  rig.fault(FaultSite::in, FaultKind::refuse, 1, kEvery);
  EXPECT_EQ(rig.worker.KeyState(), KeyStatus::unreadable);
}

// Booter entry and exit: the restarts, the pauses and the reconnection.
TEST(BooterJobs, RestartPauseAndReconnect) {
  struct Case {
    bool inBooter;            // the key runs its booter at the start
    bool leave;               // LeaveBooter, else EnterBooter
    std::uint32_t absenceMs;  // how long the key is away after a restart
    std::size_t restarts;
    Pauses pauses;
  };
  // Entering: back before the 2000 ms are over, no wait for the key; back later, Connect
  // retries every second and gives the key 3000 ms to settle. Leaving: 500 ms after the
  // identity read, the restart, then 10000 ms.
  const Case cases[] = {
      {true, false, 1500, 0, {}},
      {false, false, 1500, 1, {2000}},
      {false, false, 3500, 1, {2000, 1000, 1000, 3000}},
      {true, true, 1500, 1, {500, 10000}},
  };
  for (const Case& c : cases) {
    const std::string name = std::string(c.leave ? "leave" : "enter") + " after " +
                             std::to_string(c.absenceMs) + (c.inBooter ? " in booter" : "");
    KeyRig rig(c.inBooter ? inItsBooter() : support::namedKey("fresh"));
    rig.bench.key->timing().reenumerationMs = c.absenceMs;
    rig.started();
    ASSERT_TRUE(c.leave ? rig.worker.LeaveBooter() : rig.worker.EnterBooter()) << name;
    EXPECT_EQ((c.leave ? rig.block.leaveBooterDone : rig.block.enterBooterDone).get(), 1) << name;
    EXPECT_EQ(rig.count(15, 4), c.restarts) << name;
    EXPECT_EQ(rig.clock.pauses, c.pauses) << name;
    EXPECT_EQ(rig.bench.key->program(),
              c.leave ? emulator::KeyProgram::firmware : emulator::KeyProgram::booter)
        << name;
    EXPECT_EQ(rig.block.connected.get(), 1) << name;
    if (c.restarts == 0) continue;
    // The dead handle was dropped: nothing more went to it, the next traffic is a new open.
    const std::vector<KeyRequest> requests = support::keyRequests(rig.bench);
    const auto restart = std::find_if(requests.begin(), requests.end(),
                                      [](const KeyRequest& r) { return r.is(15, 4); });
    ASSERT_NE(restart, requests.end()) << name;
    const auto after = std::find_if(std::next(restart), requests.end(), [](const KeyRequest& r) {
      return r.ev == "open" || r.ev == "control" || r.ev == "in" || r.ev == "out";
    });
    ASSERT_NE(after, requests.end()) << name;
    EXPECT_EQ(after->ev, "open") << name;
    EXPECT_GE(after->t, restart->t + c.pauses.front()) << name;
  }
}

TEST(BooterJobs, LeavingRestartsHalfASecondAfterTheIdentityRead) {
  KeyRig rig(inItsBooter());
  rig.started();
  ASSERT_TRUE(rig.worker.LeaveBooter());
  const std::vector<KeyRequest> ins = rig.requests("in");
  const KeyRequest restart = rig.controls(15, 4).front();
  const auto read =
      std::find_if(ins.rbegin(), ins.rend(), [&](const auto& e) { return e.t <= restart.t; });
  ASSERT_NE(read, ins.rend());
  EXPECT_EQ(read->length, kIdentitySize);
  // The trace stamps a command once the key has taken it.
  EXPECT_EQ(restart.t, read->t + 500 + rig.bench.key->timing().commandMs);
}

TEST(EnterBooter, KeepsRestartingUntilTheBooterRuns) {
  KeyRig rig;
  rig.started();
  rig.fault(FaultSite::restart, FaultKind::stay, 1, 2);
  ASSERT_TRUE(rig.worker.EnterBooter());
  EXPECT_EQ(rig.count(15, 4), 3u);
  EXPECT_EQ(rig.clock.pauses, (Pauses{2000, 2000, 2000}));
}

TEST(EnterBooter, StopsOnExit) {
  KeyRig rig;
  rig.started();
  rig.fault(FaultSite::restart, FaultKind::stay, 1, kEvery);
  rig.clock.afterPause = [&](std::uint64_t t) {
    if (t >= 4000) rig.block.exitRequest.set(1);
  };
  EXPECT_FALSE(rig.worker.EnterBooter());
  EXPECT_EQ(rig.block.enterBooterDone.get(), 0);
}

TEST(LeaveBooter, WaitsThroughConnectForAnUnpluggedKey) {
  KeyRig rig(inItsBooter());
  rig.started();
  // Pulled out as it restarts, plugged back in at 13500 ms.
  rig.fault(FaultSite::restart, FaultKind::unplugForGood);
  rig.bench.driver->schedulePlug(13500);
  ASSERT_TRUE(rig.worker.LeaveBooter());
  EXPECT_EQ(rig.block.leaveBooterDone.get(), 1);
  EXPECT_EQ(rig.clock.pauses, (Pauses{500, 10000, 1000, 1000, 1000, 3000}));
  EXPECT_EQ(rig.block.connected.get(), 1);
}

TEST(LeaveBooter, ExitBeforeStartReturnsFalseWithoutTraffic) {
  KeyRig rig;
  rig.started(false);
  rig.block.exitRequest.set(1);
  EXPECT_FALSE(rig.worker.LeaveBooter());
  EXPECT_TRUE(rig.requests("open").empty());
}

TEST(EraseJobs, FirmwareAreaAndDataFlash) {
  struct Case {
    bool firmwareArea;  // EraseKeyFirmware, which the booter takes; else EraseDataFlash
    FaultSite site;
    std::uint8_t code, sub;
  };
  for (const Case& c :
       {Case{true, FaultSite::erase, 15, 1}, Case{false, FaultSite::dataErase, 13, 7}}) {
    for (bool accepted : {true, false}) {
      KeyRig rig(c.firmwareArea ? "booter" : "fresh");
      rig.started();
      if (!accepted) rig.fault(c.site, FaultKind::refuse);
      ASSERT_TRUE(c.firmwareArea ? rig.worker.EraseKeyFirmware() : rig.worker.EraseDataFlash());
      const SharedByte& done = c.firmwareArea ? rig.block.eraseDone : rig.block.dataEraseDone;
      EXPECT_EQ(done.get(), accepted ? 1 : 2) << c.firmwareArea << accepted;
      EXPECT_EQ(rig.count(c.code, c.sub), 1u) << c.firmwareArea << accepted;
    }
  }
}

std::uint32_t headerAddressOf(const KeyRequest& e) {
  return (std::uint32_t{usb::le16(e.setup, 4)} << 16) | usb::le16(e.data, 1);
}

TEST(Versions, ReadsEveryStoredHeaderInLargeChunks) {
  KeyRig rig("small-packet");  // the headers are read in the large-packet manner anyway
  rig.started();
  ComponentVersion marker{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  rig.block.componentVersions.fill(marker);
  ASSERT_TRUE(rig.worker.ReadVersions());
  EXPECT_EQ(rig.block.versionsDone.get(), 1);

  std::vector<std::uint32_t> starts;
  for (const KeyRequest& e : rig.controls(14, 1)) starts.push_back(headerAddressOf(e));
  std::vector<std::uint32_t> expected;
  for (std::uint32_t a : {0x00000u, 0x30000u, 0x40000u, 0x50000u, 0x74000u, 0x20000u}) {
    expected.push_back(0x40000000 | a);
    expected.push_back((0x40000000 | a) + 128);
  }
  EXPECT_EQ(starts, expected);
  for (const KeyRequest& e : rig.requests("in")) {
    if (e.length != kIdentitySize) {
      EXPECT_EQ(e.endpoint, 0x82u);
    }
  }

  const auto mem = [&](std::uint32_t a) { return rig.bench.key->memoryByte(a); };
  const std::uint32_t at[8] = {0, 0x30000, 0x40000, 0x50000, 0x74000, 0, 0, 0x20000};
  for (std::size_t i : {0, 1, 2, 3, 4, 7}) {
    const std::uint32_t h = 0x40000000 | at[i];
    const ComponentVersion& v = rig.block.componentVersions[i];
    EXPECT_EQ(v.major, mem(h + 30));
    EXPECT_EQ(v.minor, mem(h + 31));
    EXPECT_EQ(v.patch, mem(h + 32));
    EXPECT_EQ(v.day, mem(h + 12));
    EXPECT_EQ(v.month, mem(h + 13));
    EXPECT_EQ(v.century, mem(h + 14));
    EXPECT_EQ(v.year, mem(h + 15));
  }
  for (std::size_t i : {5, 6, 8, 9}) EXPECT_EQ(rig.block.componentVersions[i].major, 0xEE);
  EXPECT_EQ(rig.block.keyVariant.get(), mem(0x40000007));
}

TEST(Versions, FailureAtEntryThreeKeepsTheRest) {
  KeyRig rig;
  rig.started();
  ComponentVersion marker{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  rig.block.componentVersions.fill(marker);
  // Entries 0 to 2 take two reads each; the seventh asks for entry 3's header.
  rig.fault(FaultSite::memoryRead, FaultKind::refuse, 7);
  ASSERT_TRUE(rig.worker.ReadVersions());
  EXPECT_EQ(rig.block.versionsDone.get(), 2);
  EXPECT_EQ(headerAddressOf(rig.controls(14, 1).back()), 0x40050000u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_NE(rig.block.componentVersions[i].major, 0xEE) << i;
  for (std::size_t i = 3; i < 10; ++i) EXPECT_EQ(rig.block.componentVersions[i].major, 0xEE) << i;
  EXPECT_EQ(rig.count(14, 1), 7u) << "entries 0 to 2 and the failed request";
}

TEST(Mark, AlreadyClearStoresNothing) {
  emulator::KeyImage image = support::namedKey("fresh");
  image.configuration[6] = 0xFF;
  KeyRig rig(std::move(image));
  rig.started();
  ASSERT_TRUE(rig.worker.ClearMark());
  EXPECT_EQ(rig.block.markDone.get(), 1);
  EXPECT_EQ(rig.count(14, 8), 0u);
}

TEST(Mark, StoresTheIdentityWithOnlyByte54Changed) {
  KeyRig rig;
  rig.started();
  ASSERT_NE(rig.bench.key->configuration()[6], 0xFF);
  KeyIdentity before{};
  ASSERT_EQ(rig.worker.ReadIdentityWithRetry(before), IdentityRead::read);
  ASSERT_TRUE(rig.worker.ClearMark());
  EXPECT_EQ(rig.block.markDone.get(), 1);
  EXPECT_EQ(rig.count(14, 8), 1u);
  const std::vector<KeyRequest> outs = rig.requests("out");
  ASSERT_FALSE(outs.empty());
  KeyIdentity expected = before;
  expected[54] = 0xFF;
  EXPECT_EQ(outs.back().data, std::vector<std::uint8_t>(expected.begin(), expected.end()));
}

TEST(Mark, FailuresAnswerTwo) {
  for (FaultSite refused : {FaultSite::in, FaultSite::out}) {
    KeyRig rig;
    rig.started();
    rig.fault(refused, FaultKind::refuse, 1, kEvery);
    ASSERT_TRUE(rig.worker.ClearMark());
    EXPECT_EQ(rig.block.markDone.get(), 2);
  }
}

}  // namespace
}  // namespace flashwell::protocol
