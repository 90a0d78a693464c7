#pragma once

// The program's pictures, drawn here and nowhere else: the icon and the small banner that the
// dialog shows in its two top corners. flashwell-artwork writes them out at build time for the
// Qt program, the desktop's icon theme and the Windows resources.

#include <QImage>

namespace flashwell::artwork {

inline constexpr int kBannerWidth = 50;
inline constexpr int kBannerHeight = 22;

// The banner, kBannerWidth by kBannerHeight pixels, opaque.
QImage bannerImage();

// The icon at `size` pixels square, with a transparent background.
QImage iconImage(int size);

}  // namespace flashwell::artwork
