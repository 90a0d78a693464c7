#pragma once

// A whole run of the desktop dialog in tests: the Qt window, the controller, the real worker
// thread and the virtual key, in simulated time. The run's ticks and user are those of every
// whole-run test (tests/support/dialog_run.h); here each tick is timer 10 of the window's
// driven timers, the user's clicks are mouse clicks on the window's controls and the answers
// click the buttons of Qt's message boxes.

#include <QAbstractButton>
#include <QLabel>
#include <QString>

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "app/qt/dialog_session.h"
#include "catalogue/system_locale.h"
#include "tests/qt/message_box_answerer.h"
#include "tests/support/dialog_run.h"
#include "tests/support/test_packages.h"

namespace flashwell::app::qt::testing {

class QtRun final : public support::DialogRun {
 public:
  // The dialog on the key of that state, reading `package`, in the language of `locale` (English
  // when none).
  explicit QtRun(std::string_view keyState = "fresh",
                 std::vector<std::uint8_t> package = support::embeddedPackageCopy(),
                 catalogue::SystemLocale* locale = nullptr);
  ~QtRun() override;

  // The dialog's initialisation and the window shown; false when the dialog ended already.
  bool begin() { return window().begin(); }

  bool ended() const override { return session_->window().ended(); }
  DialogWindow& window() { return session_->window(); }
  DialogSession& session() { return *session_; }
  CFlashwell_02Dlg& dialog() { return session_->controller(); }
  MessageBoxAnswerer& boxes() { return answerer_; }

  template <typename T>
  T* widget(int id) {
    return qobject_cast<T*>(window().control(id));
  }
  // A label's or button's text as the window shows it; a text of the program in its language.
  QString text(int controlId);
  QString textOf(std::uint16_t textId) { return decodeText(dialog().text(textId)); }
  // The states gone through, for the messages of failed checks.
  QByteArray stateTrail() const;

  void click(int controlId) override;
  bool enabled(int controlId) override { return window().control(controlId)->isEnabled(); }
  bool checked(int controlId) override { return widget<QAbstractButton>(controlId)->isChecked(); }

 private:
  const CFlashwell_02Dlg& controller() const override { return session_->controller(); }
  bool fireTimer() override;
  std::size_t boxesShown() const override { return answerer_.seen.size(); }
  void answerNext(bool yes) override;

  catalogue::FixedSystemLocale english_{0x0409};
  MessageBoxAnswerer answerer_;
  std::unique_ptr<DialogSession> session_;
};

}  // namespace flashwell::app::qt::testing
