// PNG reading on libpng's simplified API (libpng 1.6), kept in this one file: the radar tiles
// arrive as PNG with transparency. libpng's errors end in a false result, never in a jump out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cirrodex {

// A decoded picture: rows from the top, four bytes a pixel (red, green, blue, alpha, alpha not
// premultiplied).
struct RgbaPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
};

// Decodes the PNG file in `data`. False, with `error` saying why and `picture` untouched, for
// anything that is not a whole PNG, and for pictures wider or higher than `maxSide` (checked
// from the header before any pixel memory is taken).
bool DecodePng(const void* data, size_t size, int maxSide, RgbaPicture& picture,
               std::string& error);

// Encodes `picture` as an 8-bit RGBA PNG; empty on failure. For tests and stand-ins.
std::string EncodePng(const RgbaPicture& picture);

}  // namespace cirrodex
