#include "platform/qt/qt_drawing_context.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <optional>
#include <system_error>

namespace cirrodex::platform {

namespace {

// The platform's fresh device context paints an opaque background in white and outlines with a
// black one-pixel pen, fills with a white brush.
const QColor kDefaultBackground(255, 255, 255);
const QColor kDefaultPen(0, 0, 0);
const QColor kDefaultBrush(255, 255, 255);

bool IsTahoma(const std::wstring& face) {
  if (face.size() != 6) return false;
  static const wchar_t kName[] = L"tahoma";
  for (size_t i = 0; i < 6; ++i) {
    if (static_cast<wchar_t>(std::towlower(face[i])) != kName[i]) return false;
  }
  return true;
}

// Splits the text into the lines the flags ask for: one line under DT_SINGLELINE (line breaks
// drawn as spaces), else a line per line feed, each broken between words to fit `width` under
// DT_WORDBREAK. A word wider than the line keeps a line of its own and is clipped.
QStringList LayoutLines(const QString& text, unsigned flags, const QFontMetrics& metrics,
                        int width) {
  if (flags & DT_SINGLELINE) {
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return {line};
  }
  QStringList lines;
  QString normalised = text;
  normalised.remove(QLatin1Char('\r'));
  for (const QString& paragraph : normalised.split(QLatin1Char('\n'))) {
    if (!(flags & DT_WORDBREAK)) {
      lines << paragraph;
      continue;
    }
    QString current;
    for (const QString& word : paragraph.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
      QString candidate = current.isEmpty() ? word : current + QLatin1Char(' ') + word;
      if (!current.isEmpty() && metrics.horizontalAdvance(candidate) > width) {
        lines << current;
        current = word;
      } else {
        current = candidate;
      }
    }
    lines << current;
  }
  return lines;
}

}  // namespace

QString TahomaFamily() {
  static const QString family = [] {
    const int id = QFontDatabase::addApplicationFont(QString::fromUtf8(kTahomaFile));
    if (id >= 0) {
      const QStringList families = QFontDatabase::applicationFontFamilies(id);
      if (!families.isEmpty()) return families.front();
    }
    const QString fallback = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    std::fprintf(stderr,
                 "cirrodex: the Tahoma font could not be loaded from %s (Debian package "
                 "fonts-wine); drawing with \"%s\" instead\n",
                 kTahomaFile, fallback.toUtf8().constData());
    return fallback;
  }();
  return family;
}

QFont RealiseFont(const FontSpec& spec) {
  QFont font(IsTahoma(spec.face) ? TahomaFamily() : QString::fromStdWString(spec.face));
  font.setWeight(static_cast<QFont::Weight>(std::clamp(spec.weight / 10 * 10, 100, 900)));
  // Quality 5 is ClearType and 4 antialiased; 3 asks for none. The rest leave it to the target.
  if (spec.quality == 3) font.setStyleStrategy(QFont::NoAntialias);
  if (spec.quality >= 4) font.setStyleStrategy(QFont::PreferAntialias);
  font.setHintingPreference(QFont::PreferFullHinting);
  // A positive height is the cell (ascent + descent); measure the face once at a large size to
  // find the pixel size whose cell fits it.
  const int cell = std::max(1, std::abs(spec.height));
  QFont probe = font;
  probe.setPixelSize(100);
  const qreal cellAt100 = QFontMetricsF(probe).height();
  int pixelSize = cell;
  if (spec.height > 0 && cellAt100 > 0) {
    pixelSize = std::max(1, static_cast<int>(std::lround(cell * 100.0 / cellAt100)));
  }
  font.setPixelSize(pixelSize);
  return font;
}

QtDrawingContext::QtDrawingContext(QPainter& painter) : painter_(painter) {
  painter_.setRenderHint(QPainter::Antialiasing, false);
  // On a high-density screen (or a scaled Today screen) the handheld's bitmaps are enlarged:
  // smoothly, not in blocks. At one device pixel per pixel they stay exact.
  const QPaintDevice* device = painter_.device();
  painter_.setRenderHint(QPainter::SmoothPixmapTransform,
                         device != nullptr && device->devicePixelRatioF() > 1.0);
}

const FontSpec* QtDrawingContext::SelectFont(const FontSpec* font) {
  const FontSpec* previous = font_;
  font_ = font;
  return previous;
}

const Pen* QtDrawingContext::SelectPen(const Pen* pen) {
  const Pen* previous = pen_;
  pen_ = pen;
  return previous;
}

const Brush* QtDrawingContext::SelectBrush(const Brush* brush) {
  const Brush* previous = brush_;
  brush_ = brush;
  return previous;
}

Color QtDrawingContext::SetTextColor(Color color) {
  const Color previous = textColor_;
  textColor_ = color;
  return previous;
}

BackgroundMode QtDrawingContext::SetBkMode(BackgroundMode mode) {
  const BackgroundMode previous = bkMode_;
  bkMode_ = mode;
  return previous;
}

const QFont& QtDrawingContext::CurrentFont() {
  // With no font selected the platform draws in its system font; a 13-pixel cell stands for it.
  static const FontSpec kSystemFont{L"Tahoma", 13, 400, 0};
  const FontSpec& spec = font_ != nullptr ? *font_ : kSystemFont;
  auto key = std::make_tuple(spec.face, spec.height, spec.weight, spec.quality);
  auto it = fonts_.find(key);
  if (it == fonts_.end()) {
    QFont font = RealiseFont(spec);
    // Hinted at the handheld's few pixels, glyphs would sit unevenly once enlarged.
    const QPaintDevice* device = painter_.device();
    if (device != nullptr && device->devicePixelRatioF() > 1.0) {
      font.setHintingPreference(QFont::PreferNoHinting);
    }
    it = fonts_.emplace(key, font).first;
  }
  return it->second;
}

// The text is clipped to `rect` and left-aligned unless DT_CENTER. Vertical placement applies to
// a single line only, as on the platform: DT_VCENTER (0x04) centres the line's cell, else
// DT_BOTTOM (0x08) puts it on the bottom edge, else it hangs from the top. The drawings pass 0x38
// and 0x39, which hold DT_BOTTOM but not DT_VCENTER (0x04), so their lines sit on the bottom edge;
// were both bits set, centring would win.
int QtDrawingContext::DrawText(std::wstring_view text, const Rect& rect, unsigned flags) {
  const QFont& font = CurrentFont();
  const QFontMetrics metrics(font);
  const int cell = metrics.ascent() + metrics.descent();
  const QStringList lines =
      LayoutLines(QString::fromWCharArray(text.data(), static_cast<qsizetype>(text.size())), flags,
                  metrics, rect.Width());
  const int drawnHeight = cell * static_cast<int>(lines.size());
  if (rect.Width() <= 0 || rect.Height() <= 0) return drawnHeight;

  int y = rect.top;
  if (flags & DT_SINGLELINE) {
    if (flags & DT_VCENTER) {
      y = rect.top + (rect.Height() - cell) / 2;
    } else if (flags & DT_BOTTOM) {
      y = rect.bottom - cell;
    }
  }

  painter_.save();
  painter_.setClipRect(QRect(rect.left, rect.top, rect.Width(), rect.Height()),
                       painter_.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
  painter_.setFont(font);
  painter_.setPen(ToQColor(textColor_));
  for (const QString& line : lines) {
    if (y >= rect.bottom) break;
    const int width = metrics.horizontalAdvance(line);
    int x = rect.left;
    if (flags & DT_CENTER) x = rect.left + (rect.Width() - width) / 2;
    if (bkMode_ == BackgroundMode::Opaque) {
      painter_.fillRect(QRect(x, y, width, cell), kDefaultBackground);
    }
    painter_.drawText(QPoint(x, y + metrics.ascent()), line);
    y += cell;
  }
  painter_.restore();
  return drawnHeight;
}

void QtDrawingContext::BitBlt(int x, int y, int width, int height, const DibBitmap& bitmap,
                              int srcX, int srcY) {
  // Only the part that lies inside the source bitmap is copied.
  const int left = std::max(srcX, 0);
  const int top = std::max(srcY, 0);
  const int right = std::min(srcX + width, bitmap.Width());
  const int bottom = std::min(srcY + height, bitmap.Height());
  if (right <= left || bottom <= top) return;
  QImage image(right - left, bottom - top, QImage::Format_RGB32);
  for (int row = top; row < bottom; ++row) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(row - top));
    for (int col = left; col < right; ++col) {
      const RgbQuad p = bitmap.PixelFromTop(col, row);
      line[col - left] = qRgb(p.red, p.green, p.blue);
    }
  }
  painter_.drawImage(QPoint(x + (left - srcX), y + (top - srcY)), image);
}

void QtDrawingContext::Polyline(const std::vector<Point>& points) {
  if (points.size() < 2) return;
  QPolygon polygon;
  for (const Point& p : points) polygon << QPoint(p.x, p.y);
  painter_.save();
  QPen pen(pen_ != nullptr ? ToQColor(pen_->color) : kDefaultPen);
  pen.setWidth(pen_ != nullptr ? pen_->width : 0);
  painter_.setPen(pen);
  painter_.drawPolyline(polygon);
  painter_.restore();
}

void QtDrawingContext::Rectangle(const Rect& rect) {
  // The platform's rectangle covers left..right-1 and top..bottom-1, outline included.
  if (rect.Width() <= 0 || rect.Height() <= 0) return;
  const QColor outline = pen_ != nullptr ? ToQColor(pen_->color) : kDefaultPen;
  const QColor inside = brush_ != nullptr ? ToQColor(brush_->color) : kDefaultBrush;
  // An outline of the inside's colour, unscaled and at least two pixels each way, covers exactly
  // the rectangle's pixels: one fill draws it (the history graphs draw a thousand such dots per
  // paint).
  if (outline == inside && rect.Width() >= 2 && rect.Height() >= 2 &&
      painter_.worldTransform().type() <= QTransform::TxTranslate) {
    painter_.fillRect(QRect(rect.left, rect.top, rect.Width(), rect.Height()), inside);
    return;
  }
  const QPen previousPen = painter_.pen();
  const QBrush previousBrush = painter_.brush();
  QPen pen(outline);
  pen.setWidth(0);
  painter_.setPen(pen);
  painter_.setBrush(inside);
  painter_.drawRect(QRect(rect.left, rect.top, rect.Width() - 1, rect.Height() - 1));
  painter_.setPen(previousPen);
  painter_.setBrush(previousBrush);
}

void QtDrawingContext::FillRect(const Rect& rect, const Brush& brush) {
  if (rect.Width() <= 0 || rect.Height() <= 0) return;
  painter_.fillRect(QRect(rect.left, rect.top, rect.Width(), rect.Height()), ToQColor(brush.color));
}

Rect QtDrawingContext::GetClipBox() const {
  QRectF box;
  if (painter_.hasClipping()) {
    box = painter_.clipBoundingRect();
  } else if (painter_.device() != nullptr) {
    const QRectF device(0, 0, painter_.device()->width(), painter_.device()->height());
    box = painter_.worldTransform().inverted().mapRect(device);
  }
  const QRect r = box.toAlignedRect();
  return Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

// The source origin (0, 0) is the DIB's lower-left corner, as on the platform: a copy shorter
// than the DIB shows its bottom rows.
void QtDrawingContext::SetDIBitsToDevice(int x, int y, int width, int height, const uint8_t* bits,
                                         const BitmapInfoHeader& header) {
  if (bits == nullptr || (header.bitCount != 24 && header.bitCount != 32)) return;
  const int dibWidth = header.width;
  const int dibHeight = std::abs(header.height);
  const bool topDown = header.height < 0;
  width = std::min(width, dibWidth);
  height = std::min(height, dibHeight);
  if (width <= 0 || height <= 0) return;
  const size_t bytesPerPixel = header.bitCount / 8;
  const size_t stride = ((static_cast<size_t>(dibWidth) * header.bitCount + 31) / 32) * 4;
  QImage image(width, height, QImage::Format_RGB32);
  for (int row = 0; row < height; ++row) {
    // Row `row` of the destination, counted from its top, is DIB row height-1-row counted from
    // the bottom.
    const int fromBottom = height - 1 - row;
    const int stored = topDown ? dibHeight - 1 - fromBottom : fromBottom;
    const uint8_t* src = bits + stride * static_cast<size_t>(stored);
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
    for (int col = 0; col < width; ++col) {
      const uint8_t* p = src + bytesPerPixel * static_cast<size_t>(col);
      line[col] = qRgb(p[2], p[1], p[0]);
    }
  }
  painter_.drawImage(QPoint(x, y), image);
}

bool SavePng(const QImage& image, const std::filesystem::path& file) {
  if (image.save(QString::fromStdString(file.string()), "PNG")) return true;
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
  return false;
}

bool RenderPng(const Rect& area, const std::function<void(DrawingContext&)>& draw,
               const std::filesystem::path& file) {
  std::optional<QGuiApplication> app;
  if (QCoreApplication::instance() == nullptr) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "cirrodex";
    static char* argv[] = {name, nullptr};
    app.emplace(argc, argv);
  }
  QImage image(area.Width(), area.Height(), QImage::Format_RGB32);
  image.fill(QColor(255, 255, 255));
  {
    QPainter painter(&image);
    painter.translate(-area.left, -area.top);
    QtDrawingContext dc(painter);
    draw(dc);
  }
  return SavePng(image, file);
}

}  // namespace cirrodex::platform
