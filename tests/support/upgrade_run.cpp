#include "tests/support/upgrade_run.h"

#include "sequencer/upgrade_modes.h"

#include "sequencer/control_ids.h"

namespace flashwell::support {

UpgradeRun::UpgradeRun(std::string_view keyState, RunOptions options)
    : UpgradeRun(namedKey(keyState), std::move(options)) {}

UpgradeRun::UpgradeRun(emulator::KeyImage image, RunOptions options)
    : KeyBench(std::move(image), options.keepTrace), locale(options.lcid) {
  dialog = std::make_unique<app::CFlashwell_02Dlg>(
      view, app::DialogEnvironment{*driver, clock, notices, locale}, std::move(options.package));
  dialog->OnInitDialog();
}

UpgradeRun::~UpgradeRun() {
  // The dialog stops and joins its worker, which uses the driver and the key.
  dialog.reset();
}

void UpgradeRun::choose(protocol::UpgradeOption mode, bool answerYes) {
  mode_ = mode;
  if (sequencer::modeRow(mode).asksErase) {
    view.answers.push_back(answerYes ? sequencer::MessageBoxAnswer::yes
                                     : sequencer::MessageBoxAnswer::no);
  }
}

void UpgradeRun::choose(std::uint8_t modeByte, bool answerYes) {
  if (const auto mode = protocol::optionFromByte(modeByte)) choose(*mode, answerYes);
}

void UpgradeRun::pressExitInState(sequencer::UpgradeState state) {
  exitInState_ = state;
}

bool UpgradeRun::tick() {
  clock.sleepMs(sequencer::kTimerPeriodMs);
  if (!view.timerSet(sequencer::kTimerId)) return false;
  note();
  const std::size_t boxes = view.messageBoxes.size();
  const auto start = std::chrono::steady_clock::now();
  dialog->OnTimer(sequencer::kTimerId);
  const auto took = std::chrono::steady_clock::now() - start;
  if (view.messageBoxes.size() != boxes && reportTick < 0 &&
      state() == sequencer::UpgradeState::finalReport) {
    reportTick = static_cast<int>(ticks.size());
  }
  ticks.push_back({clock.elapsedMs(), state(), finishMode(), took});
  note();
  if (!view.ended()) playUser();
  return true;
}

int UpgradeRun::runUntil(int maxPeriods, const std::function<bool()>& until) {
  int n = 0;
  while (n < maxPeriods && !view.ended()) {
    tick();
    ++n;
    if (until && until()) break;
  }
  return n;
}

bool UpgradeRun::run(int maxPeriods, const std::function<void()>& each) {
  for (int i = 0; i < maxPeriods && !view.ended(); ++i) {
    if (tick() && each) each();
  }
  return view.ended();
}

void UpgradeRun::playUser() {
  if (finishMode() != flashwell::sequencer::FinishMode::running) return;
  if (exitInState_ && state() == *exitInState_) {
    exitInState_.reset();
    dialog->OnExit();
    note();
    return;
  }
  if (!mode_ || proceedPressed_ || state() != sequencer::UpgradeState::awaitChoice) return;
  if (!dialog->status().selectedOption) dialog->OnMode(*mode_);
  if (dialog->status().selectedOption && view.control(sequencer::kIdProceed).enabled) {
    proceedPressed_ = true;
    dialog->OnProceed();
  }
}

void UpgradeRun::note() {
  if (states.empty() || states.back() != state()) states.push_back(state());
  if (finishModes.empty() || finishModes.back() != finishMode()) {
    finishModes.push_back(finishMode());
  }
}

}  // namespace flashwell::support
