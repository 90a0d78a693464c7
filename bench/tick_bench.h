#pragma once

// The window thread's ticks over one whole upgrade through the dialog, with the real worker
// thread and the virtual key in simulated time: how long each tick takes in wall time. A tick
// must stay short, since the window does nothing else while it runs.

#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/upgrade_option.h"

namespace flashwell::bench {

struct TickFigures {
  bool succeeded = false;  // the run reached its final report and the dialog ended
  std::size_t ticks = 0;   // ticks measured (the one that opens the final report left out)
  double longestUs = 0;
  std::uint16_t longestState = 0;  // the state the longest tick ended in
  double p99Us = 0;
  double medianUs = 0;
};

TickFigures measureTicks(protocol::UpgradeOption option);

}  // namespace flashwell::bench
