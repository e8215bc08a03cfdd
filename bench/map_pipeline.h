// What the unattended run does with one downloaded map, for the map benchmarks: decode the JPEG
// from memory, save it again at quality 100, cut the 30 x 30 icon and write it as BMP.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/image_buffer.h"

namespace cirrodex::bench {

// A made-up 400 x 300 map (land, sea, coast lines and radar echoes) as the map server would send
// it: a JPEG of quality 75.
std::vector<uint8_t> SampleMapJpeg(int width = 400, int height = 300);

// Runs the pipeline on `jpeg`, writing "\radar.jpg" and "\iconradar.bmp" under the device folder.
// False when any step fails.
bool RunMapPipeline(const uint8_t* jpeg, size_t size);

}  // namespace cirrodex::bench
