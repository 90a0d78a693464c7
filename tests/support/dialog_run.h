#pragma once

// The window thread's side of one whole run in tests, whichever window the dialog draws on: the
// recording view (upgrade_run.h) or a toolkit's window (the Qt test's). The test's thread is the
// window thread; it only ever waits by sleeping on the clock, and after each tick it plays the
// user's part: the mode ticked once the key has been read, the erase question answered, PROCEED
// pressed once, EXIT pressed in a given state. A kind of window says how its timer fires and how
// the user's clicks and answers reach it.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "app/flashwell_dlg.h"
#include "protocol/upgrade_option.h"
#include "sequencer/upgrade_state.h"
#include "tests/support/key_bench.h"

namespace flashwell::support {

// One tick as the run saw it: the virtual time at which it ran, the state and the finish mode
// after it, and the wall time the tick took.
struct TickRecord {
  std::uint64_t atMs;
  sequencer::UpgradeState state;
  sequencer::FinishMode finishMode;
  std::chrono::nanoseconds took;
};

class DialogRun : public KeyBench {
 public:
  virtual ~DialogRun() = default;

  // The user. `mode` is ticked once the key has been read and the erase question answered with
  // `answerYes`; PROCEED follows once the sequencer enables it.
  void choose(protocol::UpgradeOption mode, bool answerYes = true);
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

  virtual bool ended() const = 0;
  sequencer::UpgradeState state() const { return controller().status().state; }
  sequencer::FinishMode finishMode() const { return controller().status().finishMode; }

  // What the run went through: each state and finish mode once per change, every tick, and
  // the tick that showed the final report (-1 before).
  std::vector<sequencer::UpgradeState> states;
  std::vector<sequencer::FinishMode> finishModes;
  std::vector<TickRecord> ticks;
  int reportTick = -1;

 protected:
  explicit DialogRun(emulator::KeyImage image, bool keepTrace = true)
      : KeyBench(std::move(image), keepTrace) {}

  // The window's part.
  virtual const app::CFlashwell_02Dlg& controller() const = 0;
  // Timer 10's message when the timer is set; whether it was.
  virtual bool fireTimer() = 0;
  // The message boxes shown so far.
  virtual std::size_t boxesShown() const = 0;
  // The user's hands on the controls: a click on a check box or button, and what the user sees
  // of them.
  virtual void click(int controlId) = 0;
  virtual bool enabled(int controlId) = 0;
  virtual bool checked(int controlId) = 0;
  // The answer to the next question the dialog asks.
  virtual void answerNext(bool yes) = 0;

 private:
  void playUser();
  void note();
  std::optional<protocol::UpgradeOption> mode_;
  bool proceedPressed_ = false;
  std::optional<sequencer::UpgradeState> exitInState_;
};

}  // namespace flashwell::support
