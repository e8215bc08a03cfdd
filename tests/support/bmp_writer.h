// Builds BMP files byte by byte for tests: well-formed ones of every depth the reader takes, and
// the raw bytes so that a test can break them on purpose.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "platform/drawing_context.h"

namespace cirrodex::testing {

struct BmpSpec {
  int32_t width = 4;
  int32_t height = 4;  // negative: rows stored top-down
  uint16_t bitCount = 24;
  uint32_t colorsUsed = 0;  // 0: the full table for 8 bits and below
  // The colour of pixel (x, y) counted from the top; for indexed depths its index in the table.
  std::function<platform::RgbQuad(int x, int y)> pixel;
  std::function<uint8_t(int x, int y)> index;
  std::vector<platform::RgbQuad> table;  // for indexed depths
};

inline void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

inline std::vector<uint8_t> MakeBmp(const BmpSpec& spec) {
  const int rows = spec.height < 0 ? -spec.height : spec.height;
  const uint32_t stride = ((static_cast<uint32_t>(spec.width) * spec.bitCount + 31) / 32) * 4;
  const uint32_t tableEntries =
      spec.bitCount <= 8 ? (spec.colorsUsed != 0 ? spec.colorsUsed : (1u << spec.bitCount)) : 0;
  const uint32_t offset = 14 + 40 + tableEntries * 4;
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  PutLe(out, offset + stride * rows, 4);
  PutLe(out, 0, 4);
  PutLe(out, offset, 4);
  PutLe(out, 40, 4);
  PutLe(out, static_cast<uint32_t>(spec.width), 4);
  PutLe(out, static_cast<uint32_t>(spec.height), 4);
  PutLe(out, 1, 2);
  PutLe(out, spec.bitCount, 2);
  PutLe(out, 0, 4);
  PutLe(out, stride * rows, 4);
  PutLe(out, 2835, 4);
  PutLe(out, 2835, 4);
  PutLe(out, spec.colorsUsed, 4);
  PutLe(out, 0, 4);
  for (uint32_t i = 0; i < tableEntries; ++i) {
    const platform::RgbQuad c = i < spec.table.size() ? spec.table[i] : platform::RgbQuad{};
    out.insert(out.end(), {c.blue, c.green, c.red, 0});
  }
  for (int stored = 0; stored < rows; ++stored) {
    const int y = spec.height < 0 ? stored : rows - 1 - stored;
    std::vector<uint8_t> line(stride, 0);
    for (int x = 0; x < spec.width; ++x) {
      switch (spec.bitCount) {
        case 32:
        case 24: {
          const platform::RgbQuad c = spec.pixel(x, y);
          const size_t at = static_cast<size_t>(x) * (spec.bitCount / 8);
          line[at] = c.blue;
          line[at + 1] = c.green;
          line[at + 2] = c.red;
          break;
        }
        case 8:
          line[x] = spec.index(x, y);
          break;
        case 4:
          line[x / 2] |= static_cast<uint8_t>((spec.index(x, y) & 0x0F) << (x % 2 == 0 ? 4 : 0));
          break;
        case 1:
          line[x / 8] |= static_cast<uint8_t>((spec.index(x, y) & 1) << (7 - x % 8));
          break;
      }
    }
    out.insert(out.end(), line.begin(), line.end());
  }
  return out;
}

inline void WriteFile(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// A 24-bit icon-like picture: its outer `border` pixels red, the inside a gradient that names
// every pixel ((x, y) has red x * 7, green y * 7, blue 200).
inline std::vector<uint8_t> MakeBorderedBmp(int width, int height, int border = 2) {
  BmpSpec spec;
  spec.width = width;
  spec.height = height;
  spec.bitCount = 24;
  spec.pixel = [=](int x, int y) {
    if (x < border || y < border || x >= width - border || y >= height - border) {
      return platform::RgbQuad{0, 0, 255, 0};
    }
    return platform::RgbQuad{200, static_cast<uint8_t>(y * 7), static_cast<uint8_t>(x * 7), 0};
  };
  return MakeBmp(spec);
}

}  // namespace cirrodex::testing
