#include "tests/qt/message_box_answerer.h"

#include <QAbstractButton>
#include <QApplication>

namespace flashwell::app::qt::testing {

MessageBoxAnswerer::MessageBoxAnswerer(QObject* parent) : QObject(parent) {
  connect(&timer_, &QTimer::timeout, this, &MessageBoxAnswerer::poll);
  timer_.start(1);
}

QMessageBox* MessageBoxAnswerer::openBox() {
  return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

void MessageBoxAnswerer::poll() {
  QMessageBox* box = openBox();
  // An answered box is hidden at once, so a visible one has not been answered yet.
  if (box == nullptr || !box->isVisible() || answers.empty()) return;
  SeenBox shown{box->windowTitle(), box->text(), box->icon(), box->standardButtons(), {}};
  for (QAbstractButton* button : box->buttons()) {
    shown.buttonTexts.insert(box->standardButton(button), button->text().remove(QLatin1Char('&')));
  }
  seen.push_back(shown);
  if (whileOpen) whileOpen(*box);
  const QMessageBox::StandardButton answer = answers.front();
  answers.pop_front();
  if (QAbstractButton* button = box->button(answer)) {
    button->click();
  } else {
    box->done(answer);  // a button the box does not have: the test sees it in `seen`
  }
}

}  // namespace flashwell::app::qt::testing
