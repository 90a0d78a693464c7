#pragma once

// The virtual key behind its fault list: every door to the key (the emulated driver, the
// usbdevfs handler) passes each request through here, so that one list of faults counts the same
// occurrences and strikes the same requests whichever door the host comes through. What a fault
// does is decided here, once for every door, by one switch over the kinds (a new kind does not
// compile until it is given its effect); the door shows the effect in its own way (a driver
// status, an errno, a halted endpoint) and makes the host wait as long as it says.

#include <cstdint>
#include <optional>
#include <span>

#include "emulator/faults.h"
#include "emulator/virtual_key.h"

namespace flashwell::emulator {

struct Effect {
  // The key leaves the bus as the request arrives, and comes back this much later if at all.
  bool pulls = false;
  std::optional<std::uint32_t> backAfterMs = std::nullopt;
  bool refused = false;       // not carried out: the request stalls or fails
  bool halts = false;         // refused, and the endpoint stays halted until the host clears it
  bool corrupts = false;      // carried out with one byte of its data changed
  bool badStatus = false;     // carried out; the door reports a status other than success
  bool movesNothing = false;  // carried out; the door reports no byte moved
  bool keepsProgram = false;  // a restart brings the key back in the program it ran
  bool late = false;          // answered late: a transfer's answer carries its time, and the
  std::uint32_t lateMs = 0;   // open or the descriptor request answers this late
};

// What `fault` does to the request it strikes; nothing when there is none.
Effect effectOf(const std::optional<Fault>& fault);

struct Exchange {
  Effect effect;
  // The key's answer; a refused request leaves it unaccepted, a late one has busyMs set to the
  // time of its acknowledgement. Nothing reached the key when the fault pulls it.
  KeyAnswer answer;
};

class FaultedKey {
 public:
  FaultedKey(VirtualKey& key, FaultPlan& faults) : key_(key), faults_(faults) {}

  // Opening the key and the descriptor request: only the effect, the door acts on it.
  Effect open() { return gate(FaultSite::open); }
  Effect descriptor() { return gate(FaultSite::descriptor); }

  // A vendor control request with its data stage, a transfer to 0x02, one from 0x82 or 0x81.
  Exchange control(std::span<const std::uint8_t, 8> setup, std::span<const std::uint8_t> payload);
  Exchange write(std::uint8_t endpoint, std::span<const std::uint8_t> data);
  Exchange read(std::uint8_t endpoint, std::uint32_t length);

  VirtualKey& key() { return key_; }

 private:
  Effect gate(FaultSite site);

  VirtualKey& key_;
  FaultPlan& faults_;
};

}  // namespace flashwell::emulator
