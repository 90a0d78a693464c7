#pragma once

// The pictures the program carries, drawn in code: the program's icon and the small banner
// that the dialog shows in its two top corners.

#include <QIcon>
#include <QImage>

namespace flashwell::app::qt {

inline constexpr int kBannerWidth = 50;
inline constexpr int kBannerHeight = 22;

// The banner, kBannerWidth by kBannerHeight pixels, opaque.
QImage bannerImage();

// The icon at `size` pixels square, with a transparent background.
QImage iconImage(int size);

// The icon at 16, 32 and 48 pixels (and larger sizes for the desktop's launchers).
QIcon programIcon();

}  // namespace flashwell::app::qt
