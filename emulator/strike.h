#pragma once

// One occurrence as a door to the virtual key acts on it: no fault, or the kind that strikes it.

#include <optional>

#include "emulator/faults.h"

namespace flashwell::emulator {

enum class Strike { none, refuse, late, status, zero, unplug, unplugForGood, stall, corrupt };

inline Strike strikeOf(std::optional<FaultKind> kind) {
  if (!kind) return Strike::none;
  switch (*kind) {
    case FaultKind::refuse:
      return Strike::refuse;
    case FaultKind::late:
      return Strike::late;
    case FaultKind::status:
      return Strike::status;
    case FaultKind::zero:
      return Strike::zero;
    case FaultKind::unplug:
      return Strike::unplug;
    case FaultKind::unplugForGood:
      return Strike::unplugForGood;
    case FaultKind::stall:
      return Strike::stall;
    case FaultKind::corrupt:
      return Strike::corrupt;
  }
  return Strike::none;
}

inline bool pulls(Strike fault) {
  return fault == Strike::unplug || fault == Strike::unplugForGood;
}

// The key does not carry the request out: it stalls the transfer.
inline bool stalls(Strike fault) {
  return fault == Strike::refuse || fault == Strike::stall;
}

}  // namespace flashwell::emulator
