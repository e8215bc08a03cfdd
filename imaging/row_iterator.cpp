#include "imaging/row_iterator.h"

#include <algorithm>
#include <cstring>

namespace cirrodex {

bool RowIterator::CopyIntoRow(const uint8_t* source, size_t bytes) const {
  uint8_t* row = Row();
  if (row == nullptr || source == nullptr) return false;
  std::memcpy(row, source, std::min<size_t>(bytes, stride_));
  return true;
}

}  // namespace cirrodex
