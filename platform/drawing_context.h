// The drawing context: the few GDI-style operations the weather drawings use, behind one
// abstract class so that core and today draw without knowing the target (Qt, a recording, ...).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cirrodex::platform {

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// 0x00BBGGRR, as the platform's COLORREF.
using Color = uint32_t;
constexpr Color Rgb(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<Color>(r) | (static_cast<Color>(g) << 8) | (static_cast<Color>(b) << 16);
}
constexpr uint8_t RedOf(Color c) { return c & 0xFF; }
constexpr uint8_t GreenOf(Color c) { return (c >> 8) & 0xFF; }
constexpr uint8_t BlueOf(Color c) { return (c >> 16) & 0xFF; }

// Text drawing flags, with the platform's values.
inline constexpr unsigned DT_TOP = 0x00;
inline constexpr unsigned DT_LEFT = 0x00;
inline constexpr unsigned DT_CENTER = 0x01;
inline constexpr unsigned DT_VCENTER = 0x04;
inline constexpr unsigned DT_BOTTOM = 0x08;
inline constexpr unsigned DT_WORDBREAK = 0x10;
inline constexpr unsigned DT_SINGLELINE = 0x20;

enum class BackgroundMode { Transparent = 1, Opaque = 2 };

// A font is a description; each context realises it its own way. The owner keeps it alive while
// it is selected into any context.
struct FontSpec {
  std::wstring face;
  int height = 0;  // cell height in pixels
  int weight = 400;
  int quality = 0;  // 5 = ClearType
};

struct Pen {
  Color color = 0;
  int width = 0;  // 0: one pixel, whatever the scale
};

struct Brush {
  Color color = 0;
};

// RGBQUAD order in memory: blue, green, red, reserved.
struct RgbQuad {
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
  uint8_t reserved = 0;
  friend bool operator==(const RgbQuad&, const RgbQuad&) = default;
};

// The 40-byte BITMAPINFOHEADER, field for field.
struct BitmapInfoHeader {
  uint32_t size = 40;
  int32_t width = 0;
  int32_t height = 0;  // positive: rows stored bottom-up
  uint16_t planes = 1;
  uint16_t bitCount = 0;
  uint32_t compression = 0;
  uint32_t sizeImage = 0;
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
  uint32_t clrUsed = 0;
  uint32_t clrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

// A device-independent bitmap loaded from a file (the platform's SHLoadDIBitmap).
struct DibBitmap {
  std::wstring path;            // the handheld path it was loaded from
  BitmapInfoHeader header;      // height normalised to positive (rows bottom-up)
  std::vector<RgbQuad> colors;  // colour table; 256 entries for 8-bit and below, else empty
  std::vector<uint8_t> bits;    // rows bottom-up, each padded to 4 bytes
  uint32_t Stride() const { return ((header.width * header.bitCount + 31u) / 32u) * 4u; }
  int Width() const { return header.width; }
  int Height() const { return header.height; }
  // The colour of pixel (x, y), y counted from the top; black outside.
  RgbQuad PixelFromTop(int x, int y) const;
};

// Reads an uncompressed 1, 4, 8, 24 or 32-bit BMP file given as a handheld path. Null when the file
// is missing or not such a bitmap.
std::unique_ptr<DibBitmap> LoadDibFile(std::wstring_view handheldPath);

class DrawingContext {
 public:
  virtual ~DrawingContext() = default;

  // Select* return the previous selection (null when none was selected).
  virtual const FontSpec* SelectFont(const FontSpec* font) = 0;
  virtual const Pen* SelectPen(const Pen* pen) = 0;
  virtual const Brush* SelectBrush(const Brush* brush) = 0;
  virtual Color SetTextColor(Color color) = 0;
  virtual Color GetTextColor() const = 0;
  virtual BackgroundMode SetBkMode(BackgroundMode mode) = 0;

  // Draws text into `rect` with the DT_* flags; returns the height of the text drawn.
  virtual int DrawText(std::wstring_view text, const Rect& rect, unsigned flags) = 0;

  // The platform's SHLoadDIBitmap; null when the file cannot be loaded. Loading goes through the
  // context so that a recording can note what was looked for.
  virtual std::unique_ptr<DibBitmap> LoadBitmap(std::wstring_view handheldPath);
  // Copies `width` x `height` pixels of `bitmap` from (srcX, srcY), counted from its top-left,
  // to (x, y) (SRCCOPY).
  virtual void BitBlt(int x, int y, int width, int height, const DibBitmap& bitmap, int srcX,
                      int srcY) = 0;
  // Palettes matter only on palette devices; every target here is true-colour.
  virtual void SelectPalette(const std::vector<RgbQuad>& /*palette*/) {}

  // A closed or open line through the points, with the selected pen.
  virtual void Polyline(const std::vector<Point>& points) = 0;
  // A rectangle outlined with the selected pen and filled with the selected brush.
  virtual void Rectangle(const Rect& rect) = 0;
  virtual void FillRect(const Rect& rect, const Brush& brush) = 0;

  virtual Rect GetClipBox() const = 0;
  // Copies a bottom-up 24-bit DIB of `header.width` x `header.height` pixels to (x, y), `width`
  // x `height` of it from source origin (0, 0) (the platform's SetDIBitsToDevice).
  virtual void SetDIBitsToDevice(int x, int y, int width, int height, const uint8_t* bits,
                                 const BitmapInfoHeader& header) = 0;

  // What a drawing shows without a text (a graph's summary), for a screen reader. A drawing
  // builds such a note only when the context wants one; nothing is drawn.
  virtual bool WantsNotes() const { return false; }
  virtual void Note(std::wstring_view /*text*/) {}
};

}  // namespace cirrodex::platform
