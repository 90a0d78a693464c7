#pragma once

// One occurrence as the emulated driver acts on it: no fault, or the kind that strikes it.

#include <optional>

#include "emulator/faults.h"

namespace flashwell::emulator {

enum class Strike { kNone, kRefuse, kLate, kStatus, kZero, kUnplug, kUnplugForGood };

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
  }
  return Strike::kNone;
}

}  // namespace flashwell::emulator
