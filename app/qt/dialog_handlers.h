#pragma once

// What the window passes on to the dialog controller: its initialisation, the timer, the
// commands of its buttons and check boxes, the close command and the platform's cancel.

#include "protocol/upgrade_option.h"

namespace flashwell::app::qt {

class DialogHandlers {
 public:
  virtual ~DialogHandlers() = default;

  virtual void onInitDialog() = 0;
  virtual void onTimer(unsigned timerId) = 0;
  virtual void onExit() = 0;                              // command 1, EXIT
  virtual void onCancelCommand() = 0;                     // command 2
  virtual void onClose() = 0;                             // the window's close command
  virtual void onEscape() = 0;                            // the platform's cancel
  virtual void onMode(protocol::UpgradeOption mode) = 0;  // a mode's check box
  virtual void onProceed() = 0;
};

}  // namespace flashwell::app::qt
