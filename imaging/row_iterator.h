// Walks the stored rows of a picture from its top row down, as the codecs read and write them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/image_buffer.h"

namespace cirrodex {

class RowIterator {
 public:
  // Starts at the top row; an empty image has no current row.
  explicit RowIterator(ImageBuffer* image)
      : base_(image->Pixels()), stride_(image->RowStride()), row_(image->Height() - 1) {}

  // The current row, or null once the walk has passed the bottom row.
  uint8_t* Row() const {
    return base_ != nullptr && row_ >= 0 ? base_ + static_cast<size_t>(row_) * stride_ : nullptr;
  }
  // Copies `bytes` (cut to the row stride) into the current row; false when there is none.
  bool CopyIntoRow(const uint8_t* source, size_t bytes) const;
  // False when there was no row left to step to.
  bool StepDown() {
    if (row_ < 0) return false;
    --row_;
    return row_ >= 0;
  }

 private:
  uint8_t* base_;
  uint32_t stride_;
  int32_t row_;
};

}  // namespace cirrodex
