#include "imaging/png_decode.h"

#include <png.h>

#include <cstring>

namespace cirrodex {

namespace {

// png_image_free on every way out.
struct ImageGuard {
  png_image& image;
  ~ImageGuard() { png_image_free(&image); }
};

}  // namespace

bool DecodePng(const void* data, size_t size, int maxSide, RgbaPicture& picture,
               std::string& error) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  ImageGuard guard{image};
  if (data == nullptr || size < 8 || png_sig_cmp(static_cast<png_const_bytep>(data), 0, 8) != 0) {
    error = "not a PNG file";
    return false;
  }
  if (!png_image_begin_read_from_memory(&image, data, size)) {
    error = std::string("reading the PNG header: ") + image.message;
    return false;
  }
  if (image.width == 0 || image.height == 0 || image.width > static_cast<png_uint_32>(maxSide) ||
      image.height > static_cast<png_uint_32>(maxSide)) {
    error = "the PNG picture is " + std::to_string(image.width) + " x " +
            std::to_string(image.height) + " pixels, more than " + std::to_string(maxSide) +
            " a side";
    return false;
  }
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    error = std::string("decoding the PNG picture: ") + image.message;
    return false;
  }
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  picture.pixels = std::move(pixels);
  return true;
}

std::string EncodePng(const RgbaPicture& picture) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(picture.height);
  image.format = PNG_FORMAT_RGBA;
  ImageGuard guard{image};
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, picture.pixels.data(), 0, nullptr)) {
    return {};
  }
  std::string out(size, '\0');
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, picture.pixels.data(), 0, nullptr)) {
    return {};
  }
  out.resize(size);
  return out;
}

}  // namespace cirrodex
