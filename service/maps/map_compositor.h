// Puts a map picture together: the imagery below, radar tiles laid on as the source coloured
// them, the marker at the city, the credit line, and "SAMPLE" across a made-up picture. Pure
// drawing on RGB pictures; no I/O.
#pragma once

#include <functional>
#include <string>

#include "imaging/png_decode.h"
#include "service/maps/gibs_wms.h"
#include "service/maps/web_mercator.h"

namespace cirrodex::service {

// A picture of `width` x `height` filled with one colour.
RgbPicture BlankPicture(int width, int height, uint8_t red, uint8_t green, uint8_t blue);

// Copies `piece` into `canvas` with its top-left corner at (`column`, `row`); parts outside the
// canvas are left out.
void Paste(RgbPicture& canvas, const RgbPicture& piece, int column, int row);

// The tile (x, y) of the box's zoom, x already wrapped into the world; null where there is none
// (that part of the picture keeps what is below).
using TileLookup = std::function<const RgbaPicture*(int x, int y)>;

// Lays the radar tiles covering `box` over `canvas` (which has the box's size), each pixel
// blended by its own alpha.
void LayTiles(RgbPicture& canvas, const PictureBox& box, const TileLookup& tile);

// The tiles `box` needs: (x wrapped, y) pairs, each once, rows inside the world only.
std::vector<std::pair<int, int>> TilesOf(const PictureBox& box);

// A small white ring with a dark edge centred on pixel (x, y).
void DrawMarker(RgbPicture& canvas, int x, int y);

// One line of text in the bottom-left corner on a dark band: `text` in capitals (letters,
// digits and ":-./,()+&"; other characters show as spaces).
void DrawCredit(RgbPicture& canvas, const std::string& text);

// "SAMPLE" in large letters across the middle of the picture.
void DrawSampleMark(RgbPicture& canvas);

// The picture as a baseline JPEG under 64000 bytes (the size a map download keeps); empty when
// encoding fails.
std::string EncodeMapJpeg(const RgbPicture& picture);

}  // namespace cirrodex::service
