#include "usb/clock.h"

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

SimulatedClock::SimulatedClock(std::uint32_t startTick) : startTick_(startTick) {}

std::uint32_t SimulatedClock::tickMs() {
  std::lock_guard lock(mutex_);
  return static_cast<std::uint32_t>(startTick_ + now_);
}

std::uint64_t SimulatedClock::elapsedMs() {
  std::lock_guard lock(mutex_);
  return now_;
}

void SimulatedClock::sleepMs(std::uint32_t ms) {
  if (ms == 0) return;
  std::unique_lock lock(mutex_);
  const std::uint64_t wake = now_ + ms;
  const auto mine = wakeTimes_.insert(wake);
  while (now_ < wake) {
    // Every thread asleep, and none of them still on its way out of a sleep that is due: time
    // moves to the earliest wake-up.
    if (wakeTimes_.size() >= threads_ && *wakeTimes_.begin() > now_) {
      now_ = *wakeTimes_.begin();
      changed_.notify_all();
    } else {
      changed_.wait(lock);
    }
  }
  wakeTimes_.erase(mine);
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
