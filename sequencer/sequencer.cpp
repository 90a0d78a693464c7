#include "sequencer/sequencer.h"

#include "sequencer/control_ids.h"
#include "sequencer/text_ids.h"
#include "sequencer/upgrade_modes.h"

namespace flashwell::sequencer {

namespace {
constexpr std::int32_t kBarEnd = 1000;
constexpr std::int32_t kBarRestart = 50;
constexpr std::uint32_t kLeaveBooterTicks = 100;  // the key gets 10 s to return to its firmware
}  // namespace

Sequencer::Sequencer(DialogView& view, protocol::RequestBlock& block, PackageServices& package)
    : view_(view), block_(block), package_(package) {}

void Sequencer::begin() {
  fields_.connectPromptDelay = 0;
  fields_.selectedOption.reset();
  fields_.booterPasses = 0;
  goToState(UpgradeState::checkPackage);
  resetDisplay();
}

void Sequencer::onTimer(unsigned timerId) {
  if (timerId != kTimerId) return;
  // No tick may begin while this one runs, also under a message box that it opens.
  view_.killTimer(kTimerId);
  blinkTick();
  if (fields_.finishMode != FinishMode::running) {
    fields_.exitLocked = 0;  // EXIT is never locked while a run ends
    if (fields_.finishTicks == 0) fields_.finishTicks = kLeaveBooterTicks;
    resetBar();
    finishStep();
  } else {
    runState();
  }
  view_.setTimer(kTimerId, kTimerPeriodMs);
}

void Sequencer::goToState(UpgradeState next) {
  fields_.state = next;
  fields_.blinkPhase = 0;
  fields_.blinkTicks = 0;
  fields_.keyReadStep = KeyReadStep::clear;
}

void Sequencer::blinkTick() {
  const std::uint8_t old = fields_.blinkTicks;
  fields_.blinkTicks = static_cast<std::uint8_t>(old - 1);
  if (old != 0) return;
  fields_.blinkPhase = fields_.blinkPhase == 0 ? 1 : 0;
  fields_.blinkTicks = fields_.blinkPhase == 1 ? 9 : 2;
}

void Sequencer::resetBar() {
  fields_.progressPos = 0;
  view_.setProgressPos(fields_.progressPos);
}

void Sequencer::stepBar(std::int32_t step) {
  fields_.progressPos += step;
  if (fields_.progressPos >= kBarEnd) fields_.progressPos = kBarRestart;
  view_.setProgressPos(fields_.progressPos);
}

void Sequencer::runState() {
  switch (fields_.state) {
    case UpgradeState::checkPackage:
      return stateCheckPackage();
    case UpgradeState::awaitStart:
      return stateAwaitStart();
    case UpgradeState::connect:
      return stateConnect();
    case UpgradeState::failed:
      return showFailure();
    case UpgradeState::readKey:
      return stateReadKey();
    case UpgradeState::notApplicable:
      return enterErrorStop(kTextNotApplicable);
    case UpgradeState::corrupted:
      return enterErrorStop(kTextCorrupted);
    case UpgradeState::proceed:
      return stateProceed();
    case UpgradeState::awaitChoice:
      return stateAwaitChoice();
    case UpgradeState::clearMark:
      return stateClearMark();
    case UpgradeState::eraseData:
      return stateEraseData();
    case UpgradeState::writeRegions:
      return stateWriteRegions();
    case UpgradeState::readBack:
      return stateReadBack();
    case UpgradeState::eraseFirmware:
      return stateEraseFirmware();
    case UpgradeState::writeFirmware:
      return stateWriteFirmware();
    case UpgradeState::leaveBooter:
      return stateLeaveBooter();
    case UpgradeState::finalReport:
      return stateFinalReport();
    default:
      return;
  }
}

void Sequencer::stateCheckPackage() {
  resetDisplay();
  // A second pass, after the key's firmware was restored from its booter, keeps the choice
  // that the user confirmed in the first.
  if (fields_.booterPasses >= 2) {
    if (const auto confirmed = protocol::optionFromByte(block_.upgradeOption.get())) {
      fields_.selectedOption = confirmed;
    }
  }
  view_.setText(kIdLabels, text(kTextLabels));
  fields_.imageComplete = package_.assignRegionSlots(block_.regions) ? 1 : 0;
  catalogue::Result rows = catalogue::Result::ok;
  if (fields_.imageComplete) rows = package_.buildImageVersionRows();
  if (fields_.imageComplete && rows == catalogue::Result::invalid) {
    setModeChecksEnabled(false);
    goToState(UpgradeState::notApplicable);
  } else if (!fields_.imageComplete || rows == catalogue::Result::badChecksum) {
    setModeChecksEnabled(false);
    goToState(UpgradeState::corrupted);
  } else {
    view_.setText(kIdToolColumn, package_.imageColumnText());
    block_.startRequest.set(1);
    goToState(UpgradeState::awaitStart);
  }
}

void Sequencer::stateAwaitStart() {
  refreshPrompts();
  if (block_.startDone.get() != 0) goToState(UpgradeState::connect);
}

void Sequencer::stateConnect() {
  refreshPrompts();
  resetBar();
  block_.connectRequest.set(1);
  if (block_.connected.get() != 0) goToState(UpgradeState::readKey);
}

void Sequencer::stateReadKey() {
  refreshPrompts();
  stepBar(5);
  const KeyRead r = readKeyStep();
  if (r == KeyRead::reading) return;
  resetBar();
  if (r == KeyRead::ready)
    goToState(UpgradeState::awaitChoice);
  else if (r == KeyRead::unusable)
    goToState(UpgradeState::failed);
  else
    goToState(UpgradeState::notApplicable);
}

void Sequencer::stateAwaitChoice() {
  refreshPrompts();
  const bool chosen = fields_.selectedOption.has_value();
  if (chosen) view_.enable(kIdProceed, true);
  if (chosen && block_.upgradeOption.get() != protocol::kOptionNone)
    goToState(UpgradeState::proceed);
}

void Sequencer::stateFinalReport() {
  fields_.exitLocked = 0;
  view_.show(kIdExit, true);
  resetBar();
  fields_.resultMessage = text(fields_.selectedOption ? modeRow(*fields_.selectedOption).reportText
                                                      : kTextCongratulations);
  view_.messageBox(fields_.resultMessage, MessageBoxKind::information);
  fields_.finishMode = FinishMode::exitAsked;
}

void Sequencer::enterErrorStop(std::uint16_t textId) {
  errorStopText_ = textId;
  failureReached_ = true;
  showStatus(textId, true);
  fields_.finishMode = FinishMode::errorStop;
}

void Sequencer::finishStep() {
  switch (fields_.finishMode) {
    case FinishMode::exitAsked:
      showStatus(kTextExiting, false);
      fields_.finishMode = FinishMode::stopWorker;
      if (block_.enterBooterDone.get() != 0 || block_.enterBooterRequest.get() != 0) {
        // The key was put into its booter in this run, or is being put there: bring it back to
        // its firmware first. The worker runs one job at a time, so a booter entry under way
        // ends before the key is sent back; one not yet begun is withdrawn, and the key, found
        // running its firmware, is left as it is.
        block_.enterBooterRequest.set(0);
        block_.connectRequest.set(0);
        block_.leaveBooterRequest.set(1);
        fields_.finishMode = FinishMode::awaitFirmware;
      }
      return;
    case FinishMode::awaitFirmware:
      showStatus(kTextExiting, false);
      fields_.finishTicks -= 1;
      if (fields_.finishTicks == 0) fields_.finishMode = FinishMode::stopWorker;
      if (block_.leaveBooterDone.get() != 0) fields_.finishMode = FinishMode::stopWorker;
      return;
    case FinishMode::errorStop:
      failureReached_ = true;
      showStatus(errorStopText_, true);
      return;
    default:
      block_.exitRequest.set(1);
      if (block_.workerEnded.get() == 0) {
        showStatus(kTextExiting, false);
      } else {
        view_.endDialog(kEndOrderly);
      }
      return;
  }
}

void Sequencer::setModeChecksEnabled(bool enabled) {
  for (const UpgradeMode& m : kUpgradeModes) view_.enable(m.checkBox, enabled);
}

}  // namespace flashwell::sequencer
