#include "packaging/artwork/windows_images.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace flashwell::artwork {

namespace {

void put16(Bytes& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(Bytes& out, std::uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

// Rows of a bitmap are padded to a multiple of 4 bytes.
std::size_t rowBytes(int bitsPerRow) {
  return static_cast<std::size_t>((bitsPerRow + 31) / 32 * 4);
}

class Quantiser {
 public:
  explicit Quantiser(int bits) : palette_(windowsPalette(bits)) {}

  const std::vector<QRgb>& palette() const { return palette_; }

  std::uint8_t index(QRgb colour) {
    const QRgb opaque = colour | 0xFF000000u;
    const auto known = cache_.find(opaque);
    if (known != cache_.end()) return known->second;
    std::size_t best = 0;
    int bestDistance = 0;
    for (std::size_t i = 0; i < palette_.size(); ++i) {
      const int dr = qRed(palette_[i]) - qRed(opaque);
      const int dg = qGreen(palette_[i]) - qGreen(opaque);
      const int db = qBlue(palette_[i]) - qBlue(opaque);
      const int distance = dr * dr + dg * dg + db * db;
      if (i == 0 || distance < bestDistance) {
        best = i;
        bestDistance = distance;
      }
    }
    return cache_[opaque] = static_cast<std::uint8_t>(best);
  }

 private:
  std::vector<QRgb> palette_;
  std::map<QRgb, std::uint8_t> cache_;
};

// A device-independent bitmap: header, palette, pixel rows bottom up and, for an icon, the
// AND mask (a set bit is a transparent pixel) after them.
Bytes dib(const QImage& source, int bits, bool withMask) {
  if (bits != 4 && bits != 8) throw std::invalid_argument("a palette image has 4 or 8 bits");
  const QImage image = source.convertToFormat(QImage::Format_ARGB32);
  const int w = image.width();
  const int h = image.height();
  Quantiser quantiser(bits);
  const std::size_t colourRow = rowBytes(w * bits);
  const std::size_t maskRow = rowBytes(w);

  Bytes pixels;
  Bytes mask;
  for (int y = h - 1; y >= 0; --y) {
    Bytes row(colourRow, 0);
    Bytes maskBits(maskRow, 0);
    for (int x = 0; x < w; ++x) {
      const QRgb colour = image.pixel(x, y);
      const bool transparent = withMask && qAlpha(colour) < 128;
      const std::uint8_t index = transparent ? 0 : quantiser.index(colour);
      const auto at = static_cast<std::size_t>(x);
      if (bits == 8) {
        row[at] = index;
      } else {
        row[at / 2] |= static_cast<std::uint8_t>(at % 2 == 0 ? index << 4 : index);
      }
      if (transparent) maskBits[at / 8] |= static_cast<std::uint8_t>(0x80 >> (at % 8));
    }
    pixels.insert(pixels.end(), row.begin(), row.end());
    mask.insert(mask.end(), maskBits.begin(), maskBits.end());
  }
  if (!withMask) mask.clear();

  const auto& palette = quantiser.palette();
  Bytes out;
  put32(out, 40);
  put32(out, static_cast<std::uint32_t>(w));
  put32(out, static_cast<std::uint32_t>(withMask ? 2 * h : h));  // an icon counts its mask
  put16(out, 1);
  put16(out, static_cast<unsigned>(bits));
  put32(out, 0);  // uncompressed
  put32(out, static_cast<std::uint32_t>(pixels.size() + mask.size()));
  put32(out, 0);
  put32(out, 0);
  put32(out, static_cast<std::uint32_t>(palette.size()));
  put32(out, 0);
  for (const QRgb colour : palette) {
    out.push_back(static_cast<std::uint8_t>(qBlue(colour)));
    out.push_back(static_cast<std::uint8_t>(qGreen(colour)));
    out.push_back(static_cast<std::uint8_t>(qRed(colour)));
    out.push_back(0);
  }
  out.insert(out.end(), pixels.begin(), pixels.end());
  out.insert(out.end(), mask.begin(), mask.end());
  return out;
}

}  // namespace

std::vector<QRgb> windowsPalette(int bits) {
  std::vector<QRgb> palette = {
      qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
      qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
      qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
      qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
  if (bits == 4) return palette;
  for (const int r : {0, 51, 102, 153, 204, 255}) {
    for (const int g : {0, 51, 102, 153, 204, 255}) {
      for (const int b : {0, 51, 102, 153, 204, 255}) palette.push_back(qRgb(r, g, b));
    }
  }
  while (palette.size() < 256) {
    const int level = std::min(255, 8 + static_cast<int>(palette.size() - 232) * 10);
    palette.push_back(qRgb(level, level, level));
  }
  return palette;
}

Bytes iconFile(const std::vector<IconImage>& images) {
  std::vector<Bytes> bodies;
  for (const auto& [image, bits] : images) {
    if (image.width() != image.height() || image.width() < 1 || image.width() > 255) {
      throw std::invalid_argument("an icon image is square, 1 to 255 pixels");
    }
    bodies.push_back(dib(image, bits, true));
  }
  Bytes out;
  put16(out, 0);
  put16(out, 1);  // an icon, not a cursor
  put16(out, static_cast<unsigned>(images.size()));
  std::size_t offset = 6 + 16 * images.size();
  for (std::size_t i = 0; i < images.size(); ++i) {
    const int size = images[i].image.width();
    out.push_back(static_cast<std::uint8_t>(size));
    out.push_back(static_cast<std::uint8_t>(size));
    out.push_back(images[i].bits == 4 ? 16 : 0);  // colours; 0 means 256 or more
    out.push_back(0);
    put16(out, 1);  // planes
    put16(out, static_cast<unsigned>(images[i].bits));
    put32(out, static_cast<std::uint32_t>(bodies[i].size()));
    put32(out, static_cast<std::uint32_t>(offset));
    offset += bodies[i].size();
  }
  for (const Bytes& body : bodies) out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes bitmapFile(const QImage& image) {
  const Bytes body = dib(image, 8, false);
  Bytes out = {'B', 'M'};
  put32(out, static_cast<std::uint32_t>(14 + body.size()));
  put32(out, 0);
  put32(out, 14 + 40 + 256 * 4);  // where the pixels begin
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace flashwell::artwork
