#include "service/maps/map_maker.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "service/maps/map_compositor.h"

namespace cirrodex::service {

namespace {

double Lattice(int x, int y, uint32_t seed) {
  uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
               seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return static_cast<double>(h & 0xFFFFFF) / 16777215.0;
}

double Smooth(double t) { return t * t * (3 - 2 * t); }

double ValueNoise(double x, double y, uint32_t seed) {
  const int x0 = static_cast<int>(std::floor(x));
  const int y0 = static_cast<int>(std::floor(y));
  const double fx = Smooth(x - x0);
  const double fy = Smooth(y - y0);
  const double top = Lattice(x0, y0, seed) * (1 - fx) + Lattice(x0 + 1, y0, seed) * fx;
  const double bottom = Lattice(x0, y0 + 1, seed) * (1 - fx) + Lattice(x0 + 1, y0 + 1, seed) * fx;
  return top * (1 - fy) + bottom * fy;
}

// Fractal noise in [0, 1): coarse shapes with finer detail on top.
double Fractal(double x, double y, uint32_t seed, int octaves) {
  double sum = 0;
  double weight = 0.5;
  double total = 0;
  for (int i = 0; i < octaves; ++i) {
    sum += weight * ValueNoise(x, y, seed + static_cast<uint32_t>(i) * 101u);
    total += weight;
    x *= 2.03;
    y *= 2.03;
    weight *= 0.5;
  }
  return sum / total;
}

struct Rgb {
  double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

uint8_t Byte(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

}  // namespace

std::vector<uint8_t> PaintSampleMap(MapKind kind, std::time_t now) {
  std::vector<uint8_t> rgb(static_cast<size_t>(kMapWidth) * kMapHeight * 3);
  const double hour = std::floor(static_cast<double>(now) / 3600.0);
  // Weather drifts east and a little south, hour by hour.
  const double driftX = std::fmod(hour * 0.35, 4096.0);
  const double driftY = std::fmod(hour * 0.12, 4096.0);

  for (int y = 0; y < kMapHeight; ++y) {
    for (int x = 0; x < kMapWidth; ++x) {
      const double u = static_cast<double>(x) / kMapWidth;
      const double v = static_cast<double>(y) / kMapHeight;
      // Land rises towards the east, so a coast runs down the picture.
      const double height = Fractal(u * 4, v * 3, 17, 5) + (u - 0.45) * 0.6;
      const bool land = height > 0.5;
      const double cloud = Fractal(u * 5 + driftX, v * 4 + driftY, 91, 5);

      Rgb color;
      if (kind == MapKind::Satellite) {
        const Rgb sea = Mix({12, 30, 70}, {25, 55, 105}, (height - 0.2) * 2.5);
        const Rgb ground = Mix({70, 105, 45}, {135, 120, 80}, (height - 0.5) * 3);
        color = land ? ground : sea;
        color = Mix(color, {235, 238, 242}, (cloud - 0.48) * 4);
      } else {
        const Rgb sea{28, 36, 58};
        const Rgb ground = Mix({92, 96, 92}, {120, 120, 112}, (height - 0.5) * 3);
        color = land ? ground : sea;
        if (std::fabs(height - 0.5) < 0.006) color = {200, 200, 200};  // the coastline
        if (cloud > 0.80) {
          color = {225, 30, 25};
        } else if (cloud > 0.70) {
          color = {235, 220, 20};
        } else if (cloud > 0.58) {
          color = Mix({20, 150, 40}, {40, 210, 60}, (cloud - 0.58) * 8);
        }
      }
      uint8_t* pixel = &rgb[(static_cast<size_t>(y) * kMapWidth + x) * 3];
      pixel[0] = Byte(color.r);
      pixel[1] = Byte(color.g);
      pixel[2] = Byte(color.b);
    }
  }
  return rgb;
}

std::string MakeSampleMap(MapKind kind, std::time_t now) {
  RgbPicture canvas;
  canvas.width = kMapWidth;
  canvas.height = kMapHeight;
  canvas.pixels = PaintSampleMap(kind, now);
  // Written across it so that it can never pass for the real sky.
  DrawSampleMark(canvas);
  DrawCredit(canvas, "SAMPLE PICTURE, NOT REAL WEATHER");
  return EncodeMapJpeg(canvas);
}

}  // namespace cirrodex::service
