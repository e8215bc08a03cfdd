// The in-memory picture of the weather maps and their icons: a device-independent bitmap in one
// heap block (header copy, palette, pixel rows bottom-up), cut, split into channels, recombined,
// drawn stretched onto a drawing context, and read and written as JPEG or BMP files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/drawing_context.h"

namespace cirrodex {

using platform::BitmapInfoHeader;
using platform::RgbQuad;

// The file format a picture is created, decoded or saved with. Other values are accepted by the
// file operations and refused there with "Unsupported operation for this format".
enum class ImageType : uint32_t { Bmp = 0, Jpeg = 1 };

enum class DpiAxis { Horizontal, Vertical };

class ByteStream;

// Pictures wider or higher than this, or holding more pixels than kMaxImagePixels, are refused
// by Create and by the JPEG decoder: a small file can claim a picture of many gigabytes.
inline constexpr int32_t kMaxImageSide = 16384;
inline constexpr int64_t kMaxImagePixels = 50'000'000;

// Last-error texts of the file layer.
inline constexpr char kUnsupportedFormatText[] = "Unsupported operation for this format";
inline constexpr char kJpegColorModelText[] = "JPEG can save only RGB or GreyScale images";

class ImageBuffer {
 public:
  explicit ImageBuffer(ImageType type = ImageType::Bmp);
  // Create()s a fresh image; it stays empty when that fails.
  ImageBuffer(int32_t width, int32_t height, uint32_t bitCount, ImageType type);
  // CopyFrom() on a fresh image with the source's type. Selection and alpha planes are never
  // used here, so their flags change nothing.
  ImageBuffer(const ImageBuffer& source, bool copyPixels, bool copySelection, bool copyAlpha);
  virtual ~ImageBuffer();

  ImageBuffer(const ImageBuffer&) = delete;
  ImageBuffer& operator=(const ImageBuffer&) = delete;

  // Replaces the content by an uninitialised picture. Bit counts above 8 become 24 (no palette),
  // 5..8 become 8 (256 entries), 2..4 become 4 (16), below 2 become 1 (2); the palette is zeroed.
  // Returns the new DIB block, or null when the size is not positive, larger than the limits
  // above, or memory runs out; the image is then empty.
  uint8_t* Create(int32_t width, int32_t height, uint32_t bitCount, ImageType type);
  // Frees the DIB unless it is borrowed; the image is empty afterwards.
  void Destroy();
  // Copies resolution, quality, transparency and flags, and the picture (pixels only when
  // `copyPixels`, otherwise just the palette).
  void CopyFrom(const ImageBuffer& source, bool copyPixels);
  // Moves `other`'s picture and fields into this image; `other` is left empty with defaults.
  void TakeOver(ImageBuffer& other);
  // Borrows `other`'s DIB without owning it; valid only while `other` lives and keeps it.
  void ShareFrom(const ImageBuffer& other);

  // Cuts the box into `destination` (this image when null). y counts from the top here; the
  // right and bottom edges are exclusive, edges outside the picture are pulled in, swapped edges
  // are ordered. False, with nothing changed, when the image is empty or the box is empty.
  bool Crop(int32_t left, int32_t top, int32_t right, int32_t bottom,
            ImageBuffer* destination = nullptr);
  bool Crop(const platform::Rect& rect, ImageBuffer* destination = nullptr);

  // Draws the picture stretched to width x height at (x, y); a width or height below 1 means the
  // picture's own. Renders the visible part into one temporary 24-bit bitmap and hands it to the
  // context with a single SetDIBitsToDevice. False when the image is empty or disabled, the
  // context is null, or the temporary bitmap cannot be allocated. `clip` is not used.
  bool Draw(platform::DrawingContext* dc, int32_t x, int32_t y, int32_t width, int32_t height,
            const platform::Rect* clip = nullptr) const;
  bool Draw(platform::DrawingContext* dc, const platform::Rect& rect,
            const platform::Rect* clip = nullptr) const;

  // Pixel coordinates count x from the left and y from the bottom row.
  uint8_t ReadPixelIndex(int32_t x, int32_t y) const;
  void WritePixelIndex(int32_t x, int32_t y, uint8_t index);
  RgbQuad ReadPixelColor(int32_t x, int32_t y) const;
  void WritePixelColor(int32_t x, int32_t y, RgbQuad color);
  // The palette entry nearest in squared RGB distance; ties keep the lower index.
  uint8_t NearestIndex(RgbQuad color) const;
  void SetGreyPalette();
  // Indexed, and entry i is (i, i, i) for every entry.
  bool IsGreyScale() const;
  void SetPaletteEntries(const RgbQuad* entries, uint32_t count);
  void SetDpi(DpiAxis axis, int32_t dotsPerInch);

  // Fills the asked-for planes (any may be null) with 8-bit grey images of one channel each.
  bool SplitChannels(ImageBuffer* red, ImageBuffer* green, ImageBuffer* blue) const;
  // Builds a 24-bit picture of the red plane's size from the indices of three planes; a point
  // outside a smaller green or blue plane reads as 0. False when a plane is null or this image,
  // or the red plane is empty.
  bool CombineChannels(const ImageBuffer* red, const ImageBuffer* green, const ImageBuffer* blue);

  // Files. Paths are handheld paths under the device folder. On failure the image keeps its
  // previous picture and LastError() says why (nothing when a file cannot be opened).
  bool LoadFile(std::wstring_view path, ImageType type);
  // Writes through a temporary file in the same folder that replaces `path` only when the whole
  // picture was written, so a failed save never damages or truncates an existing file.
  bool SaveFile(std::wstring_view path, ImageType type);
  bool DecodeMemory(const uint8_t* buffer, size_t size, ImageType type);
  bool DecodeFrom(ByteStream* file, ImageType type);
  bool EncodeTo(ByteStream* file, ImageType type);

  const uint8_t* Dib() const { return dib_; }
  uint8_t* Dib() { return dib_; }
  // First byte of the bottom row; null when empty.
  const uint8_t* Pixels() const { return pixels_; }
  uint8_t* Pixels() { return pixels_; }
  const RgbQuad* Palette() const;
  RgbQuad* Palette();
  int32_t Width() const { return header_.width; }
  int32_t Height() const { return header_.height; }
  uint32_t RowStride() const { return rowStride_; }
  uint32_t PaletteEntries() const { return header_.clrUsed; }
  uint32_t PaletteBytes() const { return header_.clrUsed * sizeof(RgbQuad); }
  uint16_t BitCount() const { return header_.bitCount; }
  ImageType Type() const { return type_; }
  const char* LastError() const { return lastError_; }
  // Keeps the first 255 bytes.
  void SetLastError(std::string_view text);
  uint8_t JpegQuality() const { return jpegQuality_; }
  void SetJpegQuality(uint8_t quality) { jpegQuality_ = quality; }
  int32_t XDpi() const { return xDpi_; }
  int32_t YDpi() const { return yDpi_; }
  int32_t TransparentIndex() const { return transparentIndex_; }
  void SetTransparentIndex(int32_t index) { transparentIndex_ = index; }
  void SetTransparentColor(RgbQuad color) { transparentColor_ = color; }
  bool HasTransparentIndex() const { return transparentIndex_ >= 0; }
  bool IsIndexed() const { return header_.clrUsed != 0; }
  BitmapInfoHeader Header() const { return header_; }
  bool IsValid() const { return dib_ != nullptr; }
  bool IsEnabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }

 private:
  void ResetFields();
  void CopyFieldsFrom(const ImageBuffer& source);
  // Takes `other`'s header, DIB pointer and fields; who owns the DIB is the caller's business.
  void PointAtPictureOf(const ImageBuffer& other);
  bool Inside(int32_t x, int32_t y) const {
    return x >= 0 && y >= 0 && x < header_.width && y < header_.height;
  }

  uint8_t* dib_ = nullptr;
  BitmapInfoHeader header_;
  uint32_t rowStride_ = 0;
  uint8_t* pixels_ = nullptr;
  const ImageBuffer* borrowedFrom_ = nullptr;
  ImageType type_ = ImageType::Bmp;
  char lastError_[256] = {};
  int32_t transparentIndex_ = -1;
  RgbQuad transparentColor_;
  uint8_t jpegQuality_ = 75;
  int32_t xDpi_ = 72;
  int32_t yDpi_ = 72;
  bool alphaPaletteEnabled_ = false;
  bool enabled_ = true;
  // Selection and alpha planes: carried for completeness, never set in this program.
  uint8_t* selection_ = nullptr;
  uint8_t* alpha_ = nullptr;
};

// Pixels per metre of a resolution in dots per inch (72 gives 2835).
int32_t DpiToPixelsPerMeter(int32_t dotsPerInch);

}  // namespace cirrodex
