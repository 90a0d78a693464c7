#pragma once

// One run of the main dialog on Qt: the window, the link's notices marshalled onto it, the
// dialog controller and the wiring of the window's messages to the controller's handlers.

#include <cstdint>
#include <memory>
#include <vector>

#include "app/flashwell_dlg.h"
#include "app/qt/dialog_window.h"
#include "app/qt/link_notices.h"
#include "app/qt/qt_translations.h"
#include "catalogue/system_locale.h"
#include "usb/clock.h"
#include "usb/driver.h"

namespace flashwell::app::qt {

class DialogSession {
 public:
  DialogSession(usb::UsbDriver& driver, usb::Clock& clock, catalogue::SystemLocale& locale,
                std::vector<std::uint8_t> package,
                WindowTimers::Mode timerMode = WindowTimers::Mode::system);
  // Lets a worker that waits for a notice go, then stops the worker.
  ~DialogSession();
  DialogSession(const DialogSession&) = delete;
  DialogSession& operator=(const DialogSession&) = delete;

  // The dialog's initialisation, then its modal run; returns the dialog's result.
  int run();

  DialogWindow& window() { return window_; }
  // The language number of the program's texts, chosen from the locale as the dialog does.
  std::uint16_t language() const { return language_; }
  QtLinkNotices& notices() { return notices_; }
  CFlashwell_02Dlg& controller() { return *controller_; }

 private:
  class Handlers;

  std::uint16_t language_;
  QtTranslations translations_;
  DialogWindow window_;
  QtLinkNotices notices_;
  std::unique_ptr<CFlashwell_02Dlg> controller_;
  std::unique_ptr<Handlers> handlers_;
};

}  // namespace flashwell::app::qt
