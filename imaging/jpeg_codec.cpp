// The one file that talks to libjpeg. libjpeg reports errors by calling an exit routine that must
// not return; ours longjmps back into DecodeSteps / EncodeSteps. Those two functions and every
// callback a jump can leave hold only trivially destructible objects, so the jump skips no
// destructor; everything with a destructor lives in their callers.
#include "imaging/jpeg_codec.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "imaging/row_iterator.h"

namespace cirrodex {

namespace {

constexpr size_t kBridgeBufferSize = 4096;

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  ImageBuffer* image;
};

ErrorManager* ErrorsOf(j_common_ptr cinfo) { return reinterpret_cast<ErrorManager*>(cinfo->err); }

[[noreturn]] void Fail(j_common_ptr cinfo, const char* text) {
  ErrorsOf(cinfo)->image->SetLastError(text);
  std::longjmp(ErrorsOf(cinfo)->jump, 1);
}

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  Fail(cinfo, text);
}

// Warnings go to the last-error text instead of stderr.
void OutputMessage(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  ErrorsOf(cinfo)->image->SetLastError(text);
}

void InstallErrorManager(j_common_ptr cinfo, ErrorManager* errors, ImageBuffer* image) {
  cinfo->err = jpeg_std_error(&errors->pub);
  errors->pub.error_exit = ErrorExit;
  errors->pub.output_message = OutputMessage;
  errors->image = image;
}

// Called by libjpeg once per row of blocks while it takes in a multi-scan file.
void WatchScans(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans) {
    char text[96];
    std::snprintf(text, sizeof text, "JPEG file has more than %d scans", kMaxJpegScans);
    Fail(cinfo, text);
  }
}

}  // namespace

// A libjpeg source and destination manager in one, over a ByteStream. Found from the callbacks
// through the codec struct's client_data.
class JpegFileBridge {
 public:
  explicit JpegFileBridge(ByteStream* file)
      : file_(file), buffer_(static_cast<JOCTET*>(std::malloc(kBridgeBufferSize))) {
    source_.init_source = InitSource;
    source_.fill_input_buffer = FillInputBuffer;
    source_.skip_input_data = SkipInputData;
    source_.resync_to_restart = jpeg_resync_to_restart;
    source_.term_source = TermSource;
    source_.next_input_byte = nullptr;
    source_.bytes_in_buffer = 0;
    destination_.init_destination = InitDestination;
    destination_.empty_output_buffer = EmptyOutputBuffer;
    destination_.term_destination = TermDestination;
    destination_.next_output_byte = nullptr;
    destination_.free_in_buffer = 0;
  }
  ~JpegFileBridge() { std::free(buffer_); }
  JpegFileBridge(const JpegFileBridge&) = delete;
  JpegFileBridge& operator=(const JpegFileBridge&) = delete;

  bool HasBuffer() const { return buffer_ != nullptr; }

  void AttachTo(j_decompress_ptr cinfo) {
    cinfo->client_data = this;
    cinfo->src = &source_;
  }
  void AttachTo(j_compress_ptr cinfo) {
    cinfo->client_data = this;
    cinfo->dest = &destination_;
  }

 private:
  static JpegFileBridge* Of(j_decompress_ptr cinfo) {
    return static_cast<JpegFileBridge*>(cinfo->client_data);
  }
  static JpegFileBridge* Of(j_compress_ptr cinfo) {
    return static_cast<JpegFileBridge*>(cinfo->client_data);
  }

  static void InitSource(j_decompress_ptr cinfo) {
    Of(cinfo)->startOfFile_ = true;
    Of(cinfo)->endOfFile_ = false;
  }

  static boolean FillInputBuffer(j_decompress_ptr cinfo) {
    JpegFileBridge* self = Of(cinfo);
    size_t count = self->file_->Read(self->buffer_, 1, kBridgeBufferSize);
    if (count == 0) {
      if (self->startOfFile_) ERREXIT(cinfo, JERR_INPUT_EMPTY);
      WARNMS(cinfo, JWRN_JPEG_EOF);
      // An end-of-image marker lets libjpeg finish the picture with what it has.
      self->buffer_[0] = 0xFF;
      self->buffer_[1] = JPEG_EOI;
      count = 2;
      self->endOfFile_ = true;
    }
    self->source_.next_input_byte = self->buffer_;
    self->source_.bytes_in_buffer = count;
    self->startOfFile_ = false;
    return TRUE;
  }

  static void SkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    JpegFileBridge* self = Of(cinfo);
    jpeg_source_mgr& source = self->source_;
    while (count > static_cast<long>(source.bytes_in_buffer)) {
      count -= static_cast<long>(source.bytes_in_buffer);
      FillInputBuffer(cinfo);
      // Past the end only the inserted end marker remains; skipping on would loop over it.
      if (self->endOfFile_) return;
    }
    source.next_input_byte += count;
    source.bytes_in_buffer -= static_cast<size_t>(count);
  }

  static void TermSource(j_decompress_ptr) {}

  static void InitDestination(j_compress_ptr cinfo) {
    JpegFileBridge* self = Of(cinfo);
    self->destination_.next_output_byte = self->buffer_;
    self->destination_.free_in_buffer = kBridgeBufferSize;
  }

  static boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    JpegFileBridge* self = Of(cinfo);
    if (self->file_->Write(self->buffer_, 1, kBridgeBufferSize) != kBridgeBufferSize) {
      ERREXIT(cinfo, JERR_FILE_WRITE);
    }
    self->destination_.next_output_byte = self->buffer_;
    self->destination_.free_in_buffer = kBridgeBufferSize;
    return TRUE;
  }

  static void TermDestination(j_compress_ptr cinfo) {
    JpegFileBridge* self = Of(cinfo);
    const size_t count = kBridgeBufferSize - self->destination_.free_in_buffer;
    if (count > 0 && self->file_->Write(self->buffer_, 1, count) != count) {
      ERREXIT(cinfo, JERR_FILE_WRITE);
    }
    self->file_->Flush();
    if (self->file_->Error() != 0) ERREXIT(cinfo, JERR_FILE_WRITE);
  }

  jpeg_source_mgr source_;
  jpeg_destination_mgr destination_;
  ByteStream* file_;
  JOCTET* buffer_;
  bool startOfFile_ = true;
  bool endOfFile_ = false;
};

namespace {

struct DecodeState {
  jpeg_decompress_struct cinfo;
  ErrorManager errors;
  jpeg_progress_mgr progress;
};

struct EncodeState {
  jpeg_compress_struct cinfo;
  ErrorManager errors;
};

// libjpeg jumps back into this function on any error: nothing here may have a destructor.
bool DecodeSteps(DecodeState* state, JpegFileBridge* bridge, JpegCodec* image) {
  j_decompress_ptr cinfo = &state->cinfo;
  InstallErrorManager(reinterpret_cast<j_common_ptr>(cinfo), &state->errors, image);
  if (setjmp(state->errors.jump) != 0) {
    jpeg_destroy_decompress(cinfo);
    return false;
  }
  jpeg_create_decompress(cinfo);
  state->progress.progress_monitor = WatchScans;
  cinfo->progress = &state->progress;
  bridge->AttachTo(cinfo);
  jpeg_read_header(cinfo, TRUE);

  if (cinfo->image_width > static_cast<JDIMENSION>(kMaxImageSide) ||
      cinfo->image_height > static_cast<JDIMENSION>(kMaxImageSide) ||
      static_cast<int64_t>(cinfo->image_width) * cinfo->image_height > kMaxImagePixels) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "JPEG picture of %u x %u pixels is too large (at most %d on a side and %lld "
                  "in all)",
                  static_cast<unsigned>(cinfo->image_width),
                  static_cast<unsigned>(cinfo->image_height), kMaxImageSide,
                  static_cast<long long>(kMaxImagePixels));
    Fail(reinterpret_cast<j_common_ptr>(cinfo), text);
  }

  // Colour pictures come straight out in the picture's own order: blue, green, red.
  if (cinfo->num_components == 3 && cinfo->out_color_space == JCS_RGB) {
    cinfo->out_color_space = JCS_EXT_BGR;
  }
  jpeg_start_decompress(cinfo);
  const int components = cinfo->output_components;
  if (components != 1 && components != 3 && components != 4) {
    char text[96];
    std::snprintf(text, sizeof text, "JPEG file has %d colour components; 1, 3 or 4 are read",
                  components);
    Fail(reinterpret_cast<j_common_ptr>(cinfo), text);
  }
  if (image->Create(static_cast<int32_t>(cinfo->output_width),
                    static_cast<int32_t>(cinfo->output_height),
                    static_cast<uint32_t>(8 * components), ImageType::Jpeg) == nullptr) {
    Fail(reinterpret_cast<j_common_ptr>(cinfo), "Out of memory for the JPEG picture");
  }

  int32_t xDpi = cinfo->X_density;
  int32_t yDpi = cinfo->Y_density;
  if (cinfo->density_unit == 2) {
    xDpi = xDpi * 254 / 100;
    yDpi = yDpi * 254 / 100;
  }
  image->SetDpi(DpiAxis::Horizontal, xDpi);
  image->SetDpi(DpiAxis::Vertical, yDpi);
  if (components == 1) image->SetGreyPalette();

  const JDIMENSION width = cinfo->output_width;
  JSAMPARRAY buffer = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo),
                                                  JPOOL_IMAGE, width * components, 1);
  RowIterator rows(image);
  const bool direct = cinfo->out_color_space == JCS_EXT_BGR;
  while (cinfo->output_scanline < cinfo->output_height) {
    uint8_t* out = rows.Row();
    if (out == nullptr) break;
    if (direct) {
      JSAMPROW row = out;
      if (jpeg_read_scanlines(cinfo, &row, 1) != 1) break;
      rows.StepDown();
      continue;
    }
    if (jpeg_read_scanlines(cinfo, buffer, 1) != 1) break;
    const JSAMPLE* in = buffer[0];
    if (components == 1) {
      rows.CopyIntoRow(in, width);
    } else if (components == 3) {
      // libjpeg delivers red, green, blue; the picture stores blue, green, red.
      for (JDIMENSION x = 0; x < width; ++x, in += 3, out += 3) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
      }
    } else {
      for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
        const unsigned k = in[3];
        out[0] = static_cast<uint8_t>(k * in[2] / 255);
        out[1] = static_cast<uint8_t>(k * in[1] / 255);
        out[2] = static_cast<uint8_t>(k * in[0] / 255);
      }
    }
    rows.StepDown();
  }
  jpeg_finish_decompress(cinfo);
  jpeg_destroy_decompress(cinfo);
  return true;
}

// As DecodeSteps: the error exit jumps back here, so nothing here may have a destructor.
bool EncodeSteps(EncodeState* state, JpegFileBridge* bridge, JpegCodec* image) {
  j_compress_ptr cinfo = &state->cinfo;
  InstallErrorManager(reinterpret_cast<j_common_ptr>(cinfo), &state->errors, image);
  if (setjmp(state->errors.jump) != 0) {
    jpeg_destroy_compress(cinfo);
    return false;
  }
  jpeg_create_compress(cinfo);
  bridge->AttachTo(cinfo);

  const bool grey = image->IsIndexed();
  cinfo->image_width = static_cast<JDIMENSION>(image->Width());
  cinfo->image_height = static_cast<JDIMENSION>(image->Height());
  cinfo->input_components = grey ? 1 : 3;
  // The picture's rows go in as they are: blue, green, red (libjpeg-turbo's extended space).
  cinfo->in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, image->JpegQuality(), TRUE);
  cinfo->density_unit = 1;
  cinfo->X_density = static_cast<UINT16>(std::clamp(image->XDpi(), 0, 65535));
  cinfo->Y_density = static_cast<UINT16>(std::clamp(image->YDpi(), 0, 65535));
  jpeg_start_compress(cinfo, TRUE);

  const uint32_t stride = image->RowStride();
  JSAMPARRAY buffer = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo),
                                                  JPOOL_IMAGE, stride + 8, 1);
  RowIterator rows(image);
  while (cinfo->next_scanline < cinfo->image_height) {
    const uint8_t* in = rows.Row();
    if (in == nullptr) break;
    // Copied, since libjpeg's rows are not const.
    std::memcpy(buffer[0], in, grey ? stride : static_cast<uint32_t>(image->Width()) * 3);
    jpeg_write_scanlines(cinfo, buffer, 1);
    rows.StepDown();
  }
  jpeg_finish_compress(cinfo);
  jpeg_destroy_compress(cinfo);
  return true;
}

}  // namespace

bool JpegCodec::Decode(ByteStream* file) {
  if (file == nullptr) {
    SetLastError("No stream to read the JPEG file from");
    return false;
  }
  JpegFileBridge bridge(file);
  if (!bridge.HasBuffer()) {
    SetLastError("Out of memory for the JPEG reader");
    return false;
  }
  DecodeState state{};
  return DecodeSteps(&state, &bridge, this);
}

bool JpegCodec::Encode(ByteStream* file) {
  if (file == nullptr) {
    SetLastError("No stream to write the JPEG file to");
    return false;
  }
  if (!IsValid()) {
    SetLastError("No picture to write");
    return false;
  }
  // Only 8-bit greyscale rows have one byte per sample, as libjpeg reads them.
  if (IsIndexed() && (!IsGreyScale() || BitCount() != 8)) {
    SetLastError(kJpegColorModelText);
    return false;
  }
  JpegFileBridge bridge(file);
  if (!bridge.HasBuffer()) {
    SetLastError("Out of memory for the JPEG writer");
    return false;
  }
  EncodeState state{};
  return EncodeSteps(&state, &bridge, this);
}

}  // namespace cirrodex
