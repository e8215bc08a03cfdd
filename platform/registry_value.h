// Value data as the registry holds them, and the values a reader gets back through the platform's
// 2048-byte query buffer: what every part that reads or writes the registry agrees on.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry_store.h"

namespace cirrodex::platform {

// The platform queries every value into a buffer of this many bytes; larger values fail.
inline constexpr size_t kQueryBufferBytes = 2048;

// A text as stored: UTF-16LE up to its first NUL, then the terminator.
std::vector<uint8_t> StringBytes(std::wstring_view text);
// A REG_DWORD as stored: 4 bytes, little-endian.
std::array<uint8_t, 4> DwordBytes(uint32_t value);

// The text of a REG_SZ of at most kQueryBufferBytes, up to its first NUL (or its end when it was
// stored without one); false for any other value, `out` unchanged.
bool StringOf(const RegistryStore::Value& value, std::wstring& out);
// The number of a REG_DWORD of at most kQueryBufferBytes (a shorter one reads with zeros above
// it); false for any other value, `out` unchanged.
bool DwordOf(const RegistryStore::Value& value, uint32_t& out);

}  // namespace cirrodex::platform
