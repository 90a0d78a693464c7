#pragma once

// A flat group box: a one-pixel frame whose top edge runs through the middle of the caption
// line, with the caption, if any, set into it at the left. It paints no background, so the
// controls it surrounds show through.

#include <QString>
#include <QWidget>

namespace flashwell::app::qt {

class GroupFrame : public QWidget {
  Q_OBJECT

 public:
  explicit GroupFrame(const QString& title, QWidget* parent = nullptr);

  QString title() const { return title_; }
  void setTitle(const QString& title);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString title_;
};

}  // namespace flashwell::app::qt
