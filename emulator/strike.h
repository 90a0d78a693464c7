#pragma once

// One occurrence as a door to the virtual key acts on it: no fault, or the kind that strikes it.

#include <optional>

#include "emulator/faults.h"

namespace flashwell::emulator {

enum class Strike {
  kNone,
  kRefuse,
  kLate,
  kStatus,
  kZero,
  kUnplug,
  kUnplugForGood,
  kStall,
  kCorrupt
};

inline Strike strikeOf(std::optional<FaultKind> kind) {
  if (!kind) return Strike::kNone;
  switch (*kind) {
    case FaultKind::kRefuse:
      return Strike::kRefuse;
    case FaultKind::kLate:
      return Strike::kLate;
    case FaultKind::kStatus:
      return Strike::kStatus;
    case FaultKind::kZero:
      return Strike::kZero;
    case FaultKind::kUnplug:
      return Strike::kUnplug;
    case FaultKind::kUnplugForGood:
      return Strike::kUnplugForGood;
    case FaultKind::kStall:
      return Strike::kStall;
    case FaultKind::kCorrupt:
      return Strike::kCorrupt;
  }
  return Strike::kNone;
}

inline bool pulls(Strike fault) {
  return fault == Strike::kUnplug || fault == Strike::kUnplugForGood;
}

// The key does not carry the request out: it stalls the transfer.
inline bool stalls(Strike fault) {
  return fault == Strike::kRefuse || fault == Strike::kStall;
}

}  // namespace flashwell::emulator
