#pragma once

// The main dialog, window-independent: the request block shared with the worker thread, the
// sequencer and the handlers of the dialog's messages and commands. A shell (Win32,
// Qt, the headless flasher's console) draws the window from the template, implements the view
// and forwards its messages here, all on its window thread.

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "protocol/request_block.h"
#include "protocol/upgrade_option.h"
#include "sequencer/dialog_view.h"
#include "sequencer/sequencer.h"
#include "usb/clock.h"
#include "usb/driver.h"

namespace flashwell::catalogue {
class SystemLocale;
}

namespace flashwell::app {

class KeepAwake;

// What the dialog reaches the outside world through.
struct DialogEnvironment {
  usb::UsbDriver& driver;
  usb::Clock& clock;
  usb::LinkNotices& notices;
  catalogue::SystemLocale& locale;
};

class CFlashwell_02Dlg {
 public:
  // `package` is the firmware package the dialog opens; the dialog keeps it as the program's
  // writable copy (the component write marks it under "Always").
  CFlashwell_02Dlg(sequencer::DialogView& view, const DialogEnvironment& environment,
                   std::vector<std::uint8_t> package);
  // Stops the worker thread (exitRequest) and joins it: the thread works on the block inside
  // this object.
  ~CFlashwell_02Dlg();

  CFlashwell_02Dlg(const CFlashwell_02Dlg&) = delete;
  CFlashwell_02Dlg& operator=(const CFlashwell_02Dlg&) = delete;

  // Called once, when the window exists: chooses the language, opens the package, starts the
  // worker thread and timer 10. Returns true.
  bool OnInitDialog();

  void OnTimer(unsigned timerId);
  void OnExit();                              // command 1: the guarded exit
  void OnClose();                             // the window's close: the guarded exit
  void OnEscape();                            // the platform's cancel (Escape): the guarded exit
  void OnCancelCommand();                     // command 2: ends the dialog at once
  void OnMode(protocol::UpgradeOption mode);  // the mode's check box (sequencer/upgrade_modes.h)
  void OnProceed();                           // command 1096

  // Holds the machine awake from PROCEED (after Yes) until the final report, a failure or the
  // end of the exit; set before OnInitDialog. Released at the latest when the dialog goes.
  void setKeepAwake(KeepAwake* keepAwake) { keepAwake_ = keepAwake; }

  // For the shells' own drawing: the icon resource that the window shows.
  int mainIcon() const { return mainIcon_; }

  // Read-only looks, for the headless flasher and the tests.
  const sequencer::RunStatus& status() const { return sequencer_->status(); }
  const protocol::RequestBlock& block() const { return block_; }
  bool failureReached() const { return sequencer_->failureReached(); }
  const std::vector<std::string>& readBackDifferences() const {
    return sequencer_->readBackDifferences();
  }
  // Text `id` in the language chosen at initialisation.
  std::string text(std::uint16_t id);

 private:
  class Package;
  void startWorker();
  void stopWorker();
  bool upgrading() const;
  void keepAwakeFollows();

  int mainIcon_;
  protocol::RequestBlock block_;
  sequencer::DialogView& view_;
  DialogEnvironment environment_;
  std::unique_ptr<Package> package_;
  std::unique_ptr<sequencer::Sequencer> sequencer_;
  struct WorkerThread;
  std::unique_ptr<WorkerThread> worker_;
  KeepAwake* keepAwake_ = nullptr;
  bool keptAwake_ = false;
};

}  // namespace flashwell::app
