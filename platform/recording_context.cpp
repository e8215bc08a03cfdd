#include "platform/recording_context.h"

#include <cstdio>

#include "platform/text.h"

namespace cirrodex::platform {

namespace {

std::string RectText(const Rect& r) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%d,%d,%d,%d", r.left, r.top, r.right, r.bottom);
  return buffer;
}

std::string Quoted(std::wstring_view text) {
  std::string out = "\"";
  for (char c : ToUtf8(text)) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

}  // namespace

const FontSpec* RecordingContext::SelectFont(const FontSpec* font) {
  Call call{Kind::SelectFont};
  if (font != nullptr) {
    call.font = *font;
    call.hasFont = true;
  }
  calls_.push_back(std::move(call));
  const FontSpec* previous = font_;
  font_ = font;
  return previous;
}

const Pen* RecordingContext::SelectPen(const Pen* pen) {
  Call call{Kind::SelectPen};
  if (pen != nullptr) call.color = pen->color;
  calls_.push_back(std::move(call));
  const Pen* previous = pen_;
  pen_ = pen;
  return previous;
}

const Brush* RecordingContext::SelectBrush(const Brush* brush) {
  Call call{Kind::SelectBrush};
  if (brush != nullptr) call.color = brush->color;
  calls_.push_back(std::move(call));
  const Brush* previous = brush_;
  brush_ = brush;
  return previous;
}

Color RecordingContext::SetTextColor(Color color) {
  Call call{Kind::SetTextColor};
  call.color = color;
  calls_.push_back(std::move(call));
  const Color previous = textColor_;
  textColor_ = color;
  return previous;
}

BackgroundMode RecordingContext::SetBkMode(BackgroundMode mode) {
  calls_.push_back(Call{Kind::SetBkMode});
  const BackgroundMode previous = bkMode_;
  bkMode_ = mode;
  return previous;
}

int RecordingContext::DrawText(std::wstring_view text, const Rect& rect, unsigned flags) {
  Call call{Kind::Text};
  call.rect = rect;
  call.flags = flags;
  call.text = std::wstring(text);
  if (font_ != nullptr) {
    call.font = *font_;
    call.hasFont = true;
  }
  calls_.push_back(std::move(call));
  return font_ != nullptr ? font_->height : 0;
}

std::unique_ptr<DibBitmap> RecordingContext::LoadBitmap(std::wstring_view handheldPath) {
  if (skipBitmaps_) return nullptr;
  std::unique_ptr<DibBitmap> bitmap = DrawingContext::LoadBitmap(handheldPath);
  if (!bitmap) {
    Call call{Kind::BitmapMissing};
    call.text = std::wstring(handheldPath);
    calls_.push_back(std::move(call));
  }
  return bitmap;
}

void RecordingContext::BitBlt(int x, int y, int width, int height, const DibBitmap& bitmap,
                              int srcX, int srcY) {
  Call call{Kind::Bitmap};
  call.rect = Rect{x, y, x + width, y + height};
  call.source = Point{srcX, srcY};
  call.text = bitmap.path;
  calls_.push_back(std::move(call));
}

void RecordingContext::Note(std::wstring_view text) {
  if (!keepNotes_) return;
  Call call{Kind::Note};
  call.text = std::wstring(text);
  calls_.push_back(std::move(call));
}

void RecordingContext::SelectPalette(const std::vector<RgbQuad>& palette) {
  Call call{Kind::SelectPalette};
  call.paletteSize = palette.size();
  calls_.push_back(std::move(call));
}

void RecordingContext::Polyline(const std::vector<Point>& points) {
  Call call{Kind::Polyline};
  call.points = points;
  if (pen_ != nullptr) call.color = pen_->color;
  calls_.push_back(std::move(call));
}

void RecordingContext::Rectangle(const Rect& rect) {
  Call call{Kind::Rectangle};
  call.rect = rect;
  if (pen_ != nullptr) call.color = pen_->color;
  calls_.push_back(std::move(call));
}

void RecordingContext::FillRect(const Rect& rect, const Brush& brush) {
  Call call{Kind::FillRect};
  call.rect = rect;
  call.color = brush.color;
  calls_.push_back(std::move(call));
}

void RecordingContext::SetDIBitsToDevice(int x, int y, int width, int height,
                                         const uint8_t* /*bits*/,
                                         const BitmapInfoHeader& /*header*/) {
  Call call{Kind::SetDIBits};
  call.rect = Rect{x, y, x + width, y + height};
  calls_.push_back(std::move(call));
}

std::vector<RecordingContext::Call> RecordingContext::CallsOf(Kind kind) const {
  std::vector<Call> out;
  for (const Call& call : calls_) {
    if (call.kind == kind) out.push_back(call);
  }
  return out;
}

std::string RecordingContext::FormatCall(const Call& call) {
  char buffer[96];
  switch (call.kind) {
    case Kind::Text: {
      std::snprintf(buffer, sizeof buffer, " 0x%02x ", call.flags);
      std::string face = call.hasFont ? ToUtf8(call.font.face) : std::string("-");
      return "text " + RectText(call.rect) + buffer + face + "/" +
             std::to_string(call.hasFont ? call.font.height : 0) + " " + Quoted(call.text);
    }
    case Kind::Bitmap:
      std::snprintf(buffer, sizeof buffer, "bitmap %d,%d %dx%d %d,%d ", call.rect.left,
                    call.rect.top, call.rect.Width(), call.rect.Height(), call.source.x,
                    call.source.y);
      return buffer + ToUtf8(call.text);
    case Kind::BitmapMissing:
      return "bitmap-missing " + ToUtf8(call.text);
    case Kind::Polyline: {
      std::string out = "polyline";
      for (const Point& p : call.points) {
        std::snprintf(buffer, sizeof buffer, " %d,%d", p.x, p.y);
        out += buffer;
      }
      return out;
    }
    case Kind::Rectangle:
    case Kind::FillRect:
      return "fillrect " + RectText(call.rect);
    case Kind::SetDIBits:
      std::snprintf(buffer, sizeof buffer, "dibits %d,%d %dx%d", call.rect.left, call.rect.top,
                    call.rect.Width(), call.rect.Height());
      return buffer;
    default:
      return std::string();
  }
}

std::string RecordingContext::Listing() const {
  std::string out;
  for (const Call& call : calls_) {
    std::string line = FormatCall(call);
    if (line.empty()) continue;
    out += line;
    out += '\n';
  }
  return out;
}

}  // namespace cirrodex::platform
