#include "service/maps/gibs_wms.h"

#include <cstdio>

#include "imaging/image_buffer.h"
#include "imaging/png_decode.h"
#include "service/http/http_target.h"

namespace cirrodex::service {

namespace {

// Geostationary frames reach GIBS some time after they are taken; asking for a newer step
// finds nothing.
constexpr std::time_t kGeostationaryDelay = 40 * 60;
constexpr std::time_t kGeostationaryStep = 10 * 60;

std::string TextBetween(std::string_view body, std::string_view open, std::string_view close) {
  const size_t start = body.find(open);
  if (start == std::string_view::npos) return {};
  const size_t from = body.find('>', start);
  const size_t end = body.find(close, from);
  if (from == std::string_view::npos || end == std::string_view::npos) return {};
  std::string text(body.substr(from + 1, end - from - 1));
  // Whitespace runs become single spaces so the text fits on one log line.
  std::string out;
  for (char c : text) {
    const bool space = c == '\n' || c == '\r' || c == '\t' || c == ' ';
    if (space && (out.empty() || out.back() == ' ')) continue;
    out += space ? ' ' : c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out.substr(0, 200);
}

// The size a JPEG's frame header claims, read before decoding so that a small file claiming a
// huge picture costs nothing. False when no frame header is found.
bool JpegSize(std::string_view body, int& width, int& height) {
  size_t i = 2;
  while (i + 9 < body.size()) {
    if (static_cast<unsigned char>(body[i]) != 0xFF) return false;
    const unsigned marker = static_cast<unsigned char>(body[i + 1]);
    if (marker == 0xFF) {
      ++i;
      continue;
    }
    const size_t length =
        static_cast<unsigned char>(body[i + 2]) * 256u + static_cast<unsigned char>(body[i + 3]);
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      height =
          static_cast<unsigned char>(body[i + 5]) * 256 + static_cast<unsigned char>(body[i + 6]);
      width =
          static_cast<unsigned char>(body[i + 7]) * 256 + static_cast<unsigned char>(body[i + 8]);
      return true;
    }
    if (length < 2) return false;
    i += 2 + length;
  }
  return false;
}

}  // namespace

ImageryLayers BaseMapLayers() {
  return {"BlueMarble_ShadedRelief_Bathymetry,Coastlines_15m,Reference_Features_15m", "", 0, true};
}

ImageryLayers SatelliteLayers(double longitude, std::time_t now) {
  const char* layer = nullptr;
  if (longitude >= -110 && longitude < -30) {
    layer = "GOES-East_ABI_Band13_Clean_Infrared";
  } else if (longitude >= 165 || longitude < -110) {
    layer = longitude >= 165 ? "Himawari_AHI_Band13_Clean_Infrared"
                             : "GOES-West_ABI_Band13_Clean_Infrared";
  } else if (longitude >= 80) {
    layer = "Himawari_AHI_Band13_Clean_Infrared";
  }
  ImageryLayers result;
  if (layer != nullptr) {
    const std::time_t step = (now - kGeostationaryDelay) / kGeostationaryStep * kGeostationaryStep;
    result.layers = std::string(layer) + ",Coastlines_15m";
    result.time = UtcText(step, "%Y-%m-%dT%H:%M:%SZ");
    result.frameTime = step;
    return result;
  }
  const std::time_t yesterday = (now / 86400 - 1) * 86400;
  result.layers = "VIIRS_SNPP_CorrectedReflectance_TrueColor,Coastlines_15m";
  result.time = UtcText(yesterday, "%Y-%m-%d");
  result.frameTime = yesterday;
  result.daily = true;
  return result;
}

std::string GetMapUrl(const std::string& endpoint, const ImageryLayers& layers,
                      const BoxPiece& piece) {
  char box[160];
  std::snprintf(box, sizeof box, "%.3f,%.3f,%.3f,%.3f", piece.minX, piece.minY, piece.maxX,
                piece.maxY);
  std::string url = endpoint;
  url += endpoint.find('?') == std::string::npos ? '?' : '&';
  url += "SERVICE=WMS&VERSION=1.3.0&REQUEST=GetMap&FORMAT=image/jpeg&STYLES=&CRS=EPSG:3857";
  url += "&LAYERS=" + layers.layers;
  url += "&BBOX=" + std::string(box);
  url += "&WIDTH=" + std::to_string(piece.width) + "&HEIGHT=" + std::to_string(piece.height);
  if (!layers.time.empty()) url += "&TIME=" + layers.time;
  return url;
}

bool ReadGetMapAnswer(std::string_view body, int width, int height, RgbPicture& picture,
                      std::string& error) {
  RgbPicture out;
  out.width = width;
  out.height = height;
  out.pixels.resize(static_cast<size_t>(width) * height * 3);
  const bool png = body.size() >= 8 && body.substr(1, 3) == "PNG";
  const bool jpeg = body.size() >= 3 && static_cast<unsigned char>(body[0]) == 0xFF &&
                    static_cast<unsigned char>(body[1]) == 0xD8;
  if (!png && !jpeg && body.find("ServiceException") != std::string_view::npos) {
    const std::string text = TextBetween(body, "<ServiceException", "</ServiceException>");
    error = "the imagery service refused: " + (text.empty() ? std::string("(no text)") : text);
    return false;
  }
  if (png) {
    RgbaPicture rgba;
    if (!DecodePng(body.data(), body.size(), 4096, rgba, error)) return false;
    if (rgba.width != width || rgba.height != height) {
      error = "the imagery answer is not " + std::to_string(width) + " x " +
              std::to_string(height) + " pixels";
      return false;
    }
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
      const uint8_t* p = &rgba.pixels[i * 4];
      // Transparent parts (no data) show as black, as on the service's own maps.
      for (int c = 0; c < 3; ++c) out.pixels[i * 3 + c] = static_cast<uint8_t>(p[c] * p[3] / 255);
    }
  } else if (jpeg) {
    int claimedWidth = 0, claimedHeight = 0;
    if (!JpegSize(body, claimedWidth, claimedHeight) || claimedWidth != width ||
        claimedHeight != height) {
      error = "the imagery answer is not a " + std::to_string(width) + " x " +
              std::to_string(height) + " JPEG picture";
      return false;
    }
    ImageBuffer image(ImageType::Jpeg);
    if (!image.DecodeMemory(reinterpret_cast<const uint8_t*>(body.data()), body.size(),
                            ImageType::Jpeg) ||
        !image.IsValid()) {
      error = std::string("the imagery answer is not a readable JPEG: ") + image.LastError();
      return false;
    }
    if (image.Width() != width || image.Height() != height) {
      error = "the imagery answer is not " + std::to_string(width) + " x " +
              std::to_string(height) + " pixels";
      return false;
    }
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const RgbQuad c = image.ReadPixelColor(x, height - 1 - y);
        uint8_t* p = &out.pixels[(static_cast<size_t>(y) * width + x) * 3];
        p[0] = c.red;
        p[1] = c.green;
        p[2] = c.blue;
      }
    }
  } else {
    error = "the imagery answer is neither JPEG nor PNG";
    return false;
  }
  picture = std::move(out);
  return true;
}

}  // namespace cirrodex::service
