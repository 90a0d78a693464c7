#include "app/qt/group_frame.h"

#include <QPainter>

namespace flashwell::app::qt {

GroupFrame::GroupFrame(const QString& title, QWidget* parent) : QWidget(parent), title_(title) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
}

void GroupFrame::setTitle(const QString& title) {
  title_ = title;
  update();
}

void GroupFrame::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QFontMetrics metrics = fontMetrics();
  const int top = metrics.height() / 2;
  const QRect frame(0, top, width() - 1, height() - 1 - top);
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Mid));
  painter.drawRect(frame);
  if (title_.isEmpty()) return;
  // The caption sits in a gap of the top edge, a character's width in from the left.
  const int indent = metrics.averageCharWidth();
  const QRect caption(indent, 0, metrics.horizontalAdvance(title_) + 4, metrics.height());
  painter.fillRect(caption, palette().color(QPalette::Window));
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
  painter.drawText(caption, Qt::AlignCenter | Qt::TextShowMnemonic, title_);
}

}  // namespace flashwell::app::qt
