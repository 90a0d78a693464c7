#pragma once

// A worker on a scripted key with every pause recorded, for running jobs one at a time.

#include "protocol/worker.h"
#include "tests/protocol/fake_key.h"
#include "usb/bytes.h"

namespace flashwell::protocol::testing {

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
  PauseRecorder clock{sim};
  FakeKey key{sim};
  SilentNotices notices;
  RequestBlock block;
  Worker worker{block, key, clock, notices};
};

}  // namespace flashwell::protocol::testing
