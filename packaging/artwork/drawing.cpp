#include "packaging/artwork/drawing.h"

#include <QPainter>
#include <QPainterPath>

namespace flashwell::artwork {

namespace {

const QColor kBody(28, 58, 110);
const QColor kBodyEdge(12, 28, 60);
const QColor kPlug(196, 200, 206);
const QColor kPlugEdge(110, 114, 120);
const QColor kArrow(92, 200, 80);

// A memory key lying on its side, plug to the right, with a download arrow on its body, in a
// square of side `s` with its top left corner at `origin`.
void drawKey(QPainter& p, QPointF origin, qreal s) {
  const qreal pen = s / 24.0 > 0.6 ? s / 24.0 : 0.6;
  const QRectF body(origin.x() + s * 0.04, origin.y() + s * 0.22, s * 0.66, s * 0.56);
  const QRectF plug(body.right(), origin.y() + s * 0.33, s * 0.27, s * 0.34);

  p.setPen(QPen(kPlugEdge, pen));
  p.setBrush(kPlug);
  p.drawRect(plug);
  p.setBrush(kPlugEdge);
  p.setPen(Qt::NoPen);
  const qreal hole = s * 0.07;
  p.drawRect(
      QRectF(plug.left() + plug.width() * 0.35, plug.top() + plug.height() * 0.22, hole, hole));
  p.drawRect(QRectF(plug.left() + plug.width() * 0.35, plug.bottom() - plug.height() * 0.22 - hole,
                    hole, hole));

  p.setPen(QPen(kBodyEdge, pen));
  p.setBrush(kBody);
  p.drawRoundedRect(body, s * 0.08, s * 0.08);

  // The arrow points into the plug: firmware going onto the key.
  QPainterPath arrow;
  const qreal cy = body.center().y();
  const qreal shaft = body.height() * 0.14;
  const qreal head = body.height() * 0.32;
  const qreal left = body.left() + body.width() * 0.16;
  const qreal neck = body.left() + body.width() * 0.56;
  const qreal tip = body.left() + body.width() * 0.86;
  arrow.moveTo(left, cy - shaft);
  arrow.lineTo(neck, cy - shaft);
  arrow.lineTo(neck, cy - head);
  arrow.lineTo(tip, cy);
  arrow.lineTo(neck, cy + head);
  arrow.lineTo(neck, cy + shaft);
  arrow.lineTo(left, cy + shaft);
  arrow.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(kArrow);
  p.drawPath(arrow);
}

}  // namespace

QImage bannerImage() {
  QImage image(kBannerWidth, kBannerHeight, QImage::Format_RGB32);
  image.fill(QColor(240, 240, 240));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // A chequered band, as at the end of a lap, then the key.
  const int cell = 4;
  for (int row = 0; row * cell < kBannerHeight - 4; ++row) {
    for (int column = 0; column < 5; ++column) {
      const QColor colour = (row + column) % 2 == 0 ? QColor(20, 20, 20) : QColor(250, 250, 250);
      p.fillRect(QRect(2 + column * cell, 3 + row * cell, cell, cell), colour);
    }
  }
  p.setPen(QPen(QColor(20, 20, 20), 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(1.5, 2.5, 5 * cell + 1, 4 * cell + 1));
  drawKey(p, QPointF(kBannerWidth - kBannerHeight - 4, 0), kBannerHeight + 4);
  return image;
}

QImage iconImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  drawKey(p, QPointF(0, 0), size);
  return image;
}

}  // namespace flashwell::artwork
