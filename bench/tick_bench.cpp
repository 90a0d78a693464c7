#include "bench/tick_bench.h"

#include <algorithm>
#include <chrono>
#include <span>
#include <vector>

#include "app/flashwell_dlg.h"
#include "catalogue/embedded_package.h"
#include "catalogue/system_locale.h"
#include "emulator/emulated_driver.h"
#include "emulator/named_states.h"
#include "sequencer/control_ids.h"
#include "sequencer/recording_view.h"
#include "sequencer/upgrade_modes.h"
#include "sequencer/upgrade_state.h"

namespace flashwell::bench {

namespace {
// A whole upgrade takes about 1000 ticks; this many end even a run that hangs.
constexpr int kMaxTicks = 5000;
}  // namespace

TickFigures measureTicks(protocol::UpgradeOption option) {
  usb::SimulatedClock clock;
  emulator::VirtualKey key(*emulator::namedKeyState("fresh"));
  emulator::EmulatedDriver driver(clock, key, nullptr);
  usb::SilentNotices notices;
  catalogue::FixedSystemLocale locale(0x0409);
  sequencer::RecordingView view;
  const std::span<const std::uint8_t> embedded = catalogue::embeddedPackage();
  app::CFlashwell_02Dlg dialog(view, app::DialogEnvironment{driver, clock, notices, locale},
                               {embedded.begin(), embedded.end()});
  dialog.OnInitDialog();
  if (sequencer::modeRow(option).asksErase) {
    view.answers.push_back(sequencer::MessageBoxAnswer::yes);
  }

  struct Tick {
    std::chrono::nanoseconds time;
    sequencer::UpgradeState state;
  };
  std::vector<Tick> ticks;
  bool reported = false;
  bool proceedPressed = false;
  for (int i = 0; i < kMaxTicks && !view.ended(); ++i) {
    clock.sleepMs(sequencer::kTimerPeriodMs);
    if (!view.timerSet(sequencer::kTimerId)) continue;
    const std::size_t boxes = view.messageBoxes.size();
    const auto start = std::chrono::steady_clock::now();
    dialog.OnTimer(sequencer::kTimerId);
    const auto took = std::chrono::steady_clock::now() - start;
    const sequencer::UpgradeState state = dialog.status().state;
    // The tick that opens the final report also runs the message box: left out.
    if (view.messageBoxes.size() != boxes && state == sequencer::UpgradeState::finalReport) {
      reported = true;
    } else {
      ticks.push_back({took, state});
    }
    if (proceedPressed || state != sequencer::UpgradeState::awaitChoice) continue;
    if (!dialog.status().selectedOption) dialog.OnMode(option);
    if (view.control(sequencer::kIdProceed).enabled) {
      proceedPressed = true;
      dialog.OnProceed();
    }
  }

  TickFigures f;
  f.succeeded = reported && view.ended() && !dialog.failureReached();
  f.ticks = ticks.size();
  if (ticks.empty()) return f;
  const auto longest = std::max_element(
      ticks.begin(), ticks.end(), [](const Tick& a, const Tick& b) { return a.time < b.time; });
  f.longestState = sequencer::stateNumber(longest->state);
  std::vector<std::chrono::nanoseconds> times;
  for (const Tick& t : ticks) times.push_back(t.time);
  std::sort(times.begin(), times.end());
  const auto us = [](std::chrono::nanoseconds d) { return static_cast<double>(d.count()) / 1e3; };
  f.longestUs = us(times.back());
  f.p99Us = us(times[std::min(times.size() - 1, times.size() * 99 / 100)]);
  f.medianUs = us(times[times.size() / 2]);
  return f;
}

}  // namespace flashwell::bench
