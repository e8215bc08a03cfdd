// A drawing context that draws nothing and keeps every call, for tests and for listing what a
// drawing does (cirrodex-draw --list).
#pragma once

#include <string>
#include <vector>

#include "platform/drawing_context.h"

namespace cirrodex::platform {

class RecordingContext : public DrawingContext {
 public:
  enum class Kind {
    SelectFont,
    SelectPen,
    SelectBrush,
    SetTextColor,
    SetBkMode,
    Text,
    BitmapMissing,  // a LoadBitmap that found no loadable file
    Bitmap,         // a BitBlt
    SelectPalette,
    Polyline,
    Rectangle,
    FillRect,
    SetDIBits,
    Note,  // only when notes are kept
  };

  // One call with what it was given. Fields a kind does not use stay at their defaults.
  struct Call {
    explicit Call(Kind k) : kind(k) {}
    Kind kind;
    Rect rect;           // Text, Rectangle, FillRect; Bitmap/SetDIBits: x, y, x+w, y+h
    Point source;        // Bitmap: source origin
    unsigned flags = 0;  // Text
    std::wstring text;   // Text, Note: the text; Bitmap, BitmapMissing: the handheld path
    FontSpec font;       // Text: the font in effect; SelectFont: the font selected
    bool hasFont = false;
    Color color = 0;            // SetTextColor, FillRect, Polyline/Rectangle: pen colour
    std::vector<Point> points;  // Polyline
    size_t paletteSize = 0;     // SelectPalette
  };

  // `clip` is what GetClipBox reports.
  explicit RecordingContext(Rect clip = Rect{0, 0, 240, 320}) : clip_(clip) {}

  const FontSpec* SelectFont(const FontSpec* font) override;
  const Pen* SelectPen(const Pen* pen) override;
  const Brush* SelectBrush(const Brush* brush) override;
  Color SetTextColor(Color color) override;
  Color GetTextColor() const override { return textColor_; }
  BackgroundMode SetBkMode(BackgroundMode mode) override;
  int DrawText(std::wstring_view text, const Rect& rect, unsigned flags) override;
  std::unique_ptr<DibBitmap> LoadBitmap(std::wstring_view handheldPath) override;
  void BitBlt(int x, int y, int width, int height, const DibBitmap& bitmap, int srcX,
              int srcY) override;
  void SelectPalette(const std::vector<RgbQuad>& palette) override;
  void Polyline(const std::vector<Point>& points) override;
  void Rectangle(const Rect& rect) override;
  void FillRect(const Rect& rect, const Brush& brush) override;
  Rect GetClipBox() const override { return clip_; }
  void SetDIBitsToDevice(int x, int y, int width, int height, const uint8_t* bits,
                         const BitmapInfoHeader& header) override;
  bool WantsNotes() const override { return keepNotes_; }
  void Note(std::wstring_view text) override;

  // Whether drawings are asked for notes (off by default, as on a screen).
  void KeepNotes(bool keep) { keepNotes_ = keep; }
  // Bitmaps are not looked for at all: they load as missing and leave no call. For a recording
  // that only wants the texts, without reading files.
  void SkipBitmaps(bool skip) { skipBitmaps_ = skip; }

  const std::vector<Call>& calls() const { return calls_; }
  // Only the calls of one kind, in order.
  std::vector<Call> CallsOf(Kind kind) const;
  const FontSpec* selectedFont() const { return font_; }
  const Pen* selectedPen() const { return pen_; }
  const Brush* selectedBrush() const { return brush_; }
  BackgroundMode bkMode() const { return bkMode_; }
  void Clear() { calls_.clear(); }

  // The calls that put something on the target, one line each (state changes are left out):
  //   text L,T,R,B 0xFLAGS FACE/HEIGHT "TEXT"   (" and \ escaped by \, a line feed as \n)
  //   bitmap X,Y WxH SX,SY PATH
  //   bitmap-missing PATH
  //   polyline X,Y X,Y ...
  //   fillrect L,T,R,B                          (Rectangle and FillRect alike)
  //   dibits X,Y WxH
  std::string Listing() const;
  static std::string FormatCall(const Call& call);

 private:
  Rect clip_;
  std::vector<Call> calls_;
  const FontSpec* font_ = nullptr;
  const Pen* pen_ = nullptr;
  const Brush* brush_ = nullptr;
  Color textColor_ = 0;
  BackgroundMode bkMode_ = BackgroundMode::Opaque;
  bool keepNotes_ = false;
  bool skipBitmaps_ = false;
};

}  // namespace cirrodex::platform
