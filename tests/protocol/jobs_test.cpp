// The worker's jobs one at a time on a scripted key: identity retries, booter entry and exit
// with their exact pauses, the versions job, the mark and the erases.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/protocol/worker_rig.h"

namespace flashwell::protocol {
namespace {

using testing::FakeEvent;
using testing::WorkerRig;
using Pauses = std::vector<std::uint32_t>;

TEST(IdentityJob, ReadsIntoTheBlock) {
  WorkerRig rig;
  rig.started();
  rig.block.identity.fill(0x77);
  ASSERT_TRUE(rig.worker.ReadIdentityJob());
  EXPECT_EQ(rig.block.identityDone.get(), 1);
  EXPECT_EQ(programCode(rig.block.identity), kProgramFirmware);
  EXPECT_EQ(rig.block.identity[48], rig.key.memory(0xFFA030));
}

TEST(IdentityJob, ThreeAttemptsThenUnreadable) {
  for (int failures : {1, 2, 3, 5}) {
    WorkerRig rig;
    rig.started();
    int identifies = 0;
    rig.key.accept = [&](const FakeEvent& e) {
      if (e.kind == FakeEvent::kControl && e.code() == 14 && e.sub() == 7) ++identifies;
      return !(e.kind == FakeEvent::kControl && e.code() == 14 && e.sub() == 7 &&
               identifies <= failures);
    };
    rig.block.identity.fill(0x77);
    ASSERT_TRUE(rig.worker.ReadIdentityJob());
    const bool read = failures < 3;
    EXPECT_EQ(rig.block.identityDone.get(), read ? 1 : 2) << failures;
    EXPECT_EQ(identifies, std::min(failures + 1, 3)) << failures;
    // The block's identity is zeroed at the start and only filled by a successful read.
    EXPECT_EQ(rig.block.identity[0], read ? rig.key.identity[0] : 0) << failures;
    // Each failure closed the key and cleared connected; the key was there, so no pauses.
    EXPECT_EQ(rig.block.connected.get(), read ? 1 : 0) << failures;
    EXPECT_EQ(rig.key.handleOpen(), read) << failures;
    EXPECT_TRUE(rig.clock.pauses.empty());
  }
}

TEST(IdentityJob, StopDuringTheRetriesReturnsFalse) {
  WorkerRig rig;
  rig.started();
  rig.key.present = false;
  rig.block.connected.set(0);
  rig.clock.afterPause = [&](std::uint64_t t) {
    if (t == 2000) rig.block.exitRequest.set(1);
  };
  EXPECT_FALSE(rig.worker.ReadIdentityJob());
  EXPECT_EQ(rig.block.identityDone.get(), 0);
}

TEST(KeyStateJob, ReportsTheRunningProgram) {
  for (auto [program, state] : {std::pair{kProgramBooter, KeyStatus::booterRuns},
                                {kProgramFirmware, KeyStatus::firmwareRuns},
                                {std::uint16_t{0x1234}, KeyStatus::firmwareRuns}}) {
    WorkerRig rig;
    rig.started();
    rig.key.program = program;
    EXPECT_EQ(rig.worker.KeyState(), state);
  }
  WorkerRig rig;
  rig.started();
  rig.key.accept = [](const FakeEvent& e) { return e.kind != FakeEvent::kIn; };
  EXPECT_EQ(rig.worker.KeyState(), KeyStatus::unreadable);
}

TEST(EnterBooter, AnswersAtOnceWhenTheBooterRuns) {
  WorkerRig rig;
  rig.started();
  rig.key.program = kProgramBooter;
  ASSERT_TRUE(rig.worker.EnterBooter());
  EXPECT_EQ(rig.block.enterBooterDone.get(), 1);
  EXPECT_EQ(rig.count(15, 4), 0u);
  EXPECT_TRUE(rig.clock.pauses.empty());
}

TEST(EnterBooter, RestartsClosesWaitsAndWaitsForTheKey) {
  struct Case {
    std::uint32_t absenceMs;
    Pauses pauses;
  };
  // Back before the 2000 ms are over: no wait for the key. Back later: Connect retries every
  // second and gives the key 3000 ms to settle.
  for (const Case& c : {Case{1500, {2000}}, Case{3500, {2000, 1000, 1000, 3000}}}) {
    WorkerRig rig;
    rig.started();
    rig.key.restartAbsenceMs = c.absenceMs;
    ASSERT_TRUE(rig.worker.EnterBooter());
    EXPECT_EQ(rig.block.enterBooterDone.get(), 1);
    EXPECT_EQ(rig.count(15, 4), 1u);
    EXPECT_EQ(rig.clock.pauses, c.pauses) << c.absenceMs;
    EXPECT_EQ(rig.key.program, kProgramBooter);
    // restart, then the link closed before the pause
    const auto& ev = rig.key.events;
    const auto restart = std::find_if(ev.begin(), ev.end(), [](const FakeEvent& e) {
      return e.kind == FakeEvent::kControl && e.code() == 15;
    });
    ASSERT_NE(restart, ev.end());
    EXPECT_EQ(std::next(restart)->kind, FakeEvent::kOpen) << "the dead handle was dropped";
    EXPECT_GE(std::next(restart)->t, restart->t + 2000);
  }
}

TEST(EnterBooter, KeepsRestartingUntilTheBooterRuns) {
  WorkerRig rig;
  rig.started();
  int restarts = 0;
  rig.key.accept = [&](const FakeEvent& e) {
    if (e.kind == FakeEvent::kControl && e.code() == 15 && e.sub() == 4) {
      rig.key.programAfterRestart = ++restarts < 3 ? kProgramFirmware : kProgramBooter;
    }
    return true;
  };
  ASSERT_TRUE(rig.worker.EnterBooter());
  EXPECT_EQ(rig.count(15, 4), 3u);
  EXPECT_EQ(rig.clock.pauses, (Pauses{2000, 2000, 2000}));
}

TEST(EnterBooter, StopsOnExit) {
  WorkerRig rig;
  rig.started();
  rig.key.programAfterRestart = kProgramFirmware;
  rig.clock.afterPause = [&](std::uint64_t t) {
    if (t >= 4000) rig.block.exitRequest.set(1);
  };
  EXPECT_FALSE(rig.worker.EnterBooter());
  EXPECT_EQ(rig.block.enterBooterDone.get(), 0);
}

TEST(LeaveBooter, PausesRestartsAndReconnects) {
  WorkerRig rig;
  rig.started();
  rig.key.program = kProgramBooter;
  ASSERT_TRUE(rig.worker.LeaveBooter());
  EXPECT_EQ(rig.block.leaveBooterDone.get(), 1);
  EXPECT_EQ(rig.count(15, 4), 1u);
  EXPECT_EQ(rig.clock.pauses, (Pauses{500, 10000}));
  const auto controls = rig.key.controls();
  const auto restart = std::find_if(controls.begin(), controls.end(),
                                    [](const FakeEvent& e) { return e.code() == 15; });
  ASSERT_NE(restart, controls.end());
  EXPECT_EQ(restart->t, 500u) << "500 ms after the identity read";
}

TEST(LeaveBooter, WaitsThroughConnectForAnUnpluggedKey) {
  WorkerRig rig;
  rig.started();
  rig.key.program = kProgramBooter;
  rig.key.onCommand = [&](const FakeEvent& e) {
    if (e.code() == 15) rig.key.present = false;  // pulled out as it restarts
  };
  rig.clock.afterPause = [&](std::uint64_t t) {
    if (t == 13500) rig.key.present = true;  // plugged back in
  };
  ASSERT_TRUE(rig.worker.LeaveBooter());
  EXPECT_EQ(rig.block.leaveBooterDone.get(), 1);
  EXPECT_EQ(rig.clock.pauses, (Pauses{500, 10000, 1000, 1000, 1000, 3000}));
  EXPECT_EQ(rig.block.connected.get(), 1);
}

TEST(LeaveBooter, ExitBeforeStartReturnsFalseWithoutTraffic) {
  WorkerRig rig;
  rig.started();
  rig.block.exitRequest.set(1);
  EXPECT_FALSE(rig.worker.LeaveBooter());
  EXPECT_TRUE(rig.key.events.empty());
}

TEST(EraseJobs, FirmwareAreaAndDataFlash) {
  for (bool accepted : {true, false}) {
    WorkerRig rig;
    rig.started();
    rig.key.accept = [&](const FakeEvent&) { return accepted; };
    ASSERT_TRUE(rig.worker.EraseKeyFirmware());
    EXPECT_EQ(rig.block.eraseDone.get(), accepted ? 1 : 2);
    ASSERT_TRUE(rig.worker.EraseDataFlash());
    EXPECT_EQ(rig.block.dataEraseDone.get(), accepted ? 1 : 2);
    EXPECT_EQ(rig.count(15, 1), 1u);
    EXPECT_EQ(rig.count(13, 7), 1u);
  }
}

std::uint32_t headerAddressOf(const FakeEvent& e) {
  return (std::uint32_t{usb::le16(e.setup, 4)} << 16) | usb::le16(e.data, 1);
}

TEST(Versions, ReadsEveryStoredHeaderInLargeChunks) {
  WorkerRig rig;
  rig.started();
  rig.key.largePacket = false;  // the headers are read in the large-packet manner anyway
  ComponentVersion marker{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  rig.block.componentVersions.fill(marker);
  ASSERT_TRUE(rig.worker.ReadVersions());
  EXPECT_EQ(rig.block.versionsDone.get(), 1);

  std::vector<std::uint32_t> starts;
  for (const FakeEvent& e : rig.key.controls()) {
    if (e.code() == 14 && e.sub() == 1) starts.push_back(headerAddressOf(e));
  }
  std::vector<std::uint32_t> expected;
  for (std::uint32_t a : {0x00000u, 0x30000u, 0x40000u, 0x50000u, 0x74000u, 0x20000u}) {
    expected.push_back(0x40000000 | a);
    expected.push_back((0x40000000 | a) + 128);
  }
  EXPECT_EQ(starts, expected);
  for (const FakeEvent& e : rig.key.events) {
    if (e.kind == FakeEvent::kIn) {
      EXPECT_EQ(e.endpoint, 0x82u);
    }
  }

  const auto mem = rig.key.memory;
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
  WorkerRig rig;
  rig.started();
  ComponentVersion marker{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  rig.block.componentVersions.fill(marker);
  rig.key.accept = [](const FakeEvent& e) {
    return !(e.kind == FakeEvent::kControl && e.code() == 14 && headerAddressOf(e) == 0x40050000);
  };
  ASSERT_TRUE(rig.worker.ReadVersions());
  EXPECT_EQ(rig.block.versionsDone.get(), 2);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_NE(rig.block.componentVersions[i].major, 0xEE) << i;
  for (std::size_t i = 3; i < 10; ++i) EXPECT_EQ(rig.block.componentVersions[i].major, 0xEE) << i;
  EXPECT_EQ(rig.count(14, 1), 7u) << "entries 0 to 2 and the failed request";
}

TEST(Mark, AlreadyClearStoresNothing) {
  WorkerRig rig;
  rig.started();
  rig.key.memory = [](std::uint32_t a) {
    return static_cast<std::uint8_t>(a == 0xFFA036 ? 0xFF : a);
  };
  ASSERT_TRUE(rig.worker.ClearMark());
  EXPECT_EQ(rig.block.markDone.get(), 1);
  EXPECT_EQ(rig.count(14, 8), 0u);
}

TEST(Mark, StoresTheIdentityWithOnlyByte54Changed) {
  WorkerRig rig;
  rig.started();
  ASSERT_NE(rig.key.memory(0xFFA036), 0xFF);
  KeyIdentity before{};
  ASSERT_EQ(rig.worker.ReadIdentityWithRetry(before), IdentityRead::read);
  ASSERT_TRUE(rig.worker.ClearMark());
  EXPECT_EQ(rig.block.markDone.get(), 1);
  EXPECT_EQ(rig.count(14, 8), 1u);
  std::vector<std::uint8_t> stored;
  for (const FakeEvent& e : rig.key.events) {
    if (e.kind == FakeEvent::kOut) stored = e.data;
  }
  KeyIdentity expected = before;
  expected[54] = 0xFF;
  EXPECT_EQ(stored, std::vector<std::uint8_t>(expected.begin(), expected.end()));
}

TEST(Mark, FailuresAnswerTwo) {
  for (auto refuse : {FakeEvent::kIn, FakeEvent::kOut}) {
    WorkerRig rig;
    rig.started();
    rig.key.accept = [refuse](const FakeEvent& e) { return e.kind != refuse; };
    ASSERT_TRUE(rig.worker.ClearMark());
    EXPECT_EQ(rig.block.markDone.get(), 2);
  }
}

}  // namespace
}  // namespace flashwell::protocol
