#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace flashwell::usb {

// The millisecond tick and the sleep that every pause and time limit is measured with.
class Clock {
 public:
  virtual ~Clock() = default;

  // Milliseconds, unsigned 32-bit; only differences taken modulo 2^32 mean anything.
  virtual std::uint32_t tickMs() = 0;
  virtual void sleepMs(std::uint32_t ms) = 0;

  // Called by a thread that is about to start another thread which will sleep on this clock,
  // before it starts it. The new thread calls removeThread() as its last use of the clock.
  virtual void addThread() {}
  virtual void removeThread() {}
};

// The system's monotonic clock.
class SystemClock final : public Clock {
 public:
  std::uint32_t tickMs() override;
  void sleepMs(std::uint32_t ms) override;
};

// The system's clock running `factor` times faster: a demo that does not make its watcher wait.
class ScaledClock final : public Clock {
 public:
  explicit ScaledClock(double factor);
  std::uint32_t tickMs() override;
  void sleepMs(std::uint32_t ms) override;

 private:
  double factor_;
};

// Virtual time for tests. A sleep returns at once in wall time; time only moves when every
// thread that uses the clock is asleep, and then straight to the earliest wake-up. The thread
// that constructs the clock counts as its first thread. A thread that waits for something other
// than the clock (a join, say) must call removeThread() first, or time cannot move.
//
// Threads that fall due at the same instant run one after the other, never together: the one
// that first used the clock earliest goes first (the constructing thread before all others), and
// the next only once it sleeps again or leaves the clock. The same run therefore takes the same
// course every time, to the millisecond.
class SimulatedClock final : public Clock {
 public:
  explicit SimulatedClock(std::uint32_t startTick = 0);

  std::uint32_t tickMs() override;
  void sleepMs(std::uint32_t ms) override;
  void addThread() override;
  void removeThread() override;

  // Virtual milliseconds since construction, without wrap.
  std::uint64_t elapsedMs();

 private:
  // A sleeping thread: when it is due, and its rank among the threads that share the clock.
  struct Sleeper {
    std::uint64_t wake;
    std::size_t rank;
    auto operator<=>(const Sleeper&) const = default;
  };
  // The calling thread's rank: its place in the order in which threads first used the clock.
  std::size_t rankOfCaller();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t now_ = 0;
  std::uint32_t startTick_;
  std::size_t threads_ = 1;
  std::set<Sleeper> sleepers_;  // a thread sleeps once at a time, so its entry is unique
  std::vector<std::thread::id> seen_;
};

}  // namespace flashwell::usb
