#pragma once

// A worker on the virtual key with every pause recorded, for running jobs one at a time on the
// test's thread.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include <gtest/gtest.h>

#include "protocol/worker.h"
#include "tests/protocol/fake_key.h"
#include "tests/support/key_bench.h"
#include "tests/support/pause_recorder.h"
#include "usb/bytes.h"

namespace flashwell::protocol::testing {

struct KeyRig {
  // The key state of that name, on the bus from the start unless `plugged` is false.
  explicit KeyRig(std::string_view state = "fresh", bool plugged = true)
      : bench(support::namedKey(state), true, nullptr, plugged) {
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
  std::size_t count(std::uint8_t code, std::uint8_t sub) const {
    return bench.key->commandsSeen(code, sub);
  }

  support::KeyBench bench;
  support::PauseRecorder clock{bench.clock};
  RequestBlock block;
  Worker worker{block, *bench.driver, clock, bench.notices};
};

// The same on a scripted key.
struct WorkerRig {
  WorkerRig() {
    block.zero();
    usb::putLe16(key.identity, 30, 0x0002);
  }
  // The state after the start handshake and a connection.
  void started(bool connect = true) {
    block.startRequest.set(1);
    block.startDone.set(1);
    if (connect) {
      block.connectRequest.set(1);
      block.connected.set(1);
    }
  }
  std::size_t count(std::uint8_t code, std::uint8_t sub) const {
    std::size_t n = 0;
    for (const FakeEvent& e : key.controls()) n += e.code() == code && e.sub() == sub;
    return n;
  }

  usb::SimulatedClock sim;
  support::PauseRecorder clock{sim};
  FakeKey key{sim};
  SilentNotices notices;
  RequestBlock block;
  Worker worker{block, key, clock, notices};
};

}  // namespace flashwell::protocol::testing
