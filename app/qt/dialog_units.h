#pragma once

// Dialog units to pixels. A dialog template measures in quarters of the dialog font's average
// character width and eighths of its height, so a window drawn with another font keeps the
// template's proportions.

#include <QFont>
#include <QRect>

namespace flashwell::app::qt {

struct BaseUnits {
  int x;  // average character width, pixels
  int y;  // line pitch, pixels
};

// The base units of a font: half of (the advance of the 52 Latin letters / 26, plus one), and
// the distance between two lines of its text.
BaseUnits baseUnitsOf(const QFont& font);

// Dialog units to pixels, rounded to the nearest pixel.
int horizontalPixels(int dialogUnits, BaseUnits units);
int verticalPixels(int dialogUnits, BaseUnits units);
QRect toPixels(int x, int y, int width, int height, BaseUnits units);

}  // namespace flashwell::app::qt
