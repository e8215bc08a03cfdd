// A drawing context in front of another that passes every call on and keeps, in drawing order,
// the texts drawn and the notes given (see DrawingContext::Note): what a screen reader is told of
// a painted page, taken from the very paint that shows it.
#pragma once

#include <string>
#include <vector>

#include "platform/drawing_context.h"

namespace cirrodex::platform {

class TextTee : public DrawingContext {
 public:
  // `target` (not owned) must outlive the tee.
  explicit TextTee(DrawingContext& target) : target_(target) {}

  const FontSpec* SelectFont(const FontSpec* font) override { return target_.SelectFont(font); }
  const Pen* SelectPen(const Pen* pen) override { return target_.SelectPen(pen); }
  const Brush* SelectBrush(const Brush* brush) override { return target_.SelectBrush(brush); }
  Color SetTextColor(Color color) override { return target_.SetTextColor(color); }
  Color GetTextColor() const override { return target_.GetTextColor(); }
  BackgroundMode SetBkMode(BackgroundMode mode) override { return target_.SetBkMode(mode); }
  int DrawText(std::wstring_view text, const Rect& rect, unsigned flags) override {
    texts_.emplace_back(text);
    return target_.DrawText(text, rect, flags);
  }
  std::unique_ptr<DibBitmap> LoadBitmap(std::wstring_view handheldPath) override {
    return target_.LoadBitmap(handheldPath);
  }
  void BitBlt(int x, int y, int width, int height, const DibBitmap& bitmap, int srcX,
              int srcY) override {
    target_.BitBlt(x, y, width, height, bitmap, srcX, srcY);
  }
  void SelectPalette(const std::vector<RgbQuad>& palette) override {
    target_.SelectPalette(palette);
  }
  void Polyline(const std::vector<Point>& points) override { target_.Polyline(points); }
  void Rectangle(const Rect& rect) override { target_.Rectangle(rect); }
  void FillRect(const Rect& rect, const Brush& brush) override { target_.FillRect(rect, brush); }
  Rect GetClipBox() const override { return target_.GetClipBox(); }
  void SetDIBitsToDevice(int x, int y, int width, int height, const uint8_t* bits,
                         const BitmapInfoHeader& header) override {
    target_.SetDIBitsToDevice(x, y, width, height, bits, header);
  }
  bool WantsNotes() const override { return true; }
  void Note(std::wstring_view text) override { texts_.emplace_back(text); }

  // Texts and notes in the order they came.
  const std::vector<std::wstring>& texts() const { return texts_; }

 private:
  DrawingContext& target_;
  std::vector<std::wstring> texts_;
};

}  // namespace cirrodex::platform
