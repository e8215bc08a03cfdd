#include "service/maps/web_mercator.h"

#include <algorithm>
#include <cmath>

namespace cirrodex::service {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;

}  // namespace

Metres ToMetres(LatLon point) {
  const double lat = std::clamp(point.latitude, -kMaxLatitude, kMaxLatitude) * kDegree;
  return {kEarthRadiusMetres * point.longitude * kDegree,
          kEarthRadiusMetres * std::log(std::tan(kPi / 4 + lat / 2))};
}

LatLon ToLatLon(Metres point) {
  return {(2 * std::atan(std::exp(point.y / kEarthRadiusMetres)) - kPi / 2) / kDegree,
          point.x / kEarthRadiusMetres / kDegree};
}

double WorldPixelsPerSide(int zoom) { return kTileSize * std::ldexp(1.0, zoom); }

double MetresToWorldPixelX(double x, int zoom) {
  return (x + kWorldHalfMetres) / (2 * kWorldHalfMetres) * WorldPixelsPerSide(zoom);
}

double MetresToWorldPixelY(double y, int zoom) {
  return (kWorldHalfMetres - y) / (2 * kWorldHalfMetres) * WorldPixelsPerSide(zoom);
}

double WorldPixelXToMetres(double px, int zoom) {
  return px / WorldPixelsPerSide(zoom) * 2 * kWorldHalfMetres - kWorldHalfMetres;
}

double WorldPixelYToMetres(double py, int zoom) {
  return kWorldHalfMetres - py / WorldPixelsPerSide(zoom) * 2 * kWorldHalfMetres;
}

int WrapTileColumn(long long column, int zoom) {
  const long long tiles = 1LL << zoom;
  return static_cast<int>(((column % tiles) + tiles) % tiles);
}

double PictureBox::MinX() const { return WorldPixelXToMetres(left, zoom); }
double PictureBox::MaxX() const { return WorldPixelXToMetres(left + width, zoom); }
double PictureBox::MinY() const { return WorldPixelYToMetres(top + height, zoom); }
double PictureBox::MaxY() const { return WorldPixelYToMetres(top, zoom); }

double PictureBox::PixelX(LatLon point) const {
  const double side = WorldPixelsPerSide(zoom);
  const double centre = left + width / 2.0;
  double px = MetresToWorldPixelX(ToMetres(point).x, zoom);
  px += std::round((centre - px) / side) * side;
  return px - left;
}

double PictureBox::PixelY(LatLon point) const {
  return MetresToWorldPixelY(ToMetres(point).y, zoom) - top;
}

PictureBox BoxAround(LatLon centre, int zoom, int width, int height) {
  const Metres m = ToMetres(centre);
  PictureBox box;
  box.zoom = zoom;
  box.width = width;
  box.height = height;
  // The centre point falls on the middle of pixel (width/2, height/2).
  box.left = MetresToWorldPixelX(m.x, zoom) - width / 2 - 0.5;
  box.top = MetresToWorldPixelY(m.y, zoom) - height / 2 - 0.5;
  return box;
}

std::vector<BoxPiece> PiecesInWorld(const PictureBox& box) {
  const double side = WorldPixelsPerSide(box.zoom);
  // Rows inside the world.
  const int firstRow = std::clamp(static_cast<int>(std::ceil(-box.top)), 0, box.height);
  const int endRow = std::clamp(static_cast<int>(std::floor(side - box.top)), 0, box.height);
  std::vector<BoxPiece> pieces;
  if (endRow <= firstRow) return pieces;
  // The box's left edge moved into the world; the column where it leaves the world again.
  const double shift = std::floor(box.left / side) * side;
  const double left = box.left - shift;
  const int cut = std::clamp(static_cast<int>(std::round(side - left)), 0, box.width);
  auto add = [&](int column, int width, double worldLeft) {
    if (width <= 0) return;
    BoxPiece piece;
    piece.column = column;
    piece.row = firstRow;
    piece.width = width;
    piece.height = endRow - firstRow;
    piece.minX = WorldPixelXToMetres(worldLeft, box.zoom);
    piece.maxX = WorldPixelXToMetres(worldLeft + width, box.zoom);
    piece.maxY = WorldPixelYToMetres(box.top + firstRow, box.zoom);
    piece.minY = WorldPixelYToMetres(box.top + endRow, box.zoom);
    piece.minX = std::max(piece.minX, -kWorldHalfMetres);
    piece.maxX = std::min(piece.maxX, kWorldHalfMetres);
    pieces.push_back(piece);
  };
  add(0, cut, left);
  add(cut, box.width - cut, left + cut - side);
  if (pieces.size() == 2) {
    // The pieces meet at the antimeridian, whatever fraction of a pixel the cut falls on.
    pieces[0].maxX = kWorldHalfMetres;
    pieces[1].minX = -kWorldHalfMetres;
  }
  return pieces;
}

}  // namespace cirrodex::service
