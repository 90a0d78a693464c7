// The worker's loop: priority order, the answering rules, the start handshake and the
// connection, in simulated time.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/protocol/worker_rig.h"
#include "tests/support/test_packages.h"

namespace flashwell::protocol {
namespace {

using testing::KeyRig;
using Pauses = std::vector<std::uint32_t>;

TEST(WorkerLoop, ServesPendingJobsOneAPassInPriorityOrder) {
  KeyRig rig;
  std::vector<std::uint8_t> package = support::embeddedPackageCopy();
  ASSERT_TRUE(support::installPackage(package, rig.block));
  rig.started(false);
  RequestBlock& b = rig.block;
  struct Pair {
    const char* name;
    SharedByte* request;
    SharedByte* done;
  };
  // Listed in reverse, raised all at once.
  const std::vector<Pair> pairs = {
      {"mark", &b.markRequest, &b.markDone},
      {"versions", &b.versionsRequest, &b.versionsDone},
      {"leaveBooter", &b.leaveBooterRequest, &b.leaveBooterDone},
      {"regions", &b.regionsRequest, &b.regionsDone},
      {"keyFirmware", &b.keyFirmwareRequest, &b.keyFirmwareDone},
      {"erase", &b.eraseRequest, &b.eraseDone},
      {"enterBooter", &b.enterBooterRequest, &b.enterBooterDone},
      {"dataErase", &b.dataEraseRequest, &b.dataEraseDone},
      {"identity", &b.identityRequest, &b.identityDone},
      {"connect", &b.connectRequest, &b.connected},
  };
  for (const Pair& p : pairs) p.request->set(1);
  std::vector<std::string> order;
  for (std::size_t pass = 0; pass < pairs.size(); ++pass) {
    bool ran = false;
    ASSERT_TRUE(rig.worker.ServeOnePass(ran));
    EXPECT_TRUE(ran);
    rig.worker.ClearAnsweredFlags();
    for (const Pair& p : pairs) {
      if (p.done->get() != 0 && std::find(order.begin(), order.end(), p.name) == order.end()) {
        order.push_back(p.name);
      }
    }
    EXPECT_EQ(order.size(), pass + 1) << "one job per pass";
  }
  EXPECT_EQ(order, (std::vector<std::string>{"connect", "identity", "dataErase", "enterBooter",
                                             "erase", "keyFirmware", "regions", "leaveBooter",
                                             "versions", "mark"}));
  bool ran = true;
  ASSERT_TRUE(rig.worker.ServeOnePass(ran));
  EXPECT_FALSE(ran);
}

TEST(WorkerLoop, IdentityEraseVersionsInThatOrder) {
  KeyRig rig("booter");  // whose booter takes the erase
  rig.started();
  rig.block.versionsRequest.set(1);
  rig.block.eraseRequest.set(1);
  rig.block.identityRequest.set(1);
  std::vector<int> seen;
  for (int pass = 0; pass < 3; ++pass) {
    bool ran = false;
    ASSERT_TRUE(rig.worker.ServeOnePass(ran));
    seen.push_back(rig.block.identityDone.get() * 100 + rig.block.eraseDone.get() * 10 +
                   rig.block.versionsDone.get());
  }
  EXPECT_EQ(seen, (std::vector<int>{100, 110, 111}));
}

TEST(WorkerLoop, DoneBytesDropOnlyAfterTheirRequest) {
  KeyRig rig;
  rig.started();
  RequestBlock& b = rig.block;
  b.identityRequest.set(1);
  b.dataEraseRequest.set(1);
  bool ran = false;
  for (int pass = 0; pass < 4; ++pass) {
    ASSERT_TRUE(rig.worker.ServeOnePass(ran));
    rig.worker.ClearAnsweredFlags();
  }
  EXPECT_EQ(b.identityDone.get(), 1);
  EXPECT_EQ(b.dataEraseDone.get(), 1);
  EXPECT_EQ(rig.count(14, 7), 1u) << "an answered request is not served again";

  b.identityRequest.set(0);
  b.dataEraseRequest.set(0);
  b.startRequest.set(0);
  rig.worker.ClearAnsweredFlags();
  EXPECT_EQ(b.identityDone.get(), 0);
  EXPECT_EQ(b.dataEraseDone.get(), 1);
  EXPECT_EQ(b.startDone.get(), 1);
  b.startRequest.set(1);

  // Raised again: identity is served again, the data erase never (once per run).
  b.identityRequest.set(1);
  b.dataEraseRequest.set(1);
  const std::size_t erasesBefore = rig.count(13, 7);
  for (int pass = 0; pass < 3; ++pass) ASSERT_TRUE(rig.worker.ServeOnePass(ran));
  EXPECT_EQ(rig.count(14, 7), 2u);
  EXPECT_EQ(rig.count(13, 7), erasesBefore);
  EXPECT_FALSE(ran);
}

TEST(WorkerConnect, RetriesEverySecondAndSettlesAfterALateKey) {
  KeyRig rig("fresh", /*plugged=*/false);
  rig.bench.driver->schedulePlug(2500);
  rig.started();
  // tries at 0, 1000 and 2000 ms after the request fail, 3000 succeeds, then 3000 ms to settle
  EXPECT_EQ(rig.block.connected.get(), 1);
  EXPECT_EQ(rig.clock.pauses, (Pauses{1000, 1000, 1000, 3000}));
  EXPECT_EQ(rig.bench.clock.elapsedMs(), 6000u);
  EXPECT_TRUE(rig.worker.link().isOpen());

  // Found, opened, its descriptor read, then identified.
  ASSERT_TRUE(rig.worker.ReadIdentityJob());
  const auto events = rig.bench.traceEvents();
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

TEST(WorkerConnect, PresentKeyConnectsWithoutPause) {
  KeyRig rig;
  rig.started();
  EXPECT_EQ(rig.block.connected.get(), 1);
  EXPECT_TRUE(rig.clock.pauses.empty());
}

TEST(WorkerConnect, WhileConnectedIsAnsweredWithoutTraffic) {
  KeyRig rig;
  rig.started();
  const std::size_t events = rig.bench.traceEvents().size();
  bool ran = false;
  ASSERT_TRUE(rig.worker.ServeOnePass(ran));
  EXPECT_FALSE(ran);  // connected already answers the request
  EXPECT_TRUE(rig.worker.Connect());
  EXPECT_EQ(rig.bench.traceEvents().size(), events);
  EXPECT_TRUE(rig.clock.pauses.empty());
}

TEST(WorkerConnect, ExitWhileWaitingEndsTheWorker) {
  KeyRig rig("fresh", /*plugged=*/false);
  rig.started(false);
  rig.block.connectRequest.set(1);
  rig.clock.afterPause = [&](std::uint64_t t) {
    if (t == 3000) rig.block.exitRequest.set(1);
  };
  rig.worker.WorkerMain();
  EXPECT_EQ(rig.block.connected.get(), 0);
  EXPECT_EQ(rig.block.workerEnded.get(), 1);
  EXPECT_EQ(rig.clock.pauses, (Pauses{1000, 1000, 1000}));
}

TEST(WorkerConnect, CheckExitClosesAnOpenKey) {
  KeyRig rig;
  rig.started();
  ASSERT_EQ(rig.bench.driver->openHandles(), 1u);
  EXPECT_TRUE(rig.worker.CheckExit());
  rig.block.exitRequest.set(1);
  EXPECT_FALSE(rig.worker.CheckExit());
  EXPECT_EQ(rig.bench.driver->openHandles(), 0u);
}

}  // namespace
}  // namespace flashwell::protocol
