#include "usb/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace flashwell::usb {
namespace {

TEST(SimulatedClock, SleepAdvancesVirtualTimeExactlyAndTickWraps) {
  SimulatedClock clock(0xFFFFFF00u);
  EXPECT_EQ(clock.tickMs(), 0xFFFFFF00u);
  clock.sleepMs(0x180);
  EXPECT_EQ(clock.tickMs(), 0x80u);
  EXPECT_EQ(clock.elapsedMs(), 0x180u);
  clock.sleepMs(0);
  EXPECT_EQ(clock.elapsedMs(), 0x180u);
}

// Two threads sleeping in turns: time moves only when both sleep, straight to the earliest
// wake-up, so each thread sees exactly the times it slept to.
TEST(SimulatedClock, TwoThreadsInterleaveInVirtualTime) {
  SimulatedClock clock;
  std::vector<std::uint64_t> workerWakes;
  clock.addThread();
  std::thread worker([&] {
    for (int i = 0; i < 5; ++i) {
      clock.sleepMs(30);
      workerWakes.push_back(clock.elapsedMs());
    }
    clock.removeThread();
  });
  std::vector<std::uint64_t> mainWakes;
  for (int i = 0; i < 3; ++i) {
    clock.sleepMs(100);
    mainWakes.push_back(clock.elapsedMs());
  }
  clock.removeThread();
  worker.join();
  EXPECT_EQ(workerWakes, (std::vector<std::uint64_t>{30, 60, 90, 120, 150}));
  EXPECT_EQ(mainWakes, (std::vector<std::uint64_t>{100, 200, 300}));
}

// A busy thread holds time still: the sleeper cannot wake before the busy one sleeps too.
TEST(SimulatedClock, RunningThreadHoldsTimeStill) {
  SimulatedClock clock;
  std::atomic<bool> release{false};
  std::atomic<std::uint64_t> seenByWorker{0};
  clock.addThread();
  std::thread worker([&] {
    while (!release.load()) std::this_thread::yield();
    seenByWorker = clock.elapsedMs();
    clock.sleepMs(10);
    clock.removeThread();
  });
  std::thread waker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    release = true;
  });
  clock.sleepMs(50);
  EXPECT_EQ(seenByWorker.load(), 0u);
  EXPECT_EQ(clock.elapsedMs(), 50u);
  waker.join();
  clock.removeThread();
  worker.join();
}

// Threads due at the same instant run one at a time in a fixed order: the thread that made the
// clock first, the next only once the first sleeps again, however long it takes in wall time.
TEST(SimulatedClock, ThreadsDueTogetherRunOneAtATimeInAFixedOrder) {
  for (int round = 0; round < 20; ++round) {
    SimulatedClock clock;
    std::vector<std::string> order;  // written by the running thread only
    clock.addThread();
    std::thread worker([&] {
      for (int i = 0; i < 3; ++i) {
        clock.sleepMs(100);
        order.push_back("worker " + std::to_string(clock.elapsedMs()));
      }
      clock.removeThread();
    });
    for (int i = 0; i < 3; ++i) {
      clock.sleepMs(100);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      order.push_back("main " + std::to_string(clock.elapsedMs()));
    }
    clock.removeThread();
    worker.join();
    EXPECT_EQ(order, (std::vector<std::string>{"main 100", "worker 100", "main 200", "worker 200",
                                               "main 300", "worker 300"}))
        << "round " << round;
  }
}

}  // namespace
}  // namespace flashwell::usb
