// The worker's loop: priority order, the answering rules, the start handshake and the
// connection, in simulated time.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/protocol/worker_rig.h"

namespace flashwell::protocol {
namespace {

using testing::WorkerRig;
using Pauses = std::vector<std::uint32_t>;

TEST(WorkerLoop, ServesPendingJobsOneAPassInPriorityOrder) {
  WorkerRig rig;
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
  WorkerRig rig;
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
  WorkerRig rig;
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
  WorkerRig rig;
  rig.started(false);
  rig.key.plugInAt = 2500;
  rig.block.connectRequest.set(1);
  ASSERT_TRUE(rig.worker.Connect());
  EXPECT_EQ(rig.block.connected.get(), 1);
  EXPECT_EQ(rig.clock.pauses, (Pauses{1000, 1000, 1000, 3000}));
  EXPECT_EQ(rig.sim.elapsedMs(), 6000u);
  EXPECT_TRUE(rig.worker.link().isOpen());
}

TEST(WorkerConnect, PresentKeyConnectsWithoutPause) {
  WorkerRig rig;
  rig.started(false);
  rig.block.connectRequest.set(1);
  ASSERT_TRUE(rig.worker.Connect());
  EXPECT_EQ(rig.block.connected.get(), 1);
  EXPECT_TRUE(rig.clock.pauses.empty());
}

TEST(WorkerConnect, WhileConnectedIsAnsweredWithoutTraffic) {
  WorkerRig rig;
  rig.started();
  bool ran = false;
  ASSERT_TRUE(rig.worker.ServeOnePass(ran));
  EXPECT_FALSE(ran);  // connected already answers the request
  EXPECT_TRUE(rig.worker.Connect());
  EXPECT_TRUE(rig.key.events.empty());
  EXPECT_TRUE(rig.clock.pauses.empty());
}

TEST(WorkerConnect, ExitWhileWaitingEndsTheWorker) {
  WorkerRig rig;
  rig.started(false);
  rig.key.present = false;
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
  WorkerRig rig;
  rig.started(false);
  rig.block.connectRequest.set(1);
  ASSERT_TRUE(rig.worker.Connect());
  ASSERT_TRUE(rig.key.handleOpen());
  EXPECT_TRUE(rig.worker.CheckExit());
  rig.block.exitRequest.set(1);
  EXPECT_FALSE(rig.worker.CheckExit());
  EXPECT_FALSE(rig.key.handleOpen());
}

}  // namespace
}  // namespace flashwell::protocol
