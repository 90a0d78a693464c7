#pragma once

// The window thread's side of the handshakes, for tests that run the real worker thread: it
// raises a request, polls the done byte on a 100 ms tick of the shared simulated clock, and
// lowers the request again when asked to repeat a job.

#include "protocol/request_block.h"
#include "usb/clock.h"

namespace flashwell::protocol::testing {

class WindowScript {
 public:
  explicit WindowScript(usb::SimulatedClock& clock) : clock_(clock) {}

  // False when the byte does not reach the state within `limitMs` of virtual time.
  bool waitFor(const SharedByte& byte, bool nonZero = true, std::uint64_t limitMs = 600000) {
    return waitUntil([&] { return (byte.get() != 0) == nonZero; }, limitMs);
  }
  // Polls until `holds()`; false after `limitMs` of virtual time.
  template <typename Predicate>
  bool waitUntil(Predicate holds, std::uint64_t limitMs = 600000) {
    for (std::uint64_t waited = 0; waited <= limitMs; waited += 100) {
      if (holds()) return true;
      clock_.sleepMs(100);
    }
    return false;
  }
  bool ask(SharedByte& request, const SharedByte& done) {
    request.set(1);
    return waitFor(done);
  }
  bool askAgain(SharedByte& request, const SharedByte& done) {
    request.set(0);
    return waitFor(done, false) && ask(request, done);
  }

 private:
  usb::SimulatedClock& clock_;
};

}  // namespace flashwell::protocol::testing
