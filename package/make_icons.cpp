// make-icons OUTDIR [--sheet FILE]: draws the weather icon bitmaps N.bmp (one per number of the
// icon table) into OUTDIR, 32 x 32 pixels in 24-bit BMP form. The outer 2 pixels are a border that
// the drawing cuts off, so each picture lives in the inner 28 x 28. With --sheet it also writes a
// PNG contact sheet of the icons as the strips show them, for looking at.
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/icon_table.h"
#include "imaging/byte_stream.h"
#include "imaging/image_buffer.h"

namespace {

using cirrodex::Clouds;
using cirrodex::IconInfo;
using cirrodex::Obscured;
using cirrodex::Precip;
using cirrodex::Sky;

constexpr int kFileSide = 32;
constexpr int kBorder = 2;
constexpr int kInner = kFileSide - 2 * kBorder;  // 28
// Drawn this many times larger and scaled down, for smooth edges at 28 pixels.
constexpr int kSupersample = 4;

const QColor kBackground(255, 255, 255);
const QColor kSunFill(255, 196, 0);
const QColor kSunEdge(222, 122, 0);
const QColor kMoonFill(250, 214, 92);
const QColor kMoonEdge(150, 118, 30);
const QColor kCloudFill(226, 232, 240);
const QColor kCloudEdge(104, 118, 136);
const QColor kDarkCloudFill(168, 178, 192);
const QColor kDarkCloudEdge(74, 86, 102);
const QColor kRain(24, 104, 220);
const QColor kHeavyRain(10, 60, 170);
const QColor kSnow(70, 150, 230);
const QColor kIce(0, 170, 190);
const QColor kBolt(255, 214, 0);
const QColor kBoltEdge(200, 90, 0);
const QColor kWind(80, 120, 160);
const QColor kFog(130, 136, 146);
const QColor kHaze(196, 140, 60);
const QColor kSmoke(110, 104, 100);
const QColor kDust(170, 120, 70);
const QColor kHot(220, 30, 30);
const QColor kCold(30, 110, 230);

QPen Edge(const QColor& color, double width = 1.0) {
  QPen pen(color, width);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  return pen;
}

void DrawSun(QPainter& p, QPointF centre, double radius, bool rays) {
  if (rays) {
    p.setPen(Edge(kSunEdge, radius * 0.28));
    for (int i = 0; i < 8; ++i) {
      p.save();
      p.translate(centre);
      p.rotate(i * 45.0);
      p.drawLine(QPointF(0, -radius * 1.35), QPointF(0, -radius * 1.85));
      p.restore();
    }
  }
  p.setPen(Edge(kSunEdge, 1.0));
  p.setBrush(kSunFill);
  p.drawEllipse(centre, radius, radius);
}

void DrawMoon(QPainter& p, QPointF centre, double radius) {
  QPainterPath disc;
  disc.addEllipse(centre, radius, radius);
  QPainterPath bite;
  bite.addEllipse(centre + QPointF(radius * 0.55, -radius * 0.35), radius * 0.85, radius * 0.85);
  p.setPen(Edge(kMoonEdge, 1.0));
  p.setBrush(kMoonFill);
  p.drawPath(disc.subtracted(bite));
}

// A cloud of three bumps on a flat base, `width` wide with its base at `baseY`.
void DrawCloud(QPainter& p, double left, double baseY, double width, bool dark) {
  const double h = width * 0.55;
  QPainterPath body;
  body.addRoundedRect(QRectF(left, baseY - h * 0.55, width, h * 0.55), h * 0.27, h * 0.27);
  QPainterPath small;
  small.addEllipse(QRectF(left + width * 0.10, baseY - h * 0.85, width * 0.42, width * 0.42));
  QPainterPath large;
  large.addEllipse(QRectF(left + width * 0.34, baseY - h * 1.12, width * 0.52, width * 0.52));
  const QPainterPath path = body.united(small).united(large);
  p.setPen(Edge(dark ? kDarkCloudEdge : kCloudEdge, 1.0));
  p.setBrush(dark ? kDarkCloudFill : kCloudFill);
  p.drawPath(path);
}

void DrawFlake(QPainter& p, QPointF c, double r, const QColor& color) {
  p.setPen(Edge(color, 1.0));
  for (int i = 0; i < 3; ++i) {
    p.save();
    p.translate(c);
    p.rotate(i * 60.0);
    p.drawLine(QPointF(0, -r), QPointF(0, r));
    p.restore();
  }
}

void DrawDrop(QPainter& p, QPointF top, double length, const QColor& color, double width) {
  p.setPen(Edge(color, width));
  p.drawLine(top, top + QPointF(-length * 0.35, length));
}

void DrawPellet(QPainter& p, QPointF c, double r, const QColor& fill, const QColor& edge) {
  p.setPen(Edge(edge, 0.8));
  p.setBrush(fill);
  p.drawEllipse(c, r, r);
}

// Precipitation in the band below a cloud, from y 19 to 27.
void DrawPrecip(QPainter& p, Precip precip) {
  const double xs[] = {7.5, 12.5, 17.5, 22.5};
  switch (precip) {
    case Precip::None:
      break;
    case Precip::Drizzle:
      p.setPen(Qt::NoPen);
      p.setBrush(kRain);
      for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(xs[i], 21.5 + (i % 2) * 3), 1.1, 1.1);
      break;
    case Precip::Showers:
      DrawDrop(p, QPointF(11, 20), 5, kRain, 1.6);
      DrawDrop(p, QPointF(17, 20), 5, kRain, 1.6);
      break;
    case Precip::Rain:
      for (int i = 0; i < 3; ++i) DrawDrop(p, QPointF(9 + i * 5.5, 20), 6, kRain, 1.6);
      break;
    case Precip::HeavyRain:
      for (int i = 0; i < 4; ++i) DrawDrop(p, QPointF(7 + i * 5, 19.5), 7.5, kHeavyRain, 2.0);
      break;
    case Precip::Flurries:
      DrawFlake(p, QPointF(10, 23), 2.5, kSnow);
      DrawFlake(p, QPointF(18, 23), 2.5, kSnow);
      break;
    case Precip::Snow:
      DrawFlake(p, QPointF(7.5, 22), 2.6, kSnow);
      DrawFlake(p, QPointF(14, 24.5), 2.6, kSnow);
      DrawFlake(p, QPointF(20.5, 22), 2.6, kSnow);
      break;
    case Precip::HeavySnow:
      DrawFlake(p, QPointF(6, 21.5), 2.4, kSnow);
      DrawFlake(p, QPointF(12, 24.5), 2.4, kSnow);
      DrawFlake(p, QPointF(18, 21.5), 2.4, kSnow);
      DrawFlake(p, QPointF(24, 24.5), 2.4, kSnow);
      break;
    case Precip::Sleet:
      DrawDrop(p, QPointF(9, 20), 5.5, kRain, 1.6);
      DrawPellet(p, QPointF(14.5, 23.5), 1.6, QColor(210, 240, 250), kIce);
      DrawDrop(p, QPointF(21, 20), 5.5, kRain, 1.6);
      break;
    case Precip::RainSnow:
      DrawDrop(p, QPointF(10, 20), 6, kRain, 1.6);
      DrawFlake(p, QPointF(18, 23), 2.6, kSnow);
      break;
    case Precip::FreezingRain:
      DrawDrop(p, QPointF(8, 20), 5.5, kRain, 1.6);
      DrawDrop(p, QPointF(15, 20), 5.5, kRain, 1.6);
      DrawPellet(p, QPointF(21.5, 24), 1.5, QColor(210, 240, 250), kIce);
      p.setPen(Edge(kIce, 1.2));
      p.drawLine(QPointF(5, 27), QPointF(24, 27));
      break;
    case Precip::Hail:
      DrawPellet(p, QPointF(8, 22), 1.9, Qt::white, kCloudEdge);
      DrawPellet(p, QPointF(14, 25), 1.9, Qt::white, kCloudEdge);
      DrawPellet(p, QPointF(20, 22), 1.9, Qt::white, kCloudEdge);
      break;
  }
}

void DrawBolt(QPainter& p, QPointF origin, double scale) {
  QPolygonF bolt;
  for (QPointF point : {QPointF(3, 0), QPointF(7, 0), QPointF(5, 4), QPointF(8, 4),
                        QPointF(2.5, 11), QPointF(4, 6), QPointF(1, 6)}) {
    bolt << origin + point * scale;
  }
  p.setPen(Edge(kBoltEdge, 0.9));
  p.setBrush(kBolt);
  p.drawPolygon(bolt);
}

void DrawWind(QPainter& p, double top) {
  p.setPen(Edge(kWind, 1.5));
  p.setBrush(Qt::NoBrush);
  QPainterPath a;
  a.moveTo(2, top);
  a.lineTo(18, top);
  a.cubicTo(22, top, 22, top - 4.5, 18.5, top - 4.5);
  p.drawPath(a);
  QPainterPath b;
  b.moveTo(5, top + 4);
  b.lineTo(22, top + 4);
  b.cubicTo(26.5, top + 4, 26.5, top + 8.5, 23, top + 8.5);
  p.drawPath(b);
}

// Horizontal bands for fog, haze, smoke and dust, in the lower part of the picture.
void DrawBands(QPainter& p, Obscured kind, double top) {
  const QColor color = kind == Obscured::Haze    ? kHaze
                       : kind == Obscured::Smoke ? kSmoke
                       : kind == Obscured::Dust  ? kDust
                                                 : kFog;
  p.setPen(Edge(color, 2.0));
  if (kind == Obscured::Smoke) {
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
      QPainterPath wave;
      const double y = top + i * 4.5;
      wave.moveTo(3 + (i % 2) * 2, y);
      wave.cubicTo(8, y - 3, 12, y + 3, 16, y);
      wave.cubicTo(19, y - 2.5, 22, y + 2.5, 25 - (i % 2) * 2, y);
      p.drawPath(wave);
    }
    return;
  }
  for (int i = 0; i < 4; ++i) {
    const double y = top + i * 3.5;
    const double inset = (i % 2) * 3;
    p.drawLine(QPointF(3 + inset, y), QPointF(25 - (3 - inset), y));
  }
}

void DrawThermometer(QPainter& p, const QColor& color) {
  p.setPen(Edge(QColor(90, 90, 90), 1.0));
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(21, 10, 4, 12), 2, 2);
  p.setBrush(color);
  p.drawEllipse(QPointF(23, 23.5), 3, 3);
  p.setPen(Qt::NoPen);
  const double top = color == kHot ? 12 : 18;
  p.drawRect(QRectF(22.2, top, 1.6, 23 - top));
}

void DrawUnknown(QPainter& p) {
  p.setPen(Edge(kCloudEdge, 1.0));
  p.setBrush(QColor(240, 242, 246));
  p.drawEllipse(QPointF(14, 14), 11, 11);
  QFont font;
  font.setPixelSize(17);
  font.setBold(true);
  p.setFont(font);
  p.setPen(kCloudEdge);
  p.drawText(QRectF(0, 0, 28, 28), Qt::AlignCenter, QStringLiteral("?"));
}

// The picture of one icon, in the 28 x 28 coordinates of the visible part.
void DrawIcon(QPainter& p, const IconInfo& icon) {
  if (icon.number == cirrodex::kUnknownIcon) {
    DrawUnknown(p);
    return;
  }
  const bool precip = icon.precip != Precip::None;
  const bool bands = icon.obscured != Obscured::None;
  const bool below = precip || icon.thunder || bands || icon.wind;
  const bool heavyWeather = icon.clouds == Clouds::Overcast && (precip || icon.thunder);

  // The sun or moon: alone it fills the picture; behind clouds or above weather it moves up left.
  if (icon.sky != Sky::None) {
    const bool alone = icon.clouds == Clouds::None && !below;
    const bool thermometer = icon.hot || icon.cold;
    QPointF centre = alone ? QPointF(thermometer ? 11.5 : 14, 14) : QPointF(9.5, 9.5);
    double radius = alone ? 6.2 : 4.8;
    if (icon.clouds == Clouds::None && below) {
      centre = QPointF(14, 8.5);
      radius = 5.0;
    }
    if (icon.sky == Sky::Sun) {
      DrawSun(p, centre, radius, true);
    } else {
      DrawMoon(p, centre + QPointF(0, 0.5), radius * 1.25);
    }
  }

  // Clouds, from a small one to two heavy overcast layers.
  const double base = below ? 18.5 : 23.0;
  switch (icon.clouds) {
    case Clouds::None:
      break;
    case Clouds::Few:
      DrawCloud(p, 11, base, 15, false);
      break;
    case Clouds::Partly:
      DrawCloud(p, 8, base, 19, false);
      break;
    case Clouds::Mostly:
      DrawCloud(p, 2, base, 25, false);
      break;
    case Clouds::Overcast:
      DrawCloud(p, 1, base - 4.5, 17, true);
      DrawCloud(p, 6, base, 21, heavyWeather);
      break;
  }

  if (bands) {
    const double top = icon.sky != Sky::None ? 16.5 : 9.0;
    DrawBands(p, icon.obscured, icon.wind ? top - 4 : top);
  }
  DrawPrecip(p, icon.precip);
  if (icon.thunder) {
    if (precip) {
      DrawBolt(p, QPointF(12.5, 15.5), 1.05);
    } else {
      DrawBolt(p, QPointF(10, 14.5), 1.2);
    }
  }
  if (icon.wind) {
    const double top = precip || icon.thunder ? 4.0 : bands ? 22.0 : 21.0;
    if (precip || icon.thunder) {
      // Over weather the wind goes into the top right corner, small.
      p.save();
      p.translate(15, 0);
      p.scale(0.5, 0.7);
      DrawWind(p, top + 2);
      p.restore();
    } else {
      DrawWind(p, top);
    }
  }
  if (icon.hot) DrawThermometer(p, kHot);
  if (icon.cold) DrawThermometer(p, kCold);
}

QImage RenderIcon(const IconInfo& icon) {
  QImage big(kInner * kSupersample, kInner * kSupersample, QImage::Format_RGB32);
  big.fill(kBackground);
  {
    QPainter p(&big);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.scale(kSupersample, kSupersample);
    DrawIcon(p, icon);
  }
  const QImage inner = big.scaled(kInner, kInner, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  QImage file(kFileSide, kFileSide, QImage::Format_RGB32);
  file.fill(kBackground);
  QPainter p(&file);
  p.drawImage(kBorder, kBorder, inner);
  return file;
}

// An uncompressed bottom-up 24-bit BMP at 72 dots per inch, through the imaging BMP codec.
bool WriteBmp24(const QImage& image, const std::filesystem::path& file) {
  cirrodex::ImageBuffer bmp(image.width(), image.height(), 24, cirrodex::ImageType::Bmp);
  if (bmp.Pixels() == nullptr) return false;
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const cirrodex::RgbQuad color{static_cast<uint8_t>(qBlue(line[x])),
                                    static_cast<uint8_t>(qGreen(line[x])),
                                    static_cast<uint8_t>(qRed(line[x])), 0};
      // The buffer counts rows from the bottom.
      bmp.WritePixelColor(x, image.height() - 1 - y, color);
    }
  }
  cirrodex::FileStream stream;
  if (!stream.Open(file.c_str(), "wb")) return false;
  const bool written = bmp.EncodeTo(&stream, cirrodex::ImageType::Bmp);
  // Buffered bytes reach the file only when it closes.
  return stream.Close() && written;
}

// Every icon as the strip shows it (border cut), at 1x and 3x, eight to a row, numbered.
QImage ContactSheet(const std::vector<QImage>& icons) {
  constexpr int kPerRow = 8;
  constexpr int kScale = 3;
  constexpr int kCell = kInner * kScale + 16;
  const int rows = static_cast<int>((icons.size() + kPerRow - 1) / kPerRow);
  QImage sheet(kPerRow * kCell, rows * (kCell + 14), QImage::Format_RGB32);
  sheet.fill(QColor(246, 246, 246));
  QPainter p(&sheet);
  QFont font;
  font.setPixelSize(11);
  p.setFont(font);
  for (size_t i = 0; i < icons.size(); ++i) {
    const int x = static_cast<int>(i % kPerRow) * kCell + 4;
    const int y = static_cast<int>(i / kPerRow) * (kCell + 14) + 4;
    const QImage cut = icons[i].copy(kBorder, kBorder, kInner, kInner);
    p.drawImage(QRect(x, y, kInner * kScale, kInner * kScale), cut);
    p.drawImage(x + kInner * kScale - kInner, y + kInner * kScale + 2, cut);
    p.setPen(Qt::black);
    p.drawText(QPoint(x, y + kInner * kScale + 14), QString::number(i));
  }
  return sheet;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--sheet")) {
    std::fprintf(stderr, "usage: make-icons OUTDIR [--sheet FILE.png]\n");
    return 2;
  }
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);

  const std::filesystem::path outDir = argv[1];
  std::error_code error;
  std::filesystem::create_directories(outDir, error);
  if (error) {
    std::fprintf(stderr, "make-icons: cannot create %s: %s\n", outDir.c_str(),
                 error.message().c_str());
    return 1;
  }
  std::vector<QImage> icons;
  for (const IconInfo& icon : cirrodex::kIconTable) {
    icons.push_back(RenderIcon(icon));
    const std::filesystem::path file = outDir / (std::to_string(icon.number) + ".bmp");
    if (!WriteBmp24(icons.back(), file)) {
      std::fprintf(stderr, "make-icons: cannot write %s\n", file.c_str());
      return 1;
    }
  }
  if (argc == 4 && !ContactSheet(icons).save(QString::fromLocal8Bit(argv[3]), "PNG")) {
    std::fprintf(stderr, "make-icons: cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}
