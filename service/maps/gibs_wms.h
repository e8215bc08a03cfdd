// NASA GIBS imagery by OGC WMS GetMap in EPSG:3857 (docs/MAPS.md): which layers show a place at
// a time, the request for a box, and reading the answer, which may be a picture or a
// ServiceException document.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "service/maps/web_mercator.h"

namespace cirrodex::service {

inline constexpr char kGibsWmsUrl[] = "https://gibs.earthdata.nasa.gov/wms/epsg3857/best/wms.cgi";

// What one GetMap asks for: LAYERS (comma-separated, bottom first) and TIME (empty: the layer's
// default), and the frame time the picture's credit line shows.
struct ImageryLayers {
  std::string layers;
  std::string time;
  std::time_t frameTime = 0;
  bool daily = false;  // a day's mosaic: the credit shows the date only
};

// The base map of the radar pictures: shaded relief and bathymetry, coastlines and borders.
ImageryLayers BaseMapLayers();
// The satellite layer for a place at `now`: the geostationary infrared of GOES-East, GOES-West or
// Himawari by longitude, at the latest 10-minute step old enough to be published; elsewhere the
// daily true colour of the day before; coastlines on top.
ImageryLayers SatelliteLayers(double longitude, std::time_t now);

// The GetMap address for `piece` at `endpoint` (WMS 1.3.0, CRS=EPSG:3857, JPEG).
std::string GetMapUrl(const std::string& endpoint, const ImageryLayers& layers,
                      const BoxPiece& piece);

// An RGB picture, rows from the top, three bytes a pixel.
struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
};

// Reads a GetMap answer of `width` x `height`: a JPEG or PNG picture of exactly that size. False,
// with `error` saying why (the exception text of a ServiceException), for anything else.
bool ReadGetMapAnswer(std::string_view body, int width, int height, RgbPicture& picture,
                      std::string& error);

}  // namespace cirrodex::service
