#pragma once

// States and finish modes print as their numbers in a test's messages, as in a trace.

#include <ostream>

#include "sequencer/upgrade_state.h"

namespace flashwell::sequencer {

inline void PrintTo(UpgradeState s, std::ostream* os) {
  *os << stateNumber(s);
}
inline void PrintTo(FinishMode m, std::ostream* os) {
  *os << static_cast<int>(m);
}

}  // namespace flashwell::sequencer
