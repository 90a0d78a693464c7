// The states that carry out the upgrade once the user has confirmed: the key's own firmware
// through its booter, then the data area, the mark and the components, then the read-back.

#include "sequencer/control_ids.h"
#include "sequencer/sequencer.h"
#include "sequencer/text_ids.h"

namespace flashwell::sequencer {

void Sequencer::stateProceed() {
  refreshPrompts();
  view_.enable(kIdProceed, false);
  proceedStep();
  fields_.proceedStarted = 1;
}

void Sequencer::proceedStep() {
  resetBar();
  if (fields_.booterPasses == 0) {
    if (fields_.selectedOption && !protocol::writesOf(*fields_.selectedOption).keyFirmware) {
      // A mode that leaves the key's own firmware as it is ("Never").
      resetBar();
      goToState(UpgradeState::clearMark);
    } else if (block_.enterBooterDone.get() == 0) {
      showStatus(kTextStartingBooter, false);
      stepBar(5);
      block_.enterBooterRequest.set(1);
    } else {
      resetBar();
      goToState(UpgradeState::eraseFirmware);
    }
  } else if (fields_.booterPasses == 1) {
    goToState(UpgradeState::eraseFirmware);  // the booter runs already
  } else {
    goToState(UpgradeState::eraseData);  // second pass: the firmware has been restored
  }
}

void Sequencer::runJob(protocol::SharedByte& request, const protocol::SharedByte& done,
                       UpgradeState next) {
  request.set(1);
  const std::uint8_t answer = done.get();
  if (answer == protocol::kJobDone) {
    goToState(next);
    resetBar();
  } else if (answer == protocol::kJobRefused) {
    showFailure();
  }
}

void Sequencer::stateEraseFirmware() {
  refreshPrompts();
  fields_.exitLocked = 1;
  showStatus(kTextErasingFirmware, false);
  stepBar(10);
  runJob(block_.eraseRequest, block_.eraseDone, UpgradeState::writeFirmware);
}

void Sequencer::stateWriteFirmware() {
  refreshPrompts();
  const std::uint8_t done = block_.keyFirmwareDone.get();
  if (done == protocol::kJobRefused) {
    showFailure();
    return;
  }
  showStatus(kTextUpdatingFirmware, false);
  stepBar(10);
  block_.keyFirmwareRequest.set(1);
  if (done == protocol::kJobDone) goToState(UpgradeState::leaveBooter);
}

void Sequencer::stateLeaveBooter() {
  refreshPrompts();
  fields_.exitLocked = 0;
  stepBar(5);
  showStatus(kTextUpdatingFirmware, false);
  block_.leaveBooterRequest.set(1);
  if (block_.leaveBooterDone.get() != protocol::kJobDone) return;
  if (fields_.booterPasses == 1) {
    // The key was found in its booter: with its firmware back, start over from the package.
    fields_.booterPasses = 2;
    goToState(UpgradeState::checkPackage);
  } else {
    goToState(UpgradeState::eraseData);
  }
  resetBar();
}

void Sequencer::stateEraseData() {
  stepBar(7);
  showStatus(kTextErasingData, false);
  refreshPrompts();
  runJob(block_.dataEraseRequest, block_.dataEraseDone, UpgradeState::clearMark);
}

void Sequencer::stateClearMark() {
  refreshPrompts();
  fields_.exitLocked = 0;
  stepBar(5);
  showStatus(kTextUpdatingFirmware, false);
  runJob(block_.markRequest, block_.markDone, UpgradeState::writeRegions);
}

void Sequencer::stateWriteRegions() {
  refreshPrompts();
  stepBar(6);
  if (writeRegionsStep()) goToState(UpgradeState::readBack);
}

bool Sequencer::writeRegionsStep() {
  // The worker reads the mode when it writes the regions, so it goes in before the request.
  block_.upgradeOption.set(fields_.selectedOption ? protocol::optionByte(*fields_.selectedOption)
                                                  : protocol::kOptionNone);
  if (protocol::programCode(block_.identity) != protocol::kProgramFirmware) {
    failureReached_ = true;
    showStatus(kTextCopyError, false);
    return false;
  }
  block_.regionsRequest.set(1);
  const std::uint8_t done = block_.regionsDone.get();
  if (done == protocol::kJobDone) return true;
  if (done == protocol::kJobRefused) {
    failureReached_ = true;
    showStatus(kTextCopyError, false);
    return false;
  }
  if (done != fields_.lastRegionsPhase) {
    resetBar();  // each component starts the bar afresh
    fields_.lastRegionsPhase = done;
  }
  if (fields_.selectedOption && !protocol::writesOf(*fields_.selectedOption).components) {
    showStatus(kTextErasingComponents, false);
  } else {
    // Before the first component the data erase is still named.
    showStatus(phaseText(done).value_or(kTextErasingData), false);
  }
  return false;
}

void Sequencer::stateReadBack() {
  if (showReadBackFailure()) return;
  refreshPrompts();
  stepBar(3);
  const KeyRead r = readKeyStep();
  if (r == KeyRead::reading) return;
  // A key that answers from its booter after the upgrade does not run its firmware: that is
  // no success to report, whatever the key read makes of it.
  const bool firmwareRuns = protocol::programCode(block_.identity) == protocol::kProgramFirmware;
  // A key that holds other bytes than were sent stays here on the copy error.
  if (r == KeyRead::ready && firmwareRuns && !readBackHolds()) return;
  goToState(r == KeyRead::ready && firmwareRuns ? UpgradeState::finalReport : UpgradeState::failed);
}

}  // namespace flashwell::sequencer
