#include "app/qt/dialog_session.h"

#include <QMessageBox>

#include <functional>
#include <utility>

#include "app/qt/dialog_handlers.h"
#include "app/stop_texts.h"
#include "catalogue/embedded_package.h"
#include "catalogue/program_texts.h"

namespace flashwell::app::qt {

class DialogSession::Handlers final : public DialogHandlers {
 public:
  Handlers(CFlashwell_02Dlg& dialog, std::function<void()> afterTick)
      : dialog_(dialog), afterTick_(std::move(afterTick)) {}

  void onInitDialog() override { dialog_.OnInitDialog(); }
  void onTimer(unsigned timerId) override {
    dialog_.OnTimer(timerId);
    afterTick_();
  }
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
  std::function<void()> afterTick_;
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
      handlers_(std::make_unique<Handlers>(*controller_, [this] { afterTick(); })),
      stop_(std::make_unique<OutsideStop>(*controller_)) {
  window_.setHandlers(handlers_.get());
}

DialogSession::~DialogSession() {
  window_.setHandlers(nullptr);
  notices_.shutdown();
  stop_.reset();
  controller_.reset();
}

int DialogSession::run() {
  return window_.run();
}

void DialogSession::stopFromOutside(int signal) {
  auto note = [this](StopText id) {
    const std::string_view text = stopText(id, language_);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  };
  switch (stop_->ask(signal)) {
    case OutsideStop::Asked::acting:
      // The erase question or the final report: the stop answers it as a user leaving would.
      for (QMessageBox* box : window_.findChildren<QMessageBox*>()) box->reject();
      return;
    case OutsideStop::Asked::held:
      window_.setStatusNote(note(StopText::held));
      return;
    case OutsideStop::Asked::alreadyHeld:
      window_.setStatusNote(note(StopText::alreadyHeld));
      return;
    case OutsideStop::Asked::nothing:
      return;
  }
}

void DialogSession::afterTick() {
  const bool wasHeld = stop_->held();
  stop_->afterTick();
  if (wasHeld && !stop_->held()) window_.setStatusNote(QString());
}

}  // namespace flashwell::app::qt
