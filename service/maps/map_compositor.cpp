#include "service/maps/map_compositor.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <set>

#include "imaging/byte_stream.h"
#include "imaging/image_buffer.h"

namespace cirrodex::service {

namespace {

constexpr size_t kPictureLimit = 64000;

// 5 x 7 glyphs, one byte a row from the top, bit 4 the leftmost column.
struct Glyph {
  char c;
  uint8_t rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}},
    {',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}},
    {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}},
    {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}},
    {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}},
    {'&', {0x0C, 0x12, 0x14, 0x08, 0x15, 0x12, 0x0D}},
};

const Glyph* GlyphOf(char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  for (const Glyph& g : kGlyphs) {
    if (g.c == c) return &g;
  }
  return nullptr;
}

void SetPixel(RgbPicture& canvas, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
  if (x < 0 || y < 0 || x >= canvas.width || y >= canvas.height) return;
  uint8_t* p = &canvas.pixels[(static_cast<size_t>(y) * canvas.width + x) * 3];
  p[0] = r;
  p[1] = g;
  p[2] = b;
}

// Darkens a box to a third of its brightness so that light text reads on any imagery.
void Shade(RgbPicture& canvas, int left, int top, int right, int bottom) {
  for (int y = std::max(0, top); y < std::min(canvas.height, bottom); ++y) {
    for (int x = std::max(0, left); x < std::min(canvas.width, right); ++x) {
      uint8_t* p = &canvas.pixels[(static_cast<size_t>(y) * canvas.width + x) * 3];
      for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(p[c] / 3);
    }
  }
}

void DrawText(RgbPicture& canvas, const std::string& text, int left, int top, int scale, uint8_t r,
              uint8_t g, uint8_t b) {
  for (size_t i = 0; i < text.size(); ++i) {
    const Glyph* glyph = GlyphOf(text[i]);
    if (glyph == nullptr) continue;
    const int x0 = left + static_cast<int>(i) * 6 * scale;
    for (int row = 0; row < 7; ++row) {
      for (int col = 0; col < 5; ++col) {
        if ((glyph->rows[row] >> (4 - col) & 1) == 0) continue;
        for (int dy = 0; dy < scale; ++dy) {
          for (int dx = 0; dx < scale; ++dx) {
            SetPixel(canvas, x0 + col * scale + dx, top + row * scale + dy, r, g, b);
          }
        }
      }
    }
  }
}

}  // namespace

RgbPicture BlankPicture(int width, int height, uint8_t red, uint8_t green, uint8_t blue) {
  RgbPicture picture;
  picture.width = width;
  picture.height = height;
  picture.pixels.resize(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i < picture.pixels.size(); i += 3) {
    picture.pixels[i] = red;
    picture.pixels[i + 1] = green;
    picture.pixels[i + 2] = blue;
  }
  return picture;
}

void Paste(RgbPicture& canvas, const RgbPicture& piece, int column, int row) {
  for (int y = 0; y < piece.height; ++y) {
    const int cy = row + y;
    if (cy < 0 || cy >= canvas.height) continue;
    const int from = std::max(0, -column);
    const int to = std::min(piece.width, canvas.width - column);
    if (to <= from) return;
    std::copy_n(&piece.pixels[(static_cast<size_t>(y) * piece.width + from) * 3], (to - from) * 3,
                &canvas.pixels[(static_cast<size_t>(cy) * canvas.width + column + from) * 3]);
  }
}

std::vector<std::pair<int, int>> TilesOf(const PictureBox& box) {
  const long long tiles = 1LL << box.zoom;
  std::set<std::pair<int, int>> seen;
  std::vector<std::pair<int, int>> out;
  const long long firstX = static_cast<long long>(std::floor((box.left + 0.5) / kTileSize));
  const long long lastX =
      static_cast<long long>(std::floor((box.left + box.width - 0.5) / kTileSize));
  const long long firstY = static_cast<long long>(std::floor((box.top + 0.5) / kTileSize));
  const long long lastY =
      static_cast<long long>(std::floor((box.top + box.height - 0.5) / kTileSize));
  for (long long y = std::max(0LL, firstY); y <= std::min(tiles - 1, lastY); ++y) {
    for (long long x = firstX; x <= lastX; ++x) {
      const std::pair<int, int> tile{WrapTileColumn(x, box.zoom), static_cast<int>(y)};
      if (seen.insert(tile).second) out.push_back(tile);
    }
  }
  return out;
}

void LayTiles(RgbPicture& canvas, const PictureBox& box, const TileLookup& tile) {
  const long long world = 1LL << box.zoom;
  for (int row = 0; row < canvas.height; ++row) {
    const long long wy = static_cast<long long>(std::floor(box.top + row + 0.5));
    if (wy < 0 || wy >= world * kTileSize) continue;
    const int ty = static_cast<int>(wy / kTileSize);
    const int py = static_cast<int>(wy % kTileSize);
    int lastTx = -1;
    const RgbaPicture* picture = nullptr;
    for (int col = 0; col < canvas.width; ++col) {
      const long long wx = static_cast<long long>(std::floor(box.left + col + 0.5));
      const long long tileX = wx >= 0 ? wx / kTileSize : -((-wx + kTileSize - 1) / kTileSize);
      const int tx = WrapTileColumn(tileX, box.zoom);
      if (tx != lastTx) {
        picture = tile(tx, ty);
        lastTx = tx;
      }
      if (picture == nullptr) continue;
      const int px = static_cast<int>(wx - tileX * kTileSize);
      // A tile of another size is scaled onto the 256-pixel grid.
      const int sx = px * picture->width / kTileSize;
      const int sy = py * picture->height / kTileSize;
      const uint8_t* s = &picture->pixels[(static_cast<size_t>(sy) * picture->width + sx) * 4];
      if (s[3] == 0) continue;
      uint8_t* d = &canvas.pixels[(static_cast<size_t>(row) * canvas.width + col) * 3];
      for (int c = 0; c < 3; ++c)
        d[c] = static_cast<uint8_t>((s[c] * s[3] + d[c] * (255 - s[3])) / 255);
    }
  }
}

void DrawMarker(RgbPicture& canvas, int x, int y) {
  for (int dy = -6; dy <= 6; ++dy) {
    for (int dx = -6; dx <= 6; ++dx) {
      const double d = std::sqrt(dx * dx + dy * dy);
      if (d >= 2.5 && d < 4.5) {
        SetPixel(canvas, x + dx, y + dy, 255, 255, 255);
      } else if ((d >= 1.5 && d < 2.5) || (d >= 4.5 && d < 5.8)) {
        SetPixel(canvas, x + dx, y + dy, 0, 0, 0);
      }
    }
  }
}

void DrawCredit(RgbPicture& canvas, const std::string& text) {
  const int width = static_cast<int>(text.size()) * 6 + 5;
  const int top = canvas.height - 12;
  Shade(canvas, 0, top, width, canvas.height);
  DrawText(canvas, text, 3, top + 3, 1, 240, 240, 240);
}

void DrawSampleMark(RgbPicture& canvas) {
  const std::string word = "SAMPLE";
  const int scale = std::max(1, canvas.width / 50);
  const int width = static_cast<int>(word.size()) * 6 * scale - scale;
  const int left = (canvas.width - width) / 2;
  const int top = (canvas.height - 7 * scale) / 2;
  Shade(canvas, left - scale, top - scale, left + width + scale, top + 8 * scale);
  DrawText(canvas, word, left, top, scale, 255, 255, 255);
}

std::string EncodeMapJpeg(const RgbPicture& picture) {
  ImageBuffer image(picture.width, picture.height, 24, ImageType::Jpeg);
  if (!image.IsValid()) return {};
  for (int y = 0; y < picture.height; ++y) {
    // DIB rows run from the bottom, three bytes a pixel in blue, green, red order.
    uint8_t* row = image.Pixels() + static_cast<size_t>(picture.height - 1 - y) * image.RowStride();
    const uint8_t* from = &picture.pixels[static_cast<size_t>(y) * picture.width * 3];
    for (int x = 0; x < picture.width; ++x) {
      row[x * 3] = from[x * 3 + 2];
      row[x * 3 + 1] = from[x * 3 + 1];
      row[x * 3 + 2] = from[x * 3];
    }
  }
  for (uint8_t quality : {80, 65, 50, 35}) {
    image.SetJpegQuality(quality);
    MemoryStream stream;
    if (!stream.Open() || !image.EncodeTo(&stream, ImageType::Jpeg)) return {};
    const int32_t size = stream.Size();
    if (size <= 0) return {};
    std::unique_ptr<uint8_t, decltype(&std::free)> bytes(stream.GetBuffer(), &std::free);
    if (static_cast<size_t>(size) < kPictureLimit) {
      return std::string(reinterpret_cast<const char*>(bytes.get()), static_cast<size_t>(size));
    }
  }
  return {};
}

}  // namespace cirrodex::service
