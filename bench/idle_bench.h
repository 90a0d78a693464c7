#pragma once

// The idle worker on the system clock: how much of a core it takes while no request is raised,
// and how soon it takes up a request once one is.

#include <cstdint>

namespace flashwell::bench {

struct IdleFigures {
  double idleSeconds = 0;
  double cpuSeconds = 0;  // process CPU time over the idle span (the other thread sleeps)
  double coreShare() const { return idleSeconds > 0 ? cpuSeconds / idleSeconds : 0; }
  int pickups = 0;
  double meanPickupMs = 0;
  double maxPickupMs = 0;
};

IdleFigures measureIdle(double idleSeconds, int pickups);

}  // namespace flashwell::bench
