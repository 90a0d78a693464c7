#include "app/outside_stop.h"

namespace flashwell::app {

OutsideStop::Asked OutsideStop::ask(int signal) {
  if (signal_ == 0) signal_ = signal;
  if (held_) {
    if (saidAgain_) return Asked::nothing;
    saidAgain_ = true;
    return Asked::alreadyHeld;
  }
  if (exitUnderWay()) return Asked::nothing;
  if (dialog_.status().exitLocked != 0) {
    held_ = true;
    return Asked::held;
  }
  dialog_.OnExit();
  return Asked::acting;
}

void OutsideStop::afterTick() {
  if (!held_ || dialog_.status().exitLocked != 0) return;
  held_ = false;
  if (!exitUnderWay()) dialog_.OnExit();
}

bool OutsideStop::exitUnderWay() const {
  const sequencer::FinishMode mode = dialog_.status().finishMode;
  return mode == sequencer::FinishMode::exitAsked || mode == sequencer::FinishMode::awaitFirmware ||
         mode == sequencer::FinishMode::stopWorker;
}

}  // namespace flashwell::app
