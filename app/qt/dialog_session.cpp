#include "app/qt/dialog_session.h"

#include <utility>

#include "app/qt/dialog_handlers.h"
#include "catalogue/embedded_package.h"
#include "catalogue/program_texts.h"

namespace flashwell::app::qt {

class DialogSession::Handlers final : public DialogHandlers {
 public:
  explicit Handlers(CFlashwell_02Dlg& dialog) : dialog_(dialog) {}

  void onInitDialog() override { dialog_.OnInitDialog(); }
  void onTimer(unsigned timerId) override { dialog_.OnTimer(timerId); }
  void onExit() override { dialog_.OnExit(); }
  void onCancelCommand() override { dialog_.OnCancelCommand(); }
  void onClose() override { dialog_.OnClose(); }
  void onEscape() override { dialog_.OnEscape(); }
  void onOnly() override { dialog_.OnOnly(); }
  void onAlways() override { dialog_.OnAlways(); }
  void onNever() override { dialog_.OnNever(); }
  void onProceed() override { dialog_.OnProceed(); }

 private:
  CFlashwell_02Dlg& dialog_;
};

DialogSession::DialogSession(usb::UsbDriver& driver, usb::Clock& clock,
                             catalogue::SystemLocale& locale, std::vector<std::uint8_t> package,
                             WindowTimers::Mode timerMode)
    : language_(
          catalogue::chosenLanguage(catalogue::embeddedTables().locales, locale.defaultLcid())),
      translations_(language_),
      window_(timerMode),
      notices_(window_, clock, language_),
      controller_(std::make_unique<CFlashwell_02Dlg>(
          window_, DialogEnvironment{driver, clock, notices_, locale}, std::move(package))),
      handlers_(std::make_unique<Handlers>(*controller_)) {
  window_.setHandlers(handlers_.get());
}

DialogSession::~DialogSession() {
  window_.setHandlers(nullptr);
  notices_.shutdown();
  controller_.reset();
}

int DialogSession::run() {
  return window_.run();
}

}  // namespace flashwell::app::qt
