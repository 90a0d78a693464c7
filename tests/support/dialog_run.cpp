#include "tests/support/dialog_run.h"

#include "sequencer/control_ids.h"
#include "sequencer/upgrade_modes.h"

namespace flashwell::support {

void DialogRun::choose(protocol::UpgradeOption mode, bool answerYes) {
  mode_ = mode;
  if (sequencer::modeRow(mode).asksErase) answerNext(answerYes);
}

void DialogRun::pressExitInState(sequencer::UpgradeState state) {
  exitInState_ = state;
}

bool DialogRun::tick() {
  clock.sleepMs(sequencer::kTimerPeriodMs);
  note();
  const std::size_t boxes = boxesShown();
  const auto start = std::chrono::steady_clock::now();
  if (!fireTimer()) return false;
  const auto took = std::chrono::steady_clock::now() - start;
  if (boxesShown() != boxes && reportTick < 0 && state() == sequencer::UpgradeState::finalReport) {
    reportTick = static_cast<int>(ticks.size());
  }
  ticks.push_back({clock.elapsedMs(), state(), finishMode(), took});
  note();
  if (!ended()) playUser();
  return true;
}

int DialogRun::runUntil(int maxPeriods, const std::function<bool()>& until) {
  int n = 0;
  while (n < maxPeriods && !ended()) {
    tick();
    ++n;
    if (until && until()) break;
  }
  return n;
}

bool DialogRun::run(int maxPeriods, const std::function<void()>& each) {
  for (int i = 0; i < maxPeriods && !ended(); ++i) {
    if (tick() && each) each();
  }
  return ended();
}

void DialogRun::playUser() {
  if (finishMode() != sequencer::FinishMode::running) return;
  if (exitInState_ && state() == *exitInState_) {
    exitInState_.reset();
    click(sequencer::kIdExit);
    note();
    return;
  }
  if (!mode_ || proceedPressed_ || state() != sequencer::UpgradeState::awaitChoice) return;
  const int box = sequencer::modeRow(*mode_).checkBox;
  if (!checked(box)) click(box);
  if (checked(box) && enabled(sequencer::kIdProceed)) {
    proceedPressed_ = true;
    click(sequencer::kIdProceed);
  }
}

void DialogRun::note() {
  if (states.empty() || states.back() != state()) states.push_back(state());
  if (finishModes.empty() || finishModes.back() != finishMode()) {
    finishModes.push_back(finishMode());
  }
}

}  // namespace flashwell::support
