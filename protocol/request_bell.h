#pragma once

// How the window thread wakes an idle worker. A worker with nothing to do waits here instead
// of polling; every change of a request byte (and of exitRequest) rings, so a raised request is
// taken up and a withdrawn one has its answer cleared without delay.
//
// The worker waits for the bell, not for the clock: while it waits it leaves the clock, so that
// simulated time can move without it, and the ringing thread counts it on the clock again before
// it goes on. Time therefore cannot move on between a request and the worker's pickup, and a
// simulated run keeps its exact timing.

#include <condition_variable>
#include <mutex>

#include "usb/clock.h"

namespace flashwell::protocol {

class RequestBell {
 public:
  // After a request byte has been written.
  void ring() {
    std::lock_guard lock(mutex_);
    rang_ = true;
    if (waiterLeft_ == nullptr) return;
    // Counted again before this thread can sleep on the clock: time cannot move past the
    // moment of the request before the worker has taken it up.
    waiterLeft_->addThread();
    waiterLeft_ = nullptr;
    rung_.notify_one();
  }

  // Returns once ring() has been called since the last return (at once when it has).
  void wait(usb::Clock& clock) {
    std::unique_lock lock(mutex_);
    if (!rang_) {
      clock.removeThread();
      waiterLeft_ = &clock;
      rung_.wait(lock, [this] { return rang_; });
    }
    rang_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable rung_;
  bool rang_ = false;
  usb::Clock* waiterLeft_ = nullptr;  // the clock a waiting worker has left, while it waits
};

}  // namespace flashwell::protocol
