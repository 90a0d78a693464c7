#include "tests/support/upgrade_run.h"

#include "sequencer/upgrade_modes.h"

#include "sequencer/control_ids.h"

namespace flashwell::support {

UpgradeRun::UpgradeRun(std::string_view keyState, RunOptions options)
    : UpgradeRun(namedKey(keyState), std::move(options)) {}

UpgradeRun::UpgradeRun(emulator::KeyImage image, RunOptions options)
    : DialogRun(std::move(image), options.keepTrace), locale(options.lcid) {
  dialog = std::make_unique<app::CFlashwell_02Dlg>(
      view, app::DialogEnvironment{*driver, clock, notices, locale}, std::move(options.package));
  dialog->OnInitDialog();
}

UpgradeRun::~UpgradeRun() {
  // The dialog stops and joins its worker, which uses the driver and the key.
  dialog.reset();
}

bool UpgradeRun::fireTimer() {
  if (!view.timerSet(sequencer::kTimerId)) return false;
  dialog->OnTimer(sequencer::kTimerId);
  return true;
}

void UpgradeRun::click(int controlId) {
  if (controlId == sequencer::kIdExit) dialog->OnExit();
  if (controlId == sequencer::kIdProceed) dialog->OnProceed();
  if (const auto mode = sequencer::modeOfCheckBox(controlId)) dialog->OnMode(*mode);
}

void UpgradeRun::answerNext(bool yes) {
  view.answers.push_back(yes ? sequencer::MessageBoxAnswer::yes : sequencer::MessageBoxAnswer::no);
}

}  // namespace flashwell::support
