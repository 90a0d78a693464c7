#pragma once

// One percentage for a whole upgrade that follows time and never goes back. Once PROCEED is
// confirmed the course of the run is known: the blocks the writers will send, the pauses the
// worker makes, the time the key takes to erase, the ticks of the window thread between the
// steps. That course is laid out as a time line on which every block has its planned moment.
// The percentage follows the time since PROCEED along that line, and each block sent sets it at
// least to its own moment, but time alone never carries it past the next block not yet sent.

#include <cstdint>
#include <utility>
#include <vector>

#include "protocol/block_plan.h"

namespace flashwell::cli {

// The planned time line of an upgrade from PROCEED on.
struct PlannedRun {
  std::uint32_t totalMs = 0;
  std::vector<std::uint32_t> blockDoneAtMs;  // the planned moment each block has been sent
};

// `booterRuns`: the key was found in its booter, so the run restores its firmware first and then
// reads the key again.
PlannedRun planRun(const protocol::BlockPlan& blocks, bool booterRuns);

class RunPercent {
 public:
  explicit RunPercent(PlannedRun plan) : plan_(std::move(plan)) {}

  // The percentage `sinceMs` after PROCEED with `sent` blocks sent; 100 only once `finished`.
  int at(std::uint32_t sinceMs, std::uint32_t sent, bool finished);
  std::uint32_t plannedMs() const { return plan_.totalMs; }

 private:
  PlannedRun plan_;
  std::uint32_t sentBefore_ = 0;
  std::uint32_t reachedAtMs_ = 0;  // when the blocks sent last grew
  int last_ = 0;
};

}  // namespace flashwell::cli
