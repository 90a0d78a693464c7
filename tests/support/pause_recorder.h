#pragma once

// A clock in front of a simulated one that records every pause made on it: what a test or the
// benchmark reads to see the pauses the worker made, and a hook to act at a given moment.

#include <cstdint>
#include <functional>
#include <numeric>
#include <vector>

#include "usb/clock.h"

namespace flashwell::support {

class PauseRecorder final : public usb::Clock {
 public:
  explicit PauseRecorder(usb::SimulatedClock& clock) : clock_(clock) {}
  std::uint32_t tickMs() override { return clock_.tickMs(); }
  void sleepMs(std::uint32_t ms) override {
    pauses.push_back(ms);
    clock_.sleepMs(ms);
    if (afterPause) afterPause(clock_.elapsedMs());
  }
  void addThread() override { clock_.addThread(); }
  void removeThread() override { clock_.removeThread(); }

  std::uint64_t totalMs() const { return std::accumulate(pauses.begin(), pauses.end(), 0ull); }

  std::vector<std::uint32_t> pauses;
  // Called after each pause with the virtual time: lets a test act at a given moment.
  std::function<void(std::uint64_t)> afterPause;

 private:
  usb::SimulatedClock& clock_;
};

}  // namespace flashwell::support
