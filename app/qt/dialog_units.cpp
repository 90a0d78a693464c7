#include "app/qt/dialog_units.h"

#include <QFontMetrics>

namespace flashwell::app::qt {

namespace {

// a * b / c rounded to the nearest integer, halves away from zero.
int scaleRounded(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

BaseUnits baseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int advance = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  // The height is the pitch at which a label sets its lines (it can differ from the font's
  // nominal line spacing by rounding), so that one line is exactly eight vertical units, as the
  // template's side-by-side columns of text assume.
  const QRect room(0, 0, 1 << 16, 1 << 16);
  const int oneLine = metrics.boundingRect(room, Qt::TextWordWrap, QStringLiteral("X")).height();
  const int elevenLines =
      metrics
          .boundingRect(room, Qt::TextWordWrap, QStringLiteral("X\nX\nX\nX\nX\nX\nX\nX\nX\nX\nX"))
          .height();
  BaseUnits units{(advance / 26 + 1) / 2, (elevenLines - oneLine + 5) / 10};
  if (units.x < 1) units.x = 1;
  if (units.y < 1) units.y = 1;
  return units;
}

int horizontalPixels(int dialogUnits, BaseUnits units) {
  return scaleRounded(dialogUnits, units.x, 4);
}

int verticalPixels(int dialogUnits, BaseUnits units) {
  return scaleRounded(dialogUnits, units.y, 8);
}

QRect toPixels(int x, int y, int width, int height, BaseUnits units) {
  return QRect(horizontalPixels(x, units), verticalPixels(y, units), horizontalPixels(width, units),
               verticalPixels(height, units));
}

}  // namespace flashwell::app::qt
