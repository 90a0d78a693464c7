#pragma once

// One whole run of the program in tests, in simulated time: the dialog on a recording view, the
// real worker thread, the virtual key behind the emulated driver. The test's thread is the
// window thread; it only ever waits by sleeping on the clock, and after each tick it plays the
// user's part: the mode ticked once the key has been read, the erase question answered,
// PROCEED pressed once, EXIT pressed in a given state.
//
//   UpgradeRun run("fresh");
//   run.pullKey();
//   run.choose(1);              // "Only", and Yes to the erase question
//   ASSERT_FALSE(run.run(50));  // the prompt for the key
//   run.plugKey();
//   ASSERT_TRUE(run.run(5000));
//   EXPECT_EQ(run.view.messageBoxes.back().text, run.text(kTextCongratulations));

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/flashwell_dlg.h"
#include "catalogue/system_locale.h"
#include "sequencer/recording_view.h"
#include "sequencer/upgrade_state.h"
#include "tests/support/key_bench.h"
#include "tests/support/state_print.h"
#include "tests/support/test_packages.h"

namespace flashwell::support {

// One tick as the run saw it: the virtual time at which it ran, the state and the finish mode
// after it, and the wall time the tick took.
struct TickRecord {
  std::uint64_t atMs;
  flashwell::sequencer::UpgradeState state;
  flashwell::sequencer::FinishMode finishMode;
  std::chrono::nanoseconds took;
};

struct RunOptions {
  std::vector<std::uint8_t> package = embeddedPackageCopy();
  std::uint32_t lcid = 0x0409;
  bool keepTrace = true;
};

class UpgradeRun : public KeyBench {
 public:
  explicit UpgradeRun(std::string_view keyState = "fresh", RunOptions options = {});
  // A key as an earlier run left it.
  explicit UpgradeRun(emulator::KeyImage image, RunOptions options = {});
  ~UpgradeRun();

  // The user. `mode` is ticked once the key has been read and the erase question answered with
  // `answerYes`; PROCEED follows once the sequencer enables it. The byte form takes the mode's
  // block byte (1 "Only", 2 "Always", 3 "Never"), as the fault cells list it; 0 ticks nothing.
  void choose(protocol::UpgradeOption mode, bool answerYes = true);
  void choose(std::uint8_t modeByte, bool answerYes = true);
  // EXIT, once: after the first tick that leaves the sequencer in `state` while the run goes
  // on. (For EXIT at a given tick, press it from `run`'s `each`.)
  void pressExitInState(sequencer::UpgradeState state);
  void pullKey() { driver->unplug(); }
  void plugKey() { driver->plug(); }

  // One period of timer 10 on the clock, the tick when the timer is set, then the user's part.
  // Whether a tick ran.
  bool tick();
  // Periods until the dialog ends, `until` holds after one, or `maxPeriods` have run. The
  // number of periods run.
  int runUntil(int maxPeriods, const std::function<bool()>& until = {});
  // Periods until the dialog ends or `maxPeriods` have run, `each` after every tick. Whether
  // the dialog ended.
  bool run(int maxPeriods, const std::function<void()>& each = {});

  bool ended() const { return view.ended(); }
  sequencer::UpgradeState state() const { return dialog->status().state; }
  sequencer::FinishMode finishMode() const { return dialog->status().finishMode; }
  // The text of that id in the run's language; a control's text as the view shows it.
  std::string text(std::uint16_t id) { return dialog->text(id); }
  const std::string& shown(int controlId) { return view.text(controlId); }

  catalogue::FixedSystemLocale locale;
  sequencer::RecordingView view;
  std::unique_ptr<app::CFlashwell_02Dlg> dialog;

  // What the run went through: each state and finish mode once per change, every tick, and
  // the tick that showed the final report (-1 before).
  std::vector<sequencer::UpgradeState> states;
  std::vector<flashwell::sequencer::FinishMode> finishModes;
  std::vector<TickRecord> ticks;
  int reportTick = -1;

 private:
  void playUser();
  void note();
  std::optional<protocol::UpgradeOption> mode_;
  bool proceedPressed_ = false;
  std::optional<sequencer::UpgradeState> exitInState_;
};

}  // namespace flashwell::support
