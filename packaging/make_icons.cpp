// Writes the program's icon as PNG files, one per size, for the desktop's icon theme:
//   flashwell-icons OUTPUT_FOLDER SIZE...
// Each file is OUTPUT_FOLDER/SIZExSIZE/flashwell.png.

#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>

#include "app/qt/artwork.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER SIZE...\n", argv[0]);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size < 8 || size > 1024) {
      std::fprintf(stderr, "%s: not a size: %s\n", argv[0], argv[i]);
      return 2;
    }
    const QString sizeFolder = QStringLiteral("%1/%2x%2").arg(folder).arg(size);
    const QString file = sizeFolder + QStringLiteral("/flashwell.png");
    if (!QDir().mkpath(sizeFolder) || !flashwell::app::qt::iconImage(size).save(file, "PNG")) {
      std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(file));
      return 1;
    }
  }
  return 0;
}
