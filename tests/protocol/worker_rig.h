#pragma once

// A worker on the virtual key with every pause recorded, for running jobs one at a time on the
// test's thread.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "emulator/faults.h"
#include "protocol/worker.h"
#include "tests/support/key_bench.h"
#include "tests/support/key_traffic.h"
#include "tests/support/pause_recorder.h"

namespace flashwell::protocol::testing {

struct KeyRig {
  // The key state of that name, or that image, on the bus from the start unless `plugged` is
  // false.
  explicit KeyRig(std::string_view state = "fresh", bool plugged = true)
      : KeyRig(support::namedKey(state), plugged) {}
  explicit KeyRig(emulator::KeyImage image, bool plugged = true)
      : bench(std::move(image), true, nullptr, plugged) {
    block.zero();
  }
  // The state after the start handshake and, when `connect`, a connection.
  void started(bool connect = true) {
    block.startRequest.set(1);
    block.startDone.set(1);
    if (connect) {
      block.connectRequest.set(1);
      ASSERT_TRUE(worker.Connect());
    }
  }
  // Adds a fault that strikes `repeat` occurrences in a row from the `occurrence`th.
  void fault(emulator::FaultSite site, emulator::FaultKind kind, std::uint32_t occurrence = 1,
             std::uint32_t repeat = 1) {
    bench.driver->addFault({site, kind, occurrence, repeat});
  }
  // Control requests of that code and sub-command, refused ones too.
  std::size_t count(std::uint8_t code, std::uint8_t sub) const {
    return support::countControls(bench, code, sub);
  }
  std::vector<support::KeyRequest> controls(std::uint8_t code, std::uint8_t sub) const {
    return matching([&](const support::KeyRequest& r) { return r.is(code, sub); });
  }
  // The requests of one kind ("open", "out", "in", ...).
  std::vector<support::KeyRequest> requests(std::string_view ev) const {
    return matching([&](const support::KeyRequest& r) { return r.ev == ev; });
  }

  support::KeyBench bench;
  support::PauseRecorder clock{bench.clock};
  RequestBlock block;
  Worker worker{block, *bench.driver, clock, bench.notices};

 private:
  template <typename Keep>
  std::vector<support::KeyRequest> matching(Keep keep) const {
    std::vector<support::KeyRequest> found;
    for (const support::KeyRequest& r : support::keyRequests(bench)) {
      if (keep(r)) found.push_back(r);
    }
    return found;
  }
};

}  // namespace flashwell::protocol::testing
