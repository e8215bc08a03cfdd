// The drawing context on a QPainter: the weather drawings on a widget or into an image.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>
#include <filesystem>
#include <functional>
#include <map>
#include <tuple>

#include "platform/drawing_context.h"

namespace cirrodex::platform {

// Where Debian's fonts-wine puts Tahoma, outside fontconfig's folders.
inline constexpr char kTahomaFile[] = "/usr/share/wine/fonts/tahoma.ttf";

// The family that stands for "Tahoma": the face registered from kTahomaFile on the first call, or,
// when that file is missing or unreadable, the system's sans-serif family (said once on stderr).
// Needs a QGuiApplication.
QString TahomaFamily();

// The QFont that realises `spec`. The height is the platform's positive cell height (ascent plus
// descent, internal leading included), so the pixel size of the face is chosen to fill it.
QFont RealiseFont(const FontSpec& spec);

class QtDrawingContext : public DrawingContext {
 public:
  // Draws with `painter` (not owned), which must stay active while the context is used. Starts
  // with no font, black text, opaque background mode with a white background, as the platform's
  // fresh device context does.
  explicit QtDrawingContext(QPainter& painter);

  const FontSpec* SelectFont(const FontSpec* font) override;
  const Pen* SelectPen(const Pen* pen) override;
  const Brush* SelectBrush(const Brush* brush) override;
  Color SetTextColor(Color color) override;
  Color GetTextColor() const override { return textColor_; }
  BackgroundMode SetBkMode(BackgroundMode mode) override;
  int DrawText(std::wstring_view text, const Rect& rect, unsigned flags) override;
  void BitBlt(int x, int y, int width, int height, const DibBitmap& bitmap, int srcX,
              int srcY) override;
  void Polyline(const std::vector<Point>& points) override;
  void Rectangle(const Rect& rect) override;
  void FillRect(const Rect& rect, const Brush& brush) override;
  Rect GetClipBox() const override;
  void SetDIBitsToDevice(int x, int y, int width, int height, const uint8_t* bits,
                         const BitmapInfoHeader& header) override;

 private:
  const QFont& CurrentFont();

  QPainter& painter_;
  const FontSpec* font_ = nullptr;
  const Pen* pen_ = nullptr;
  const Brush* brush_ = nullptr;
  Color textColor_ = 0;
  BackgroundMode bkMode_ = BackgroundMode::Opaque;
  // Realised fonts by face, height, weight and quality.
  std::map<std::tuple<std::wstring, int, int, int>, QFont> fonts_;
};

// The colour of a COLORREF.
inline QColor ToQColor(Color c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

// Writes `image` as a PNG file; false (with nothing left behind) when it cannot be written.
bool SavePng(const QImage& image, const std::filesystem::path& file);

// Draws through `draw` on white, with `area`'s top left at the picture's origin, and writes the
// picture of `area`'s size as a PNG file. Starts an offscreen Qt application when none runs. False
// (with nothing left behind) when the file cannot be written.
bool RenderPng(const Rect& area, const std::function<void(DrawingContext&)>& draw,
               const std::filesystem::path& file);

}  // namespace cirrodex::platform
