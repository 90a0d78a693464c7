#pragma once

// The program's icon and the small banner that the dialog shows in its two top corners. They
// are drawn by packaging/artwork at build time and carried in the program as resources.

#include <QIcon>
#include <QImage>

namespace flashwell::app::qt {

// The banner's size, which the dialog's layout reserves for it.
inline constexpr int kBannerWidth = 50;
inline constexpr int kBannerHeight = 22;

// The banner, kBannerWidth by kBannerHeight pixels, opaque.
QImage bannerImage();

// The icon at 16, 32 and 48 pixels (and larger sizes for the desktop's launchers).
QIcon programIcon();

}  // namespace flashwell::app::qt
