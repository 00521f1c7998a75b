#include "app/app_icon.h"

#include <QPainter>
#include <QPainterPath>

namespace torvane {

QPixmap drawAppIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);  // drawn on a 32 x 32 grid

  // The dial: a navy disc with a light rim.
  p.setPen(QPen(QColor(0xC8, 0xD6, 0xE8), 1.5));
  p.setBrush(QColor(0x1F, 0x3A, 0x6B));
  p.drawEllipse(QRectF(1.5, 1.5, 26, 26));

  // Four vane blades crossing at the hub.
  p.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(QPointF(14.5, 5.5), QPointF(14.5, 23.5));
  p.drawLine(QPointF(5.5, 14.5), QPointF(23.5, 14.5));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xF2, 0xA9, 0x00));
  p.drawEllipse(QPointF(14.5, 14.5), 3, 3);

  // The download arrow, bottom right.
  QPainterPath arrow;
  arrow.moveTo(22, 16);
  arrow.lineTo(28, 16);
  arrow.lineTo(28, 23);
  arrow.lineTo(31.5, 23);
  arrow.lineTo(25, 31);
  arrow.lineTo(18.5, 23);
  arrow.lineTo(22, 23);
  arrow.closeSubpath();
  p.setPen(QPen(QColor(0x0B, 0x4D, 0x1E), 1));
  p.setBrush(QColor(0x2E, 0xB8, 0x4B));
  p.drawPath(arrow);
  return pixmap;
}

QIcon appIcon() {
  QIcon icon;
  icon.addPixmap(drawAppIcon(16));
  icon.addPixmap(drawAppIcon(32));
  return icon;
}

}  // namespace torvane
