// flashwell-bench: runs whole upgrades against the virtual key in simulated time and prints how
// close each comes to its floor, the wall time it took and the blocks sent per component.
//
//   flashwell-bench            all three options
//   flashwell-bench --short    option 1 only (for the test script)
//   flashwell-bench --idle     the idle worker on the system clock: CPU share over 10 s and the
//                              delay before a raised request is taken up
//   flashwell-bench --ticks    the wall time of the window thread's ticks over a whole upgrade
//                              through the dialog (also part of the full run)

#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/idle_bench.h"
#include "bench/tick_bench.h"
#include "bench/upgrade_bench.h"
#include "protocol/upgrade_option.h"

int main(int argc, char** argv) {
  bool shortRun = false;
  bool idle = false;
  bool ticksOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--short") == 0) {
      shortRun = true;
    } else if (std::strcmp(argv[i], "--idle") == 0) {
      idle = true;
    } else if (std::strcmp(argv[i], "--ticks") == 0) {
      ticksOnly = true;
    } else {
      std::fprintf(stderr, "usage: flashwell-bench [--short | --idle | --ticks]\n");
      return 2;
    }
  }
  if (idle) {
    const auto f = flashwell::bench::measureIdle(10.0, 200);
    std::printf("idle worker: %.3f s of CPU over %.2f s, %.2f %% of one core\n", f.cpuSeconds,
                f.idleSeconds, 100.0 * f.coreShare());
    std::printf("pickup of a raised request (%d times): mean %.3f ms, max %.3f ms\n", f.pickups,
                f.meanPickupMs, f.maxPickupMs);
    return 0;
  }
  if (ticksOnly || !shortRun) {
    const auto t = flashwell::bench::measureTicks(flashwell::protocol::UpgradeOption::always);
    std::printf("ticks over an \"Always\" upgrade through the dialog: %s\n",
                t.succeeded ? "upgrade done" : "UPGRADE FAILED");
    std::printf(
        "  %zu ticks: longest %.1f us (ending in state %u), 99th percentile %.1f us, "
        "median %.1f us\n",
        t.ticks, t.longestUs, unsigned(t.longestState), t.p99Us, t.medianUs);
    if (!t.succeeded) return 1;
    if (ticksOnly) return 0;
  }
  using flashwell::protocol::kOptionWrites;
  const std::size_t runs = shortRun ? 1 : kOptionWrites.size();
  bool failed = false;
  for (std::size_t r = 0; r < runs; ++r) {
    const flashwell::protocol::UpgradeOption option = kOptionWrites[r].option;
    const auto f = flashwell::bench::runUpgrade(option);
    std::printf("option %u: %s\n", unsigned{flashwell::protocol::optionByte(option)},
                f.succeeded ? "upgrade done" : "UPGRADE FAILED");
    if (!f.succeeded) {
      std::printf("  failed at: %s\n", f.failure.c_str());
      failed = true;
    }
    std::printf(
        "  simulated %llu ms, floor %llu ms (pauses %llu prescribed, %llu made; key %llu)\n",
        static_cast<unsigned long long>(f.simulatedMs),
        static_cast<unsigned long long>(f.floorMs()),
        static_cast<unsigned long long>(f.prescribedMs),
        static_cast<unsigned long long>(f.pausesMs), static_cast<unsigned long long>(f.keyBusyMs));
    std::printf("  ratio to floor %.4f (%s 1 %%)\n", f.ratio(),
                f.ratio() <= 1.01 ? "within" : "NOT within");
    std::printf("  wall time %.3f s\n", f.wallSeconds);
    for (const auto& c : f.blocks) {
      std::printf("  %-18s %zu of %zu blocks\n", c.name.c_str(), c.sent, c.total);
    }
  }
  return failed ? 1 : 0;
}
