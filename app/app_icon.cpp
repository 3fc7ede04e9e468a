#include "app/app_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace desktop {
namespace {
// Bar heights in 1/64 of the icon, left to right (a gentle "smile" curve).
constexpr int kBars[8] = {40, 32, 24, 20, 22, 28, 36, 44};
}  // namespace

QImage DrawAppIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 64.0, size / 64.0);
  QPainterPath square;
  square.addRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  painter.fillPath(square, QColor(0x1d, 0x2b, 0x4f));
  QLinearGradient bars(0, 56, 0, 10);
  bars.setColorAt(0, QColor(0x3c, 0xd0, 0x70));
  bars.setColorAt(1, QColor(0xff, 0xd2, 0x3f));
  for (int i = 0; i < 8; ++i) painter.fillRect(QRectF(8.5 + i * 6, 56 - kBars[i], 4, kBars[i]), bars);
  return image;
}

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(DrawAppIcon(size)));
  return icon;
}

}  // namespace desktop
