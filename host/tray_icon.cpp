#include "host/tray_icon.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>

#include "platform/qt/qt_drawing_context.h"
#include "platform/window.h"

namespace cirrodex::host {

namespace {

// The icon bitmaps carry an opaque white ground for the white Today screen; on a panel of any
// colour only the picture itself should show.
QImage WithoutWhiteGround(const QImage& condition) {
  QImage image = condition.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      if ((row[x] & 0x00FFFFFF) == 0x00FFFFFF) row[x] = 0;
    }
  }
  return image;
}

// DrawTrayIcon of a picture whose white ground is gone already.
QImage DrawOnClearGround(const QImage& picture, const QString& temperature, int size);

}  // namespace

QImage DrawTrayIcon(const QImage& condition, const QString& temperature, int size) {
  return DrawOnClearGround(condition.isNull() ? condition : WithoutWhiteGround(condition),
                           temperature, size);
}

QIcon TrayIcon(const QImage& condition, const QString& temperature) {
  const QImage picture = condition.isNull() ? condition : WithoutWhiteGround(condition);
  QIcon icon;
  for (int size : kTrayIconSizes) {
    icon.addPixmap(QPixmap::fromImage(DrawOnClearGround(picture, temperature, size)));
  }
  return icon;
}

namespace {

QImage DrawOnClearGround(const QImage& condition, const QString& temperature, int size) {
  QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
  icon.fill(Qt::transparent);
  QPainter painter(&icon);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  if (!condition.isNull()) {
    const QImage picture =
        condition.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    painter.drawImage((size - picture.width()) / 2, 0, picture);
  }
  if (temperature.isEmpty()) return icon;

  // Large enough to read at 16 pixels: where "-12°" would need a smaller font than that, the
  // degree sign goes first.
  QFont font(platform::TahomaFamily());
  font.setBold(true);
  const int largest = std::max(8, size * 5 / 8);
  const int legible = std::max(7, size / 2);
  font.setPixelSize(largest);
  const qreal outline = std::max(1.25, size / 11.0);
  QString shown = temperature;
  const auto fits = [&](const QString& text) {
    return QFontMetricsF(font).horizontalAdvance(text) + outline <= size;
  };
  while (!fits(shown) && font.pixelSize() > legible) font.setPixelSize(font.pixelSize() - 1);
  if (!fits(shown) && shown.endsWith(QChar(0x00B0))) {
    shown.chop(1);
    font.setPixelSize(largest);
  }
  while (!fits(shown) && font.pixelSize() > 6) font.setPixelSize(font.pixelSize() - 1);
  const QFontMetricsF metrics(font);
  const qreal width = metrics.horizontalAdvance(shown);
  QPainterPath text;
  text.addText((size - width) / 2, size - metrics.descent() + outline / 2 - 0.5, font, shown);
  const QColor dark = platform::ToQColor(platform::kStripText);
  painter.strokePath(text, QPen(dark, outline * 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.fillPath(text, Qt::white);
  return icon;
}

}  // namespace

}  // namespace cirrodex::host
