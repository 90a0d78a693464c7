#pragma once

// The pictures as Windows resources want them: an .ico file of palette images with their
// transparency masks, and a 256-colour .bmp file. Both are written byte by byte, little-endian.

#include <QImage>

#include <cstdint>
#include <vector>

namespace flashwell::artwork {

using Bytes = std::vector<std::uint8_t>;

// One image of an icon: `image` square, at most 255 pixels; `bits` 4 (the 16 colours every
// display has) or 8 (256 colours). A pixel less than half opaque is transparent.
struct IconImage {
  QImage image;
  int bits;
};

// An .ico file holding `images` in that order.
Bytes iconFile(const std::vector<IconImage>& images);

// A .bmp file of `image` in 256 colours; the image is taken as opaque.
Bytes bitmapFile(const QImage& image);

// The palette of `bits` (4 or 8) bits per pixel: the 16 VGA colours, then for 8 bits a
// 6 x 6 x 6 colour cube and greys.
std::vector<QRgb> windowsPalette(int bits);

}  // namespace flashwell::artwork
