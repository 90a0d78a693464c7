#include "usb/clock.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace flashwell::usb {

namespace {
std::uint64_t steadyMs() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
}  // namespace

std::uint32_t SystemClock::tickMs() {
  return static_cast<std::uint32_t>(steadyMs());
}

void SystemClock::sleepMs(std::uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

ScaledClock::ScaledClock(double factor) : factor_(factor > 0 ? factor : 1.0) {}

std::uint32_t ScaledClock::tickMs() {
  return static_cast<std::uint32_t>(static_cast<double>(steadyMs()) * factor_);
}

void ScaledClock::sleepMs(std::uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::microseconds(
      static_cast<std::int64_t>(static_cast<double>(ms) * 1000.0 / factor_)));
}

SimulatedClock::SimulatedClock(std::uint32_t startTick)
    : startTick_(startTick), seen_{std::this_thread::get_id()} {}

std::uint32_t SimulatedClock::tickMs() {
  std::lock_guard lock(mutex_);
  return static_cast<std::uint32_t>(startTick_ + now_);
}

std::uint64_t SimulatedClock::elapsedMs() {
  std::lock_guard lock(mutex_);
  return now_;
}

std::size_t SimulatedClock::rankOfCaller() {
  const std::thread::id me = std::this_thread::get_id();
  const auto at = std::find(seen_.begin(), seen_.end(), me);
  if (at != seen_.end()) return static_cast<std::size_t>(at - seen_.begin());
  seen_.push_back(me);
  return seen_.size() - 1;
}

void SimulatedClock::sleepMs(std::uint32_t ms) {
  if (ms == 0) return;
  std::unique_lock lock(mutex_);
  const Sleeper me{now_ + ms, rankOfCaller()};
  sleepers_.insert(me);
  for (;;) {
    // Only with every thread asleep does anything move: time to the earliest wake-up, and then
    // the first sleeper that is due, alone.
    if (sleepers_.size() >= threads_) {
      const Sleeper first = *sleepers_.begin();
      now_ = std::max(now_, first.wake);
      if (first == me) {
        sleepers_.erase(sleepers_.begin());
        return;
      }
      changed_.notify_all();
    }
    changed_.wait(lock);
  }
}

void SimulatedClock::addThread() {
  std::lock_guard lock(mutex_);
  ++threads_;
}

void SimulatedClock::removeThread() {
  std::lock_guard lock(mutex_);
  if (threads_ > 0) --threads_;
  changed_.notify_all();
}

}  // namespace flashwell::usb
