// Made-up radar and satellite pictures for the map host: the same coast for both, with cloud or
// rain areas that drift from hour to hour, marked "SAMPLE".
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "service/address.h"

namespace cirrodex::service {

inline constexpr int kMapWidth = 400;
inline constexpr int kMapHeight = 300;

// The picture as rows of RGB bytes from the top, kMapWidth x kMapHeight; it changes only with
// the UTC hour of `now`.
std::vector<uint8_t> PaintSampleMap(MapKind kind, std::time_t now);

// PaintSampleMap with "SAMPLE" written across it and a credit line saying it is made up, as a
// JPEG file under 64000 bytes; empty when encoding fails.
std::string MakeSampleMap(MapKind kind, std::time_t now);

}  // namespace cirrodex::service
