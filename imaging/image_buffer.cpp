#include "imaging/image_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace cirrodex {

namespace {

constexpr uint32_t kHeaderBytes = sizeof(BitmapInfoHeader);
// Far beyond any screen; keeps the temporary bitmap of a draw from overflowing its size.
constexpr uint64_t kMaxDrawPixels = uint64_t{1} << 26;

uint64_t StrideOf(uint64_t width, uint32_t bitCount) { return ((width * bitCount + 31) / 32) * 4; }

}  // namespace

int32_t DpiToPixelsPerMeter(int32_t dotsPerInch) {
  return static_cast<int32_t>(std::floor(dotsPerInch * 10000.0 / 254.0 + 0.5));
}

ImageBuffer::ImageBuffer(ImageType type) : type_(type) { ResetFields(); }

ImageBuffer::ImageBuffer(int32_t width, int32_t height, uint32_t bitCount, ImageType type)
    : type_(type) {
  ResetFields();
  Create(width, height, bitCount, type);
}

ImageBuffer::ImageBuffer(const ImageBuffer& source, bool copyPixels, bool /*copySelection*/,
                         bool /*copyAlpha*/)
    : type_(source.type_) {
  ResetFields();
  CopyFrom(source, copyPixels);
}

ImageBuffer::~ImageBuffer() { Destroy(); }

void ImageBuffer::ResetFields() {
  header_ = BitmapInfoHeader{};
  header_.xPelsPerMeter = DpiToPixelsPerMeter(72);
  header_.yPelsPerMeter = DpiToPixelsPerMeter(72);
  rowStride_ = 0;
  pixels_ = nullptr;
  borrowedFrom_ = nullptr;
  lastError_[0] = '\0';
  transparentIndex_ = -1;
  transparentColor_ = RgbQuad{};
  jpegQuality_ = 75;
  xDpi_ = 72;
  yDpi_ = 72;
  alphaPaletteEnabled_ = false;
  enabled_ = true;
  selection_ = nullptr;
  alpha_ = nullptr;
}

void ImageBuffer::CopyFieldsFrom(const ImageBuffer& source) {
  header_.xPelsPerMeter = source.header_.xPelsPerMeter;
  header_.yPelsPerMeter = source.header_.yPelsPerMeter;
  transparentIndex_ = source.transparentIndex_;
  transparentColor_ = source.transparentColor_;
  jpegQuality_ = source.jpegQuality_;
  xDpi_ = source.xDpi_;
  yDpi_ = source.yDpi_;
  alphaPaletteEnabled_ = source.alphaPaletteEnabled_;
  enabled_ = source.enabled_;
}

void ImageBuffer::SetLastError(std::string_view text) {
  size_t n = std::min(text.size(), sizeof(lastError_) - 1);
  std::memcpy(lastError_, text.data(), n);
  lastError_[n] = '\0';
}

const RgbQuad* ImageBuffer::Palette() const {
  return dib_ ? reinterpret_cast<const RgbQuad*>(dib_ + kHeaderBytes) : nullptr;
}

RgbQuad* ImageBuffer::Palette() {
  return dib_ ? reinterpret_cast<RgbQuad*>(dib_ + kHeaderBytes) : nullptr;
}

uint8_t* ImageBuffer::Create(int32_t width, int32_t height, uint32_t bitCount, ImageType type) {
  Destroy();
  uint32_t colors;
  if (bitCount > 8) {
    bitCount = 24;
    colors = 0;
  } else if (bitCount > 4) {
    bitCount = 8;
    colors = 256;
  } else if (bitCount > 1) {
    bitCount = 4;
    colors = 16;
  } else {
    bitCount = 1;
    colors = 2;
  }
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide ||
      int64_t{width} * height > kMaxImagePixels) {
    return nullptr;
  }
  const uint64_t stride = StrideOf(static_cast<uint64_t>(width), bitCount);
  const uint64_t imageSize = stride * static_cast<uint64_t>(height);
  const uint64_t paletteBytes = uint64_t{colors} * sizeof(RgbQuad);
  const uint64_t total = kHeaderBytes + paletteBytes + imageSize;
  if (imageSize > UINT32_MAX || total > SIZE_MAX) return nullptr;

  auto* block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(total)));
  if (block == nullptr) return nullptr;

  header_.size = kHeaderBytes;
  header_.width = width;
  header_.height = height;
  header_.planes = 1;
  header_.bitCount = static_cast<uint16_t>(bitCount);
  header_.compression = 0;
  header_.sizeImage = static_cast<uint32_t>(imageSize);
  header_.clrUsed = colors;
  header_.clrImportant = 0;
  rowStride_ = static_cast<uint32_t>(stride);
  type_ = type;

  dib_ = block;
  borrowedFrom_ = nullptr;
  std::memcpy(dib_, &header_, kHeaderBytes);
  std::memset(dib_ + kHeaderBytes, 0, static_cast<size_t>(paletteBytes));
  pixels_ = dib_ + kHeaderBytes + paletteBytes;
  return dib_;
}

void ImageBuffer::Destroy() {
  if (dib_ != nullptr && borrowedFrom_ == nullptr) std::free(dib_);
  dib_ = nullptr;
  pixels_ = nullptr;
  borrowedFrom_ = nullptr;
  rowStride_ = 0;
  // Resolution stays; the picture's shape goes with its pixels.
  header_.width = 0;
  header_.height = 0;
  header_.bitCount = 0;
  header_.sizeImage = 0;
  header_.clrUsed = 0;
}

void ImageBuffer::CopyFrom(const ImageBuffer& source, bool copyPixels) {
  if (&source == this) return;
  CopyFieldsFrom(source);
  if (source.dib_ == nullptr) {
    Destroy();
    return;
  }
  if (Create(source.Width(), source.Height(), source.BitCount(), source.type_) == nullptr) return;
  if (copyPixels) {
    std::memcpy(dib_, source.dib_, kHeaderBytes + PaletteBytes() + header_.sizeImage);
    std::memcpy(dib_, &header_, kHeaderBytes);
  } else {
    std::memcpy(Palette(), source.Palette(), std::min(PaletteBytes(), source.PaletteBytes()));
  }
}

void ImageBuffer::TakeOver(ImageBuffer& other) {
  if (&other == this) return;
  Destroy();
  PointAtPictureOf(other);
  borrowedFrom_ = other.borrowedFrom_;
  std::memcpy(lastError_, other.lastError_, sizeof(lastError_));
  selection_ = other.selection_;
  alpha_ = other.alpha_;

  other.dib_ = nullptr;
  other.ResetFields();
}

void ImageBuffer::ShareFrom(const ImageBuffer& other) {
  if (&other == this) return;
  Destroy();
  PointAtPictureOf(other);
  borrowedFrom_ = &other;
}

void ImageBuffer::PointAtPictureOf(const ImageBuffer& other) {
  header_ = other.header_;
  rowStride_ = other.rowStride_;
  dib_ = other.dib_;
  pixels_ = other.pixels_;
  type_ = other.type_;
  CopyFieldsFrom(other);
}

bool ImageBuffer::Crop(int32_t left, int32_t top, int32_t right, int32_t bottom,
                       ImageBuffer* destination) {
  if (dib_ == nullptr) return false;
  const int32_t width = header_.width;
  const int32_t height = header_.height;
  left = std::clamp(left, 0, width);
  right = std::clamp(right, 0, width);
  top = std::clamp(top, 0, height);
  bottom = std::clamp(bottom, 0, height);
  if (left == right || top == bottom) return false;
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);

  const int32_t cutWidth = right - left;
  const int32_t cutHeight = bottom - top;
  // Stored rows run bottom-up: the box's bottom edge is the first stored row taken.
  const int32_t firstRow = height - bottom;

  ImageBuffer cut(type_);
  if (cut.Create(cutWidth, cutHeight, header_.bitCount, type_) == nullptr) return false;
  std::memcpy(cut.Palette(), Palette(), std::min(PaletteBytes(), cut.PaletteBytes()));
  cut.transparentIndex_ = transparentIndex_;
  cut.transparentColor_ = transparentColor_;

  if (header_.bitCount == 24 || header_.bitCount == 8) {
    const size_t bytesPerPixel = header_.bitCount / 8;
    const size_t rowBytes = static_cast<size_t>(cutWidth) * bytesPerPixel;
    for (int32_t j = 0; j < cutHeight; ++j) {
      const uint8_t* from = pixels_ + static_cast<size_t>(firstRow + j) * rowStride_ +
                            static_cast<size_t>(left) * bytesPerPixel;
      std::memcpy(cut.pixels_ + static_cast<size_t>(j) * cut.rowStride_, from, rowBytes);
    }
  } else {
    for (int32_t j = 0; j < cutHeight; ++j) {
      for (int32_t i = 0; i < cutWidth; ++i) {
        cut.WritePixelIndex(i, j, ReadPixelIndex(left + i, firstRow + j));
      }
    }
  }

  (destination != nullptr ? destination : this)->TakeOver(cut);
  return true;
}

bool ImageBuffer::Crop(const platform::Rect& rect, ImageBuffer* destination) {
  return Crop(rect.left, rect.top, rect.right, rect.bottom, destination);
}

bool ImageBuffer::Draw(platform::DrawingContext* dc, int32_t x, int32_t y, int32_t width,
                       int32_t height, const platform::Rect* /*clip*/) const {
  if (dib_ == nullptr || dc == nullptr || !enabled_) return false;
  if (width < 1) width = header_.width;
  if (height < 1) height = header_.height;

  const platform::Rect box = dc->GetClipBox();
  const int64_t destRight = int64_t{x} + width;
  const int64_t destBottom = int64_t{y} + height;
  const int64_t left = std::min<int64_t>(std::max<int64_t>(box.left, x), box.right);
  const int64_t right = std::max<int64_t>(std::min<int64_t>(destRight, box.right), box.left);
  const int64_t top = std::min<int64_t>(std::max<int64_t>(box.top, y), box.bottom);
  const int64_t bottom = std::max<int64_t>(std::min<int64_t>(destBottom, box.bottom), box.top);
  if (right <= left || bottom <= top) return true;  // nothing of it is visible

  const uint64_t visibleWidth = static_cast<uint64_t>(right - left);
  const uint64_t visibleHeight = static_cast<uint64_t>(bottom - top);
  if (visibleWidth * visibleHeight > kMaxDrawPixels) return false;
  const uint64_t stride = StrideOf(visibleWidth, 24);
  const size_t bitsSize = static_cast<size_t>(stride * visibleHeight);
  std::unique_ptr<uint8_t[]> bits(new (std::nothrow) uint8_t[bitsSize]);
  if (!bits) return false;

  const int32_t imageWidth = header_.width;
  const int32_t imageHeight = header_.height;
  const float fx = static_cast<float>(imageWidth) / static_cast<float>(width);
  const float fy = static_cast<float>(imageHeight) / static_cast<float>(height);

  std::vector<int32_t> columns(visibleWidth);
  for (uint64_t i = 0; i < visibleWidth; ++i) {
    const float product = static_cast<float>(left + static_cast<int64_t>(i) - x) * fx;
    const auto column = static_cast<int64_t>(std::floor(static_cast<double>(product)));
    columns[i] = static_cast<int32_t>(std::clamp<int64_t>(column, 0, imageWidth - 1));
  }

  const RgbQuad* palette = Palette();
  const uint32_t paletteEntries = header_.clrUsed;
  for (uint64_t j = 0; j < visibleHeight; ++j) {
    const int64_t n = top + static_cast<int64_t>(j) - y + 1;
    const float product = static_cast<float>(n) * fy;
    const auto fromTop = static_cast<int64_t>(std::ceil(static_cast<double>(product))) - 1;
    const int32_t sourceRow =
        imageHeight - 1 - static_cast<int32_t>(std::clamp<int64_t>(fromTop, 0, imageHeight - 1));
    const uint8_t* source = pixels_ + static_cast<size_t>(sourceRow) * rowStride_;
    uint8_t* out = bits.get() + (visibleHeight - 1 - j) * stride;

    if (header_.bitCount == 24) {
      for (uint64_t i = 0; i < visibleWidth; ++i) {
        const uint8_t* pixel = source + static_cast<size_t>(columns[i]) * 3;
        out[0] = pixel[0];
        out[1] = pixel[1];
        out[2] = pixel[2];
        out += 3;
      }
    } else {
      for (uint64_t i = 0; i < visibleWidth; ++i) {
        const uint8_t index =
            header_.bitCount == 8 ? source[columns[i]] : ReadPixelIndex(columns[i], sourceRow);
        const RgbQuad color = index < paletteEntries ? palette[index] : RgbQuad{};
        out[0] = color.blue;
        out[1] = color.green;
        out[2] = color.red;
        out += 3;
      }
    }
  }

  BitmapInfoHeader header;
  header.width = static_cast<int32_t>(visibleWidth);
  header.height = static_cast<int32_t>(visibleHeight);
  header.bitCount = 24;
  header.sizeImage = static_cast<uint32_t>(bitsSize);
  dc->SetDIBitsToDevice(static_cast<int>(left), static_cast<int>(top), header.width, header.height,
                        bits.get(), header);
  return true;
}

bool ImageBuffer::Draw(platform::DrawingContext* dc, const platform::Rect& rect,
                       const platform::Rect* clip) const {
  return Draw(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, clip);
}

uint8_t ImageBuffer::ReadPixelIndex(int32_t x, int32_t y) const {
  if (dib_ == nullptr || header_.clrUsed == 0) return 0;
  if (!Inside(x, y)) return transparentIndex_ != -1 ? static_cast<uint8_t>(transparentIndex_) : 0;
  const uint8_t* row = pixels_ + static_cast<size_t>(y) * rowStride_;
  switch (header_.bitCount) {
    case 8:
      return row[x];
    case 4:
      return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1;
    default:
      return 0;
  }
}

void ImageBuffer::WritePixelIndex(int32_t x, int32_t y, uint8_t index) {
  if (dib_ == nullptr || header_.clrUsed == 0 || !Inside(x, y)) return;
  uint8_t* row = pixels_ + static_cast<size_t>(y) * rowStride_;
  switch (header_.bitCount) {
    case 8:
      row[x] = index;
      break;
    case 4: {
      uint8_t& byte = row[x >> 1];
      byte = (x & 1) ? static_cast<uint8_t>((byte & 0xF0) | (index & 0x0F))
                     : static_cast<uint8_t>((byte & 0x0F) | ((index & 0x0F) << 4));
      break;
    }
    case 1: {
      const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
      uint8_t& byte = row[x >> 3];
      byte = (index & 1) ? (byte | mask) : (byte & ~mask);
      break;
    }
    default:
      break;
  }
}

RgbQuad ImageBuffer::ReadPixelColor(int32_t x, int32_t y) const {
  if (dib_ == nullptr || !Inside(x, y)) {
    if (dib_ != nullptr && transparentIndex_ >= 0 && header_.clrUsed != 0 &&
        static_cast<uint32_t>(transparentIndex_ & 0xFF) < header_.clrUsed) {
      return Palette()[transparentIndex_ & 0xFF];
    }
    return transparentColor_;
  }
  if (header_.clrUsed != 0) {
    const uint8_t index = ReadPixelIndex(x, y);
    return index < header_.clrUsed ? Palette()[index] : RgbQuad{};
  }
  const uint8_t* pixel = pixels_ + static_cast<size_t>(y) * rowStride_ + static_cast<size_t>(x) * 3;
  return RgbQuad{pixel[0], pixel[1], pixel[2], 0};
}

void ImageBuffer::WritePixelColor(int32_t x, int32_t y, RgbQuad color) {
  if (dib_ == nullptr || !Inside(x, y)) return;
  if (header_.clrUsed != 0) {
    WritePixelIndex(x, y, NearestIndex(color));
    return;
  }
  uint8_t* pixel = pixels_ + static_cast<size_t>(y) * rowStride_ + static_cast<size_t>(x) * 3;
  pixel[0] = color.blue;
  pixel[1] = color.green;
  pixel[2] = color.red;
}

uint8_t ImageBuffer::NearestIndex(RgbQuad color) const {
  if (dib_ == nullptr || header_.clrUsed == 0) return 0;
  const RgbQuad* palette = Palette();
  int64_t best = 200000;
  uint32_t bestIndex = 0;
  for (uint32_t i = 0; i < header_.clrUsed; ++i) {
    const int64_t db = int64_t{palette[i].blue} - color.blue;
    const int64_t dg = int64_t{palette[i].green} - color.green;
    const int64_t dr = int64_t{palette[i].red} - color.red;
    const int64_t distance = db * db + dg * dg + dr * dr;
    if (distance == 0) return static_cast<uint8_t>(i);
    if (distance < best) {
      best = distance;
      bestIndex = i;
    }
  }
  return static_cast<uint8_t>(bestIndex);
}

void ImageBuffer::SetGreyPalette() {
  if (dib_ == nullptr || header_.clrUsed == 0) return;
  const uint32_t count = header_.clrUsed;
  const uint32_t step = count > 1 ? 255u / (count - 1) : 0;
  RgbQuad* palette = Palette();
  for (uint32_t i = 0; i < count; ++i) {
    const auto level = static_cast<uint8_t>(i * step);
    palette[i] = RgbQuad{level, level, level, 0};
  }
}

bool ImageBuffer::IsGreyScale() const {
  if (dib_ == nullptr || header_.clrUsed == 0) return false;
  const RgbQuad* palette = Palette();
  for (uint32_t i = 0; i < header_.clrUsed; ++i) {
    if (palette[i].blue != i || palette[i].green != i || palette[i].red != i) return false;
  }
  return true;
}

void ImageBuffer::SetPaletteEntries(const RgbQuad* entries, uint32_t count) {
  if (dib_ == nullptr || header_.clrUsed == 0 || entries == nullptr) return;
  const uint64_t bytes = std::min<uint64_t>(uint64_t{count} * sizeof(RgbQuad), PaletteBytes());
  std::memcpy(Palette(), entries, static_cast<size_t>(bytes));
}

void ImageBuffer::SetDpi(DpiAxis axis, int32_t dotsPerInch) {
  if (axis == DpiAxis::Horizontal) {
    xDpi_ = dotsPerInch;
    header_.xPelsPerMeter = DpiToPixelsPerMeter(dotsPerInch);
  } else {
    yDpi_ = dotsPerInch;
    header_.yPelsPerMeter = DpiToPixelsPerMeter(dotsPerInch);
  }
}

bool ImageBuffer::SplitChannels(ImageBuffer* red, ImageBuffer* green, ImageBuffer* blue) const {
  if (dib_ == nullptr || (red == nullptr && green == nullptr && blue == nullptr)) return false;
  const int32_t width = header_.width;
  const int32_t height = header_.height;
  ImageBuffer planes[3] = {ImageBuffer(type_), ImageBuffer(type_), ImageBuffer(type_)};
  ImageBuffer* targets[3] = {red, green, blue};
  for (int p = 0; p < 3; ++p) {
    if (targets[p] != nullptr && planes[p].Create(width, height, 8, type_) == nullptr) {
      return false;
    }
  }
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const RgbQuad color = ReadPixelColor(x, y);
      if (red != nullptr) planes[0].WritePixelIndex(x, y, color.red);
      if (green != nullptr) planes[1].WritePixelIndex(x, y, color.green);
      if (blue != nullptr) planes[2].WritePixelIndex(x, y, color.blue);
    }
  }
  for (int p = 0; p < 3; ++p) {
    if (targets[p] == nullptr) continue;
    planes[p].SetGreyPalette();
    targets[p]->TakeOver(planes[p]);
  }
  return true;
}

bool ImageBuffer::CombineChannels(const ImageBuffer* red, const ImageBuffer* green,
                                  const ImageBuffer* blue) {
  if (red == nullptr || green == nullptr || blue == nullptr) return false;
  // Create would free a plane that is this very image before reading it.
  if (red == this || green == this || blue == this) return false;
  if (Create(red->Width(), red->Height(), 24, ImageType::Bmp) == nullptr) return false;
  const int32_t width = header_.width;
  const int32_t height = header_.height;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      WritePixelColor(x, y,
                      RgbQuad{blue->ReadPixelIndex(x, y), green->ReadPixelIndex(x, y),
                              red->ReadPixelIndex(x, y), 0});
    }
  }
  return true;
}

}  // namespace cirrodex
