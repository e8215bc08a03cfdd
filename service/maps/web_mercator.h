// Web Mercator (EPSG:3857), the projection of the radar tiles and of the imagery asked for: the
// sphere of radius 6378137 m, x east and y north in metres, both within +-kWorldHalfMetres;
// latitudes beyond +-kMaxLatitude are not shown. "World pixels" at a zoom count from the world's
// north-west corner, x east and y south, kTileSize per tile, 2^zoom tiles a side.
#pragma once

#include <vector>

namespace cirrodex::service {

inline constexpr double kEarthRadiusMetres = 6378137.0;
inline constexpr double kWorldHalfMetres = 20037508.342789244;  // pi * kEarthRadiusMetres
inline constexpr double kMaxLatitude = 85.0511287798066;
inline constexpr int kTileSize = 256;

struct Metres {
  double x = 0;
  double y = 0;
};

struct LatLon {
  double latitude = 0;   // degrees north
  double longitude = 0;  // degrees east
};

// Latitude is clamped to +-kMaxLatitude, longitude taken as it is (180 and -180 give the edges).
Metres ToMetres(LatLon point);
LatLon ToLatLon(Metres point);

// World pixels of zoom `zoom` (0..30): x in [0, kTileSize * 2^zoom) for longitudes in [-180, 180).
double WorldPixelsPerSide(int zoom);
double MetresToWorldPixelX(double x, int zoom);
double MetresToWorldPixelY(double y, int zoom);
double WorldPixelXToMetres(double px, int zoom);
double WorldPixelYToMetres(double py, int zoom);

// The tile column of a world pixel column, wrapped around the antimeridian into [0, 2^zoom).
int WrapTileColumn(long long column, int zoom);

// The area of a picture: `width` x `height` pixels of zoom `zoom` whose centre pixel is the
// point `centre`. left/top are world pixels and may lie outside the world (beyond the
// antimeridian, or north of kMaxLatitude).
struct PictureBox {
  int zoom = 0;
  int width = 0;
  int height = 0;
  double left = 0;  // world pixel x of the picture's column 0
  double top = 0;   // world pixel y of the picture's row 0

  // The box in metres: min x, min y, max x, max y (x not wrapped).
  double MinX() const;
  double MinY() const;
  double MaxX() const;
  double MaxY() const;
  // Where `point` falls in the picture, in pixels from the top-left corner (x wrapped to the
  // copy of the world nearest the box's centre).
  double PixelX(LatLon point) const;
  double PixelY(LatLon point) const;
};

PictureBox BoxAround(LatLon centre, int zoom, int width, int height);

// A part of a box that lies inside one copy of the world: what a WMS request can ask for. The
// columns [column, column + width) and rows [row, row + height) of the picture show the metres
// box minX..maxX, minY..maxY, which lies within +-kWorldHalfMetres.
struct BoxPiece {
  int column = 0;
  int row = 0;
  int width = 0;
  int height = 0;
  double minX = 0, minY = 0, maxX = 0, maxY = 0;
};

// The box cut at the antimeridian (into two pieces when it crosses it) and at the world's north
// and south edges; empty when no part of it lies in the world.
std::vector<BoxPiece> PiecesInWorld(const PictureBox& box);

}  // namespace cirrodex::service
