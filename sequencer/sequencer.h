#pragma once

// The timer-driven state machine that walks an upgrade, and the displays it drives. It runs on
// the window thread only: every piece of USB work is a request raised in the block, whose done
// byte a later tick reads. The button handlers tick the check boxes and ask the erase question
// at once, and otherwise act through fields and the mode byte that the next tick reads. From
// outside, a run is driven by the ticks, the handlers and the block, and read through status().

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/request_block.h"
#include "protocol/upgrade_option.h"
#include "sequencer/dialog_view.h"
#include "sequencer/package_services.h"
#include "sequencer/sequencer_fields.h"
#include "sequencer/upgrade_state.h"

namespace flashwell::sequencer {

// The two endings of the modal dialog.
inline constexpr int kEndOrderly = 1;  // after the worker has stopped
inline constexpr int kEndAtOnce = 2;   // the cancel ending: error stop, cancel command

class Sequencer {
 public:
  Sequencer(DialogView& view, protocol::RequestBlock& block, PackageServices& package);

  // Where the run stands, read-only; it changes with the ticks and the handlers.
  const RunStatus& status() const { return fields_; }

  // The start of the dialog: a first pass from state 0 with the displays reset (the language
  // is chosen). `refusePackage` after it when the package cannot be opened: the error stop.
  void begin();
  void refusePackage() { fields_.finishMode = FinishMode::errorStop; }

  // The tick of timer 10; a message for another timer changes nothing.
  void onTimer(unsigned timerId);

  // What the dialog's handlers do. `packageOpen` tells whether the model word of the package
  // is a usable one (1 to 20); without it EXIT ends the dialog at once.
  void guardedExit(bool packageOpen);
  void chooseMode(protocol::UpgradeOption mode);
  void proceed();

  // Whether a failure display has been reached in this run (failure state, a failed job, the
  // component write's error, the error stop); the headless flasher reports it in its exit code.
  bool failureReached() const { return failureReached_; }
  // The components that the read-back after the upgrade found other than sent (read_back.h).
  const std::vector<std::string>& readBackDifferences() const { return readBackDifferences_; }

 private:
  // Frame of the machine.
  void goToState(UpgradeState next);
  void blinkTick();
  void resetBar();
  void stepBar(std::int32_t step);  // the bar starts over near its beginning rather than full
  KeyRead readKeyStep();
  // A step of the key read that asks the worker: the prompts, the bar, the request raised; the
  // done byte as it stands.
  std::uint8_t askKey(protocol::SharedByte& request, const protocol::SharedByte& done);
  void finishStep();
  void proceedStep();
  bool writeRegionsStep();
  bool showKeyVersions();

  // Displays.
  void resetDisplay();
  void refreshPrompts();
  void showStatus(std::uint16_t textId, bool blinkExit);
  void showFailure();

  void runState();
  void stateCheckPackage();
  void stateAwaitStart();
  void stateConnect();
  void stateReadKey();
  void stateAwaitChoice();
  void stateFinalReport();
  void stateProceed();
  void stateEraseFirmware();
  void stateWriteFirmware();
  void stateLeaveBooter();
  void stateEraseData();
  void stateClearMark();
  void stateWriteRegions();
  void stateReadBack();
  // Raises a job's request; once it is done goes on to `next`, once refused shows the failure.
  void runJob(protocol::SharedByte& request, const protocol::SharedByte& done, UpgradeState next);
  bool readBackHolds();
  bool showReadBackFailure();
  void enterErrorStop(std::uint16_t textId);
  void setModeChecksEnabled(bool enabled);
  std::string text(std::uint16_t id) { return package_.text(id); }

  DialogView& view_;
  protocol::RequestBlock& block_;
  PackageServices& package_;
  SequencerFields fields_;
  // The text the error stop keeps showing: 125 after a key of the wrong kind, 120 otherwise.
  std::uint16_t errorStopText_ = 120;
  bool failureReached_ = false;
  std::vector<std::string> readBackDifferences_;
};

}  // namespace flashwell::sequencer
