// torvane-render-icon: writes the window's icon, as drawn by appIcon's
// drawAppIcon, to PNG files for the desktop's icon theme. Run at build time,
// so the drawing in app/app_icon.cpp stays the one source of the icon.
//   torvane-render-icon SIZE FILE [SIZE FILE ...]
#include <QGuiApplication>
#include <QPixmap>
#include <QString>
#include <cstdio>

#include "app/app_icon.h"

int main(int argc, char* argv[]) {
  // Needs no display: the icon is drawn on an off-screen pixmap.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc < 3 || argc % 2 == 0) {
    std::fprintf(stderr, "usage: torvane-render-icon SIZE FILE [SIZE FILE ...]\n");
    return 2;
  }
  for (int i = 1; i + 1 < argc; i += 2) {
    bool ok = false;
    const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
    if (!ok || size < 1 || size > 1024) {
      std::fprintf(stderr, "torvane-render-icon: bad size \"%s\"\n", argv[i]);
      return 2;
    }
    if (!torvane::drawAppIcon(size).save(QString::fromLocal8Bit(argv[i + 1]), "PNG")) {
      std::fprintf(stderr, "torvane-render-icon: cannot write %s\n", argv[i + 1]);
      return 1;
    }
  }
  return 0;
}
