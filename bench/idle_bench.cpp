#include "bench/idle_bench.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "emulator/emulated_driver.h"
#include "emulator/named_states.h"
#include "protocol/worker.h"

namespace flashwell::bench {

namespace {

double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

using Steady = std::chrono::steady_clock;

// Busy-waits (briefly) for a byte; the pickup delays are far below a sleep's granularity.
void spinFor(const protocol::SharedByte& byte, bool nonZero) {
  while ((byte.get() != 0) != nonZero) std::this_thread::yield();
}

}  // namespace

IdleFigures measureIdle(double idleSeconds, int pickups) {
  IdleFigures figures;
  usb::SystemClock clock;
  emulator::VirtualKey key(*emulator::namedKeyState("fresh"));
  emulator::EmulatedDriver driver(clock, key);
  usb::SilentNotices notices;
  protocol::RequestBlock block;
  block.zero();  // no package: the key-firmware job is refused at once, without traffic
  protocol::Worker worker(block, driver, clock, notices);
  std::thread thread([&] { worker.WorkerMain(); });

  block.startRequest.set(1);
  spinFor(block.startDone, true);
  block.connectRequest.set(1);
  spinFor(block.connected, true);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // past the start pause

  const double cpuBefore = processCpuSeconds();
  const auto idleStart = Steady::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
  figures.idleSeconds = std::chrono::duration<double>(Steady::now() - idleStart).count();
  figures.cpuSeconds = processCpuSeconds() - cpuBefore;

  // A job that answers without touching the key: the time to its answer is the pickup delay.
  double total = 0;
  for (int i = 0; i < pickups; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    const auto raised = Steady::now();
    block.keyFirmwareRequest.set(1);
    spinFor(block.keyFirmwareDone, true);
    const double ms = std::chrono::duration<double, std::milli>(Steady::now() - raised).count();
    total += ms;
    figures.maxPickupMs = std::max(figures.maxPickupMs, ms);
    block.keyFirmwareRequest.set(0);
    spinFor(block.keyFirmwareDone, false);
  }
  figures.pickups = pickups;
  figures.meanPickupMs = pickups > 0 ? total / pickups : 0;

  block.exitRequest.set(1);
  spinFor(block.workerEnded, true);
  thread.join();
  return figures;
}

}  // namespace flashwell::bench
