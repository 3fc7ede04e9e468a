// Build-time helper: writes the program's icon as OUTDIR/<size>x<size>/apps/tonvex.png for the icon theme.
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "app/app_icon.h"

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QString("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
    if (!QDir().mkpath(folder) || !desktop::DrawAppIcon(size).save(folder + "/tonvex.png")) return 1;
  }
  return 0;
}
