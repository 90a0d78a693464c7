#include "bench/tick_bench.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "sequencer/upgrade_state.h"
#include "tests/support/upgrade_run.h"

namespace flashwell::bench {

namespace {
// A whole upgrade takes about 1000 ticks; this many end even a run that hangs.
constexpr int kMaxTicks = 5000;
}  // namespace

TickFigures measureTicks(protocol::UpgradeOption option) {
  support::UpgradeRun run("fresh", {.keepTrace = false});
  run.choose(option);
  run.run(kMaxTicks);

  // The tick that opens the final report also runs the message box: left out.
  std::vector<support::TickRecord> ticks;
  for (std::size_t i = 0; i < run.ticks.size(); ++i) {
    if (static_cast<int>(i) != run.reportTick) ticks.push_back(run.ticks[i]);
  }
  TickFigures f;
  f.succeeded = run.reportTick >= 0 && run.ended() && !run.dialog->failureReached();
  f.ticks = ticks.size();
  if (ticks.empty()) return f;
  const auto longest = std::max_element(
      ticks.begin(), ticks.end(),
      [](const support::TickRecord& a, const support::TickRecord& b) { return a.took < b.took; });
  f.longestState = sequencer::stateNumber(longest->state);
  std::vector<std::chrono::nanoseconds> times;
  for (const support::TickRecord& t : ticks) times.push_back(t.took);
  std::sort(times.begin(), times.end());
  const auto us = [](std::chrono::nanoseconds d) { return static_cast<double>(d.count()) / 1e3; };
  f.longestUs = us(times.back());
  f.p99Us = us(times[std::min(times.size() - 1, times.size() * 99 / 100)]);
  f.medianUs = us(times[times.size() / 2]);
  return f;
}

}  // namespace flashwell::bench
