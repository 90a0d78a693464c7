#pragma once

// Answers the message boxes that a test's code opens: each time a box is up, the next answer
// of the script clicks its button, and the box's text and icon are kept.

#include <QMap>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <vector>

namespace flashwell::app::qt::testing {

struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon;
  QMessageBox::StandardButtons buttons;
  QMap<QMessageBox::StandardButton, QString> buttonTexts;  // without their '&' marks
};

class MessageBoxAnswerer : public QObject {
  Q_OBJECT

 public:
  explicit MessageBoxAnswerer(QObject* parent = nullptr);

  // Answers in order; when none is left a box stays open until the test answers it.
  std::deque<QMessageBox::StandardButton> answers;
  std::vector<SeenBox> seen;
  // Called with each box before it is answered.
  std::function<void(QMessageBox&)> whileOpen;

  // The box now open, if any.
  static QMessageBox* openBox();

 private:
  void poll();

  QTimer timer_;
};

}  // namespace flashwell::app::qt::testing
