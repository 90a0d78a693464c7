// The real worker thread against a window thread that runs the handshakes, both on one
// simulated clock. Run under ThreadSanitizer by the tsan preset.

#include <gtest/gtest.h>

#include <thread>

#include "protocol/worker.h"
#include "tests/protocol/window_script.h"
#include "tests/support/key_bench.h"
#include "tests/support/pause_recorder.h"
#include "usb/bytes.h"

namespace flashwell::protocol {
namespace {

using support::KeyBench;
using support::namedKey;

// When the worker first turned to the key (its open), in virtual time.
std::uint64_t firstRequestAt(const KeyBench& bench) {
  for (const emulator::TraceEvent& e : bench.traceEvents()) {
    if (e.ev != "plug" && e.ev != "unplug") return e.t;
  }
  return 0;
}

// The worker's own thread, counted on the clock as the dialog starts it.
std::thread workerThread(Worker& worker, usb::Clock& clock) {
  clock.addThread();
  return std::thread([&worker, &clock] {
    worker.WorkerMain();
    clock.removeThread();
  });
}

TEST(WorkerThread, HandshakesWithTheWindowThread) {
  emulator::KeyImage image = namedKey("fresh");
  usb::putLe16(image.identity, 30, 0x0016);  // a family that keeps its record at 0x00F030
  KeyBench bench(std::move(image), false, nullptr, /*plugged=*/false);
  bench.driver->schedulePlug(2500);
  usb::SimulatedClock& clock = bench.clock;
  RequestBlock block;
  block.zero();
  Worker worker(block, *bench.driver, clock, bench.notices);

  std::thread thread = workerThread(worker, clock);

  testing::WindowScript window(clock);
  EXPECT_TRUE(window.ask(block.startRequest, block.startDone));
  EXPECT_TRUE(window.ask(block.connectRequest, block.connected));
  EXPECT_GE(clock.elapsedMs(), 5500u) << "the late key was given 3000 ms to settle";
  EXPECT_TRUE(window.ask(block.identityRequest, block.identityDone));
  EXPECT_EQ(block.identityDone.get(), 1);
  EXPECT_EQ(block.identity[48], bench.key->memoryByte(0x00F030));
  EXPECT_TRUE(window.ask(block.versionsRequest, block.versionsDone));
  EXPECT_EQ(block.componentVersions[7].major, bench.key->memoryByte(0x40020000 + 30));
  for (int round = 0; round < 5; ++round) {
    EXPECT_TRUE(window.askAgain(block.identityRequest, block.identityDone));
    EXPECT_TRUE(window.askAgain(block.versionsRequest, block.versionsDone));
  }
  EXPECT_TRUE(window.ask(block.markRequest, block.markDone));
  EXPECT_TRUE(window.ask(block.dataEraseRequest, block.dataEraseDone));

  block.exitRequest.set(1);
  EXPECT_TRUE(window.waitFor(block.workerEnded));
  thread.join();
  EXPECT_EQ(bench.driver->openHandles(), 0u) << "the stop closed the key";
}

TEST(WorkerThread, IdleWorkerSleepsUntilARequestChangesWithoutHoldingUpTime) {
  KeyBench bench(namedKey("fresh"));
  usb::SimulatedClock& sim = bench.clock;
  support::PauseRecorder clock(sim);
  RequestBlock block;
  block.zero();
  block.startRequest.set(1);
  block.startDone.set(1);
  block.connectRequest.set(1);
  block.connected.set(1);
  Worker worker(block, *bench.driver, clock, bench.notices);

  std::thread thread = workerThread(worker, clock);

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

  EXPECT_EQ(firstRequestAt(bench), 10001u);
  // One rest after each wake-up (the first for the bytes written before the start, then the
  // request, its withdrawal and the stop), and none while idle.
  EXPECT_EQ(clock.pauses, (std::vector<std::uint32_t>{1, 1, 1, 1}));
}

// Before the start (which never comes after a refused package) the worker waits off the clock:
// no poll, no pause. The start is answered at once and followed by 300 ms; the exit is seen at
// once either way.
TEST(WorkerThread, BeforeTheStartTheWorkerWaitsWithoutPolling) {
  for (const bool start : {false, true}) {
    KeyBench bench(namedKey("fresh"));
    usb::SimulatedClock& sim = bench.clock;
    support::PauseRecorder clock(sim);
    RequestBlock block;
    block.zero();
    Worker worker(block, *bench.driver, clock, bench.notices);
    std::thread thread = workerThread(worker, clock);
    testing::WindowScript window(sim);
    sim.sleepMs(10000);
    EXPECT_EQ(sim.elapsedMs(), 10000u) << start;
    if (start) {
      block.startRequest.set(1);
      EXPECT_TRUE(window.waitFor(block.startDone, true, 100)) << "answered by the next tick";
      sim.sleepMs(1000);
    }
    block.exitRequest.set(1);
    EXPECT_TRUE(window.waitFor(block.workerEnded, true, 100)) << start;
    thread.join();
    EXPECT_EQ(block.startDone.get(), start ? 1 : 0);
    // After the start: its 300 ms, then the rest after the exit woke the idle worker.
    const std::vector<std::uint32_t> pauses =
        start ? std::vector<std::uint32_t>{300, 1} : std::vector<std::uint32_t>{};
    EXPECT_EQ(clock.pauses, pauses) << start;
    EXPECT_EQ(firstRequestAt(bench), 0u) << "the key is not touched";
  }
}

}  // namespace
}  // namespace flashwell::protocol
