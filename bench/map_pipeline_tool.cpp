// map-pipeline: runs the map pipeline once on a JPEG file, for timing against djpeg and cjpeg as
// whole processes. Writes "radar.jpg" and "iconradar.bmp" into the device folder
// ($CIRRODEX_DEVICE).
//   map-pipeline FILE.jpg        run the pipeline on FILE.jpg
//   map-pipeline --sample FILE   write the made-up 400 x 300 sample map to FILE
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/map_pipeline.h"
#include "platform/whole_file.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--sample") == 0) {
    const std::vector<uint8_t> jpeg = cirrodex::bench::SampleMapJpeg();
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(jpeg.data()),
              static_cast<std::streamsize>(jpeg.size()));
    return jpeg.empty() || !out ? 1 : 0;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: map-pipeline FILE.jpg | map-pipeline --sample FILE\n");
    return 2;
  }
  std::string jpeg;
  std::string error;
  if (!cirrodex::platform::ReadWholeFile(argv[1], jpeg, error) || jpeg.empty()) {
    std::fprintf(stderr, "map-pipeline: cannot read %s (%s)\n", argv[1],
                 error.empty() ? "empty" : error.c_str());
    return 1;
  }
  if (!cirrodex::bench::RunMapPipeline(reinterpret_cast<const uint8_t*>(jpeg.data()),
                                       jpeg.size())) {
    std::fprintf(stderr, "map-pipeline: the pipeline failed\n");
    return 1;
  }
  return 0;
}
