// What the dialog's buttons do to the sequencer: the check boxes and the erase question answer at
// once; the rest is left in fields, and in the block's mode byte, for the next tick.

#include "sequencer/control_ids.h"
#include "sequencer/sequencer.h"
#include "sequencer/text_ids.h"
#include "sequencer/upgrade_modes.h"

namespace flashwell::sequencer {

void Sequencer::guardedExit(bool packageOpen) {
  if (fields_.exitLocked) return;  // the key's own firmware is being erased or written
  if (!packageOpen || fields_.finishMode == FinishMode::errorStop) {
    view_.endDialog(kEndAtOnce);
    return;
  }
  fields_.finishMode = FinishMode::exitAsked;
}

void Sequencer::chooseMode(protocol::UpgradeOption mode) {
  for (const UpgradeMode& m : kUpgradeModes) view_.setCheck(m.checkBox, m.option == mode);
  for (const UpgradeMode& m : kUpgradeModes) view_.setText(m.marker, " ");
  view_.enable(kIdModePrompt, false);
  view_.setText(kIdModePrompt, text(kTextModePrompt));
  fields_.selectedOption = mode;
}

void Sequencer::proceed() {
  // Once an upgrade has been chosen it runs (a second click would ask again over it), and once
  // the exit has begun there is nothing left to proceed with.
  if (block_.upgradeOption.get() != protocol::kOptionNone ||
      fields_.finishMode != FinishMode::running)
    return;
  if (!fields_.selectedOption) return;
  const protocol::UpgradeOption mode = *fields_.selectedOption;
  if (modeRow(mode).asksErase) {
    // Ticks go on under this box; the choice state waits since upgradeOption is still 0.
    const MessageBoxAnswer answer =
        view_.messageBox(text(kTextEraseQuestion), MessageBoxKind::yesNoQuestion);
    if (answer != MessageBoxAnswer::yes) {
      fields_.finishMode = FinishMode::exitAsked;
      return;
    }
  }
  block_.upgradeOption.set(protocol::optionByte(mode));
  setModeChecksEnabled(false);
}

}  // namespace flashwell::sequencer
