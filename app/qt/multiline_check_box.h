#pragma once

// A check box whose caption wraps onto several lines within the box's width, centred
// vertically beside the mark. The whole box takes the click, caption included.

#include <QCheckBox>

namespace flashwell::app::qt {

class MultiLineCheckBox : public QCheckBox {
  Q_OBJECT

 public:
  explicit MultiLineCheckBox(QWidget* parent = nullptr);

  // Where the caption is drawn, in the box's own coordinates.
  QRect captionRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override;
};

}  // namespace flashwell::app::qt
