// Draws the program's pictures and writes every file that the builds take them from:
//   flashwell-artwork OUTPUT_FOLDER
// OUTPUT_FOLDER/icons/SIZExSIZE/flashwell.png for the Qt program and the desktop's icon theme,
// OUTPUT_FOLDER/banner.png for the Qt program, and flashwell.ico and banner.bmp for the Windows
// resources.

#include <QDir>
#include <QString>

#include <cstdio>
#include <fstream>

#include "packaging/artwork/drawing.h"
#include "packaging/artwork/windows_images.h"

namespace {

using flashwell::artwork::Bytes;

bool writeBytes(const QString& file, const Bytes& bytes) {
  std::ofstream out(file.toStdString(), std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
  using namespace flashwell::artwork;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  bool written = true;
  for (const int size : {16, 32, 48, 64, 128, 256}) {
    const QString sizeFolder = QStringLiteral("%1/icons/%2x%2").arg(folder).arg(size);
    written = written && QDir().mkpath(sizeFolder) &&
              iconImage(size).save(sizeFolder + QStringLiteral("/flashwell.png"), "PNG");
  }
  written = written && bannerImage().save(folder + QStringLiteral("/banner.png"), "PNG");

  // Windows shows the 16, 32 and 48 pixel icons, in 16 colours on the simplest displays.
  std::vector<IconImage> icons;
  for (const int bits : {4, 8}) {
    for (const int size : {16, 32, 48}) icons.push_back({iconImage(size), bits});
  }
  written = written && writeBytes(folder + QStringLiteral("/flashwell.ico"), iconFile(icons)) &&
            writeBytes(folder + QStringLiteral("/banner.bmp"), bitmapFile(bannerImage()));
  if (!written) {
    std::fprintf(stderr, "%s: cannot write the pictures into %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
