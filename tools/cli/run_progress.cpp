#include "tools/cli/run_progress.h"

#include <algorithm>

#include "protocol/pauses.h"

namespace flashwell::cli {

namespace {
// What the key takes, as the plan counts it.
struct KeyTimes {
  std::uint32_t firmwareEraseMs = 1500;
  std::uint32_t dataEraseMs = 4000;
  std::uint32_t firmwareBlockMs = 6;  // to take one block of each writer
  std::uint32_t regionBlockMs = 4;
  std::uint32_t readMs = 800;  // identity and versions
};
constexpr KeyTimes kKey;
// The window thread adds about two ticks to every step.
constexpr std::uint32_t kStepMs = 200;
}  // namespace

PlannedRun planRun(const protocol::BlockPlan& blocks, bool booterRuns) {
  PlannedRun run;
  std::uint32_t& t = run.totalMs;
  auto sendBlocks = [&run, &t](std::uint32_t count, std::uint32_t eachMs) {
    for (std::uint32_t i = 0; i < count; ++i) {
      t += eachMs;
      run.blockDoneAtMs.push_back(t);
    }
  };
  if (blocks.keyFirmware) {
    if (!booterRuns) t += protocol::kAfterRestartIntoBooterMs + kStepMs;
    t += kKey.firmwareEraseMs + kStepMs;
    sendBlocks(blocks.firmware, kKey.firmwareBlockMs);
    t += protocol::kBeforeRestartIntoFirmwareMs + protocol::kAfterRestartIntoFirmwareMs + kStepMs;
    if (booterRuns) t += kKey.readMs + kStepMs;
    t += kKey.dataEraseMs + kStepMs;
  }
  t += kStepMs;  // the mark
  for (const std::uint32_t count : blocks.components) {
    t += protocol::kAfterRegionOpenMs;
    sendBlocks(count, kKey.regionBlockMs);
  }
  t += kKey.readMs;
  return run;
}

int RunPercent::at(std::uint32_t sinceMs, std::uint32_t sent, bool finished) {
  if (finished) return last_ = 100;
  const std::vector<std::uint32_t>& done = plan_.blockDoneAtMs;
  const std::uint32_t k = std::min<std::uint32_t>(sent, static_cast<std::uint32_t>(done.size()));
  if (k != sentBefore_) {
    sentBefore_ = k;
    reachedAtMs_ = sinceMs;
  }
  const std::uint64_t from = k == 0 ? 0 : done[k - 1];
  const std::uint64_t ceiling = k < done.size() ? done[k] : plan_.totalMs;
  const std::uint64_t position = std::min<std::uint64_t>(from + (sinceMs - reachedAtMs_), ceiling);
  // 100 belongs to the end of the run.
  const std::uint64_t percent =
      plan_.totalMs == 0 ? 99 : std::min<std::uint64_t>(99, position * 100 / plan_.totalMs);
  last_ = std::max(last_, static_cast<int>(percent));
  return last_;
}

}  // namespace flashwell::cli
