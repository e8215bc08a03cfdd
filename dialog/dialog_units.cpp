#include "dialog/dialog_units.h"

#include <QByteArray>
#include <QFontMetrics>
#include <QRawFont>
#include <cmath>
#include <cstdint>

#include "platform/qt/qt_drawing_context.h"

namespace cirrodex {

namespace {

uint16_t BigEndian16(const QByteArray& table, int offset) {
  return static_cast<uint16_t>((static_cast<uint8_t>(table[offset]) << 8) |
                               static_cast<uint8_t>(table[offset + 1]));
}

// The platform takes a face's cell height from its OS/2 table (usWinAscent + usWinDescent),
// which for Tahoma is 13 pixels at an 11-pixel em, where Qt's metrics give 11.
int CellHeight(const QFont& font) {
  const QRawFont raw = QRawFont::fromFont(font);
  const QByteArray os2 = raw.fontTable("OS/2");
  const double unitsPerEm = raw.unitsPerEm();
  constexpr int kWinDescentOffset = 76;
  if (raw.isValid() && os2.size() >= kWinDescentOffset + 2 && unitsPerEm > 0) {
    const double scale = raw.pixelSize() / unitsPerEm;
    const int ascent = static_cast<int>(std::lround(BigEndian16(os2, 74) * scale));
    const int descent = static_cast<int>(std::lround(BigEndian16(os2, kWinDescentOffset) * scale));
    if (ascent + descent > 0) return ascent + descent;
  }
  return QFontMetrics(font).height();
}

}  // namespace

QFont DialogFont() {
  QFont font(platform::TahomaFamily());
  font.setPixelSize(11);
  font.setWeight(QFont::Normal);
  return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return DialogBaseUnits{(width / 26 + 1) / 2, CellHeight(font)};
}

DialogBaseUnits DialogUnits() {
  static const DialogBaseUnits units = BaseUnitsOf(DialogFont());
  return units;
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return 0;
  const int64_t product = static_cast<int64_t>(a) * b;
  const int64_t half = (c > 0 ? c : -c) / 2;
  const bool negative = (product < 0) != (c < 0);
  const int64_t magnitude = ((product < 0 ? -product : product) + half) / (c > 0 ? c : -c);
  return static_cast<int>(negative ? -magnitude : magnitude);
}

QRect MapDialogRect(int x, int y, int cx, int cy, DialogBaseUnits units) {
  const int left = MulDiv(x, units.x, 4);
  const int top = MulDiv(y, units.y, 8);
  const int right = MulDiv(x + cx, units.x, 4);
  const int bottom = MulDiv(y + cy, units.y, 8);
  return QRect(left, top, right - left, bottom - top);
}

QRect MapDialogRect(int x, int y, int cx, int cy) {
  return MapDialogRect(x, y, cx, cy, DialogUnits());
}

}  // namespace cirrodex
