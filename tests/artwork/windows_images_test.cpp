// The .ico and .bmp files are written byte by byte; Qt's readers of those formats, which know
// nothing of our writer, must get back every pixel: the nearest palette colour where the
// drawing is opaque, transparency where it is not.

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "packaging/artwork/drawing.h"
#include "packaging/artwork/windows_images.h"

namespace flashwell::artwork {
namespace {

QRgb nearest(const std::vector<QRgb>& palette, QRgb colour) {
  QRgb best = palette.front();
  int bestDistance = INT_MAX;
  for (const QRgb entry : palette) {
    const int dr = qRed(entry) - qRed(colour);
    const int dg = qGreen(entry) - qGreen(colour);
    const int db = qBlue(entry) - qBlue(colour);
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      best = entry;
      bestDistance = distance;
    }
  }
  return best;
}

std::vector<QImage> readAll(const Bytes& bytes, const char* format) {
  QByteArray data(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  QImageReader reader(&buffer, format);
  std::vector<QImage> images;
  const int count = std::max(reader.imageCount(), 1);
  for (int i = 0; i < count; ++i) {
    if (!reader.jumpToImage(i) && i > 0) break;
    QImage image;
    if (!reader.read(&image)) break;
    images.push_back(image.convertToFormat(QImage::Format_ARGB32));
  }
  return images;
}

// Counts the pixels of `read` that differ from `drawn` reduced to `palette`.
int differences(const QImage& drawn, const QImage& read, const std::vector<QRgb>& palette,
                bool masked) {
  const QImage source = drawn.convertToFormat(QImage::Format_ARGB32);
  int wrong = 0;
  for (int y = 0; y < source.height(); ++y) {
    for (int x = 0; x < source.width(); ++x) {
      const QRgb want = source.pixel(x, y);
      const QRgb got = read.pixel(x, y);
      if (masked && qAlpha(want) < 128) {
        wrong += qAlpha(got) != 0;
      } else {
        wrong += got != nearest(palette, want);
      }
    }
  }
  return wrong;
}

TEST(WindowsImages, IconHoldsEveryImageInItsColours) {
  std::vector<IconImage> icons;
  for (const int bits : {4, 8}) {
    for (const int size : {16, 32, 48}) icons.push_back({iconImage(size), bits});
  }
  const auto read = readAll(iconFile(icons), "ico");
  ASSERT_EQ(read.size(), icons.size());
  for (std::size_t i = 0; i < icons.size(); ++i) {
    const QImage& drawn = icons[i].image;
    SCOPED_TRACE(std::to_string(drawn.width()) + " px, " + std::to_string(icons[i].bits) + " bits");
    ASSERT_EQ(read[i].size(), drawn.size());
    EXPECT_EQ(differences(drawn, read[i], windowsPalette(icons[i].bits), true), 0);
    // The picture is there: the corners are transparent and the middle is not.
    EXPECT_EQ(qAlpha(read[i].pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(read[i].pixel(drawn.width() / 2, drawn.height() / 2)), 255);
  }
}

TEST(WindowsImages, BannerBitmapIsTheBannerIn256Colours) {
  const auto read = readAll(bitmapFile(bannerImage()), "bmp");
  ASSERT_EQ(read.size(), 1u);
  ASSERT_EQ(read[0].size(), QSize(kBannerWidth, kBannerHeight));
  EXPECT_EQ(differences(bannerImage(), read[0], windowsPalette(8), false), 0);
}

TEST(WindowsImages, RefusesWhatAnIconCannotHold) {
  EXPECT_THROW(iconFile({{iconImage(256), 8}}), std::invalid_argument);
  EXPECT_THROW(iconFile({{iconImage(32), 24}}), std::invalid_argument);
  EXPECT_THROW(iconFile({{QImage(32, 16, QImage::Format_ARGB32), 8}}), std::invalid_argument);
}

}  // namespace
}  // namespace flashwell::artwork
