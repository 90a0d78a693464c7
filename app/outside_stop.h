#pragma once

// A stop that comes from outside the window (a signal, an output that went away, the end of the
// session) acts as EXIT does. While EXIT is locked (the key's own firmware is being erased and
// written) the stop is held and acted on at the first tick after the lock has lifted.
// On the window thread.

#include "app/flashwell_dlg.h"

namespace flashwell::app {

class OutsideStop {
 public:
  enum class Asked {
    acting,       // EXIT was pressed for it
    held,         // EXIT is locked: the stop waits for the lock to lift
    alreadyHeld,  // a stop was held already (said once)
    nothing       // the exit is under way already, or said already
  };

  explicit OutsideStop(CFlashwell_02Dlg& dialog) : dialog_(dialog) {}

  // `signal` is the signal number, or 0 for a stop without a signal.
  Asked ask(int signal);
  // After every tick: a held stop is acted on once the lock has lifted.
  void afterTick();

  bool held() const { return held_; }
  // The first signal asked for, 0 when none was.
  int signal() const { return signal_; }
  // The program's exit status: 128 + the signal after one, otherwise the run's own.
  int exitStatus(int runStatus) const { return signal_ != 0 ? 128 + signal_ : runStatus; }

 private:
  bool exitUnderWay() const;

  CFlashwell_02Dlg& dialog_;
  bool held_ = false;
  bool saidAgain_ = false;
  int signal_ = 0;
};

}  // namespace flashwell::app
