// The real worker thread against a window thread that runs the handshakes, both on one
// simulated clock. Run under ThreadSanitizer by the tsan preset.

#include <gtest/gtest.h>

#include <thread>

#include "protocol/worker.h"
#include "tests/protocol/fake_key.h"
#include "tests/protocol/window_script.h"
#include "usb/bytes.h"

namespace flashwell::protocol {
namespace {

using testing::FakeKey;
using testing::SilentNotices;

TEST(WorkerThread, HandshakesWithTheWindowThread) {
  usb::SimulatedClock clock;
  FakeKey key(clock);
  usb::putLe16(key.identity, 30, 0x0016);
  key.plugInAt = 2500;
  SilentNotices notices;
  RequestBlock block;
  block.zero();
  Worker worker(block, key, clock, notices);

  clock.addThread();
  std::thread thread([&] {
    worker.WorkerMain();
    clock.removeThread();
  });

  testing::WindowScript window(clock);
  EXPECT_TRUE(window.ask(block.startRequest, block.startDone));
  EXPECT_TRUE(window.ask(block.connectRequest, block.connected));
  EXPECT_GE(clock.elapsedMs(), 5500u) << "the late key was given 3000 ms to settle";
  EXPECT_TRUE(window.ask(block.identityRequest, block.identityDone));
  EXPECT_EQ(block.identityDone.get(), 1);
  EXPECT_EQ(block.identity[48], key.memory(0x00F030));
  EXPECT_TRUE(window.ask(block.versionsRequest, block.versionsDone));
  EXPECT_EQ(block.componentVersions[7].major, key.memory(0x40020000 + 30));
  for (int round = 0; round < 5; ++round) {
    EXPECT_TRUE(window.askAgain(block.identityRequest, block.identityDone));
    EXPECT_TRUE(window.askAgain(block.versionsRequest, block.versionsDone));
  }
  EXPECT_TRUE(window.ask(block.markRequest, block.markDone));
  EXPECT_TRUE(window.ask(block.dataEraseRequest, block.dataEraseDone));

  block.exitRequest.set(1);
  EXPECT_TRUE(window.waitFor(block.workerEnded));
  thread.join();
  EXPECT_FALSE(key.handleOpen()) << "the stop closed the key";
}

TEST(WorkerThread, IdleWorkerSleepsUntilARequestChangesWithoutHoldingUpTime) {
  usb::SimulatedClock sim;
  testing::PauseRecorder clock(sim);
  FakeKey key(sim);
  SilentNotices notices;
  RequestBlock block;
  block.zero();
  block.startRequest.set(1);
  block.startDone.set(1);
  block.connectRequest.set(1);
  block.connected.set(1);
  Worker worker(block, key, clock, notices);

  clock.addThread();
  std::thread thread([&] {
    worker.WorkerMain();
    clock.removeThread();
  });

  // Ten idle seconds pass at once: the waiting worker does not count on the clock.
  sim.sleepMs(10000);
  EXPECT_EQ(sim.elapsedMs(), 10000u);
  // Raised inside a tick: taken up 1 ms later, once the tick is over.
  block.identityRequest.set(1);
  testing::WindowScript window(sim);
  EXPECT_TRUE(window.waitFor(block.identityDone));
  // Withdrawn: the worker wakes to clear the answer.
  block.identityRequest.set(0);
  EXPECT_TRUE(window.waitFor(block.identityDone, false, 100));
  sim.sleepMs(5000);
  block.exitRequest.set(1);
  EXPECT_TRUE(window.waitFor(block.workerEnded, true, 100));
  thread.join();

  ASSERT_FALSE(key.controls().empty());
  EXPECT_EQ(key.controls()[0].t, 10001u);
  // One rest after each wake-up (the first for the bytes written before the start, then the
  // request, its withdrawal and the stop), and none while idle.
  EXPECT_EQ(clock.pauses, (std::vector<std::uint32_t>{1, 1, 1, 1}));
}

}  // namespace
}  // namespace flashwell::protocol
