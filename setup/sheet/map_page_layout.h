// Where the map pages show pictures: fitted into a square by their aspect.
#pragma once

#include <cmath>
#include <cstdint>

#include "platform/drawing_context.h"

namespace cirrodex {

struct FittedSize {
  int32_t width = 0;
  int32_t height = 0;
  friend bool operator==(const FittedSize&, const FittedSize&) = default;
};

// A picture wider than high (aspect = height / width below 1) takes `side` as its width, any
// other takes it as its height; the other side is scaled by the aspect and truncated. That
// arithmetic stays in float, the aspect's type: 240 / (400 / 300.0f) rounds to 180 in float but
// truncates to 179 in double. A side never comes out below 1 pixel, since a drawing size of 0
// would mean the picture's own size.
inline FittedSize FitToSquare(float aspect, int32_t side) {
  if (!std::isfinite(aspect) || aspect <= 0.0f) aspect = 1.0f;
  FittedSize size;
  if (aspect < 1.0f) {
    size.width = side;
    size.height = static_cast<int32_t>(aspect * static_cast<float>(side));
  } else {
    size.height = side;
    size.width = static_cast<int32_t>(static_cast<float>(side) / aspect);
  }
  if (size.width < 1) size.width = 1;
  if (size.height < 1) size.height = 1;
  return size;
}

// A frame one pixel outside a picture, in the text colour: a dark map would otherwise melt into a
// page of a dark palette.
inline void FramePicture(platform::DrawingContext& dc, int32_t x, int32_t y, int32_t width,
                         int32_t height) {
  const platform::Pen pen{dc.GetTextColor(), 0};
  const platform::Pen* previous = dc.SelectPen(&pen);
  dc.Polyline({{x - 1, y - 1},
               {x + width, y - 1},
               {x + width, y + height},
               {x - 1, y + height},
               {x - 1, y - 1}});
  dc.SelectPen(previous);
}

}  // namespace cirrodex
