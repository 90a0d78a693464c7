#pragma once

// A worker on the virtual key with every pause recorded, for running jobs one at a time on the
// test's thread.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "emulator/faults.h"
#include "protocol/worker.h"
#include "tests/protocol/fake_key.h"
#include "tests/support/key_bench.h"
#include "tests/support/pause_recorder.h"
#include "usb/bytes.h"

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
  // Control requests of that code and sub-command that reached the driver, refused ones too.
  std::size_t count(std::uint8_t code, std::uint8_t sub) const {
    return controls(code, sub).size();
  }
  std::vector<emulator::TraceEvent> controls(std::uint8_t code, std::uint8_t sub) const {
    std::vector<emulator::TraceEvent> found;
    for (const emulator::TraceEvent& e : bench.traceEvents()) {
      if (e.ev == "control" && e.setup && e.data && e.setup->substr(2, 2) == hex(code) &&
          e.data->substr(0, 2) == hex(sub)) {
        found.push_back(e);
      }
    }
    return found;
  }
  // The events of that kind ("open", "in", ...).
  std::vector<emulator::TraceEvent> events(std::string_view ev) const {
    std::vector<emulator::TraceEvent> found;
    for (const emulator::TraceEvent& e : bench.traceEvents()) {
      if (e.ev == ev) found.push_back(e);
    }
    return found;
  }

  support::KeyBench bench;
  support::PauseRecorder clock{bench.clock};
  RequestBlock block;
  Worker worker{block, *bench.driver, clock, bench.notices};

 private:
  static std::string hex(std::uint8_t byte) {
    const std::uint8_t one[] = {byte};
    return emulator::toHex(one);
  }
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
