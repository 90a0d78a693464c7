// What the sequencer writes on the screen: the reset at the start of a pass, the blinking
// prompts and status line, the failure display.

#include "sequencer/control_ids.h"
#include "sequencer/sequencer.h"
#include "sequencer/text_ids.h"
#include "sequencer/upgrade_modes.h"

namespace flashwell::sequencer {

namespace {
// The first two on-ticks without a key leave the MEMPOD column alone.
constexpr std::uint8_t kConnectPromptDelay = 2;
}  // namespace

void Sequencer::resetDisplay() {
  package_.chooseLanguage();
  view_.setProgressRange(0, 1000);
  resetBar();

  fields_.finishMode = FinishMode::running;
  fields_.exitLocked = 0;
  fields_.selectedOption.reset();
  fields_.finishTicks = 0;
  fields_.blinkPhase = 0;
  fields_.blinkTicks = 0;
  fields_.proceedStarted = 0;
  fields_.progressPos = 0;
  for (protocol::SharedByte* b :
       {&block_.exitRequest, &block_.connectRequest, &block_.identityRequest,
        &block_.enterBooterRequest, &block_.eraseRequest, &block_.keyFirmwareRequest,
        &block_.leaveBooterRequest}) {
    b->set(0);
  }

  view_.setText(kIdExit, text(kTextExit));
  view_.enable(kIdExit, true);
  view_.setText(kIdProceed, text(kTextProceed));
  view_.enable(kIdProceed, false);
  view_.setText(kIdModePrompt, text(kTextModePrompt));
  for (const UpgradeMode& m : kUpgradeModes) view_.setText(m.checkBox, text(m.captionText));
}

void Sequencer::refreshPrompts() {
  const bool connected = block_.connected.get() == 1;
  if (fields_.blinkPhase == 0) {
    if (!fields_.selectedOption) view_.setText(kIdModePrompt, "");
    if (!connected) view_.setText(kIdKeyColumn, "");
    return;
  }
  if (fields_.blinkPhase != 1) return;
  if (!fields_.selectedOption) view_.setText(kIdModePrompt, text(kTextModePrompt));
  if (connected || fields_.proceedStarted != 0) return;
  if (fields_.connectPromptDelay < kConnectPromptDelay) {
    ++fields_.connectPromptDelay;
    return;
  }
  view_.setText(kIdKeyColumn, text(kTextConnectPrompt));
}

void Sequencer::showStatus(std::uint16_t textId, bool blinkExit) {
  if (fields_.blinkPhase == 0) {
    view_.setText(kIdStatus, "");
    if (blinkExit) view_.setText(kIdExit, " ");
  } else if (fields_.blinkPhase == 1) {
    view_.enable(kIdStatus, true);
    view_.setText(kIdStatus, text(textId));
    if (blinkExit) view_.setText(kIdExit, text(kTextExit));
  }
}

void Sequencer::showFailure() {
  failureReached_ = true;
  fields_.exitLocked = 0;
  view_.enable(kIdProceed, false);
  view_.enable(kIdExit, true);
  view_.show(kIdExit, true);
  showStatus(kTextImpossible, true);
}

}  // namespace flashwell::sequencer
