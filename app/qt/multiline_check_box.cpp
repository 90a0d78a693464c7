#include "app/qt/multiline_check_box.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace flashwell::app::qt {

MultiLineCheckBox::MultiLineCheckBox(QWidget* parent) : QCheckBox(parent) {}

QRect MultiLineCheckBox::captionRect() const {
  QStyleOptionButton option;
  initStyleOption(&option);
  const QRect indicator = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
  const int spacing = style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, this);
  QRect caption = rect();
  caption.setLeft(indicator.right() + 1 + spacing);
  return caption;
}

void MultiLineCheckBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);

  QStyleOptionButton indicator = option;
  indicator.rect = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
  painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, indicator);

  const QRect caption = captionRect();
  const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
  painter.drawItemText(caption, flags, option.palette, isEnabled(), text(), QPalette::WindowText);

  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect =
        painter.fontMetrics().boundingRect(caption, flags, text()).adjusted(-1, 0, 1, 0) & rect();
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }
}

bool MultiLineCheckBox::hitButton(const QPoint& pos) const {
  return rect().contains(pos);
}

}  // namespace flashwell::app::qt
