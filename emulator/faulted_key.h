#pragma once

// The virtual key behind its fault list: every door to the key (the emulated driver, the
// usbdevfs handler) passes each request through here, so that one list of faults counts the same
// occurrences and strikes the same requests whichever door the host comes through. The door
// decides what a strike looks like on its side (a driver status, an errno, a halted endpoint)
// and how long it makes the host wait.

#include <cstdint>
#include <span>

#include "emulator/faults.h"
#include "emulator/strike.h"
#include "emulator/virtual_key.h"

namespace flashwell::emulator {

struct Exchange {
  Strike fault = Strike::none;
  // The key's answer; a stalling fault leaves it unaccepted, a late one adds its delay to
  // busyMs. Nothing reached the key when the fault pulls it.
  KeyAnswer answer;
};

class FaultedKey {
 public:
  FaultedKey(VirtualKey& key, FaultPlan& faults) : key_(key), faults_(faults) {}

  // Opening the key and the descriptor request: only the fault, the door acts on it.
  Strike open() { return strikeOf(faults_.strike(FaultSite::open)); }
  Strike descriptor() { return strikeOf(faults_.strike(FaultSite::descriptor)); }

  // A vendor control request with its data stage, a transfer to 0x02, one from 0x82 or 0x81.
  Exchange control(std::span<const std::uint8_t, 8> setup, std::span<const std::uint8_t> payload);
  Exchange write(std::uint8_t endpoint, std::span<const std::uint8_t> data);
  Exchange read(std::uint8_t endpoint, std::uint32_t length);

  VirtualKey& key() { return key_; }

 private:
  VirtualKey& key_;
  FaultPlan& faults_;
};

}  // namespace flashwell::emulator
