// Build step: writes the program's drawn icon as PNG files for the desktop's
// icon theme. Usage: lumasift_render_icon <output folder> <size>...
// Each size goes to <output folder>/<size>x<size>/apps/lumasift.png.
#include <QCoreApplication>
#include <QDir>
#include <QImage>

#include <cstdio>

#include "ui/dialog_pictures.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() < 3) {
    std::fprintf(stderr, "usage: %s <output folder> <size>...\n", argv[0]);
    return 2;
  }
  const QDir output(arguments[1]);
  for (qsizetype i = 2; i < arguments.size(); ++i) {
    bool ok = false;
    const int size = arguments[i].toInt(&ok);
    if (!ok || size < 16 || size > 1024) {
      std::fprintf(stderr, "not an icon size: %s\n", qPrintable(arguments[i]));
      return 2;
    }
    const QString folder = output.filePath(QStringLiteral("%1x%1/apps").arg(size));
    const QString file = folder + QStringLiteral("/lumasift.png");
    if (!QDir().mkpath(folder) || !ui::ProgramIconImage(size).save(file, "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
