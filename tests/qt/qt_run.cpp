#include "tests/qt/qt_run.h"

#include <QCoreApplication>
#include <QTest>

#include "sequencer/control_ids.h"

namespace flashwell::app::qt::testing {

QtRun::QtRun(std::string_view keyState, std::vector<std::uint8_t> package,
             catalogue::SystemLocale* locale)
    : DialogRun(support::namedKey(keyState), false),
      session_(std::make_unique<DialogSession>(*driver, clock,
                                               locale != nullptr ? *locale : english_,
                                               std::move(package), WindowTimers::Mode::driven)) {}

QtRun::~QtRun() {
  // The session stops and joins its worker, which uses the driver and the key; a run left
  // going is not waited for.
  session_.reset();
}

QString QtRun::text(int controlId) {
  if (auto* label = widget<QLabel>(controlId)) return label->text();
  if (auto* button = widget<QAbstractButton>(controlId)) return button->text();
  return {};
}

QByteArray QtRun::stateTrail() const {
  QByteArray trail;
  for (const sequencer::UpgradeState state : states) {
    trail += QByteArray::number(sequencer::stateNumber(state)) + ' ';
  }
  return trail;
}

void QtRun::click(int controlId) {
  QTest::mouseClick(window().control(controlId), Qt::LeftButton);
}

bool QtRun::fireTimer() {
  QCoreApplication::processEvents();
  return window().timers().fire(sequencer::kTimerId);
}

void QtRun::answerNext(bool yes) {
  answerer_.answers.push_back(yes ? QMessageBox::Yes : QMessageBox::No);
}

}  // namespace flashwell::app::qt::testing
