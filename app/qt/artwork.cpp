#include "app/qt/artwork.h"

#include <QString>

namespace flashwell::app::qt {

QImage bannerImage() {
  return QImage(QStringLiteral(":/artwork/banner.png"));
}

QIcon programIcon() {
  QIcon icon;
  for (const int size : {16, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/artwork/icons/%1x%1/flashwell.png").arg(size),
                 QSize(size, size));
  }
  return icon;
}

}  // namespace flashwell::app::qt
