#include "platform/registry_value.h"

#include "platform/text.h"

namespace cirrodex::platform {

std::vector<uint8_t> StringBytes(std::wstring_view text) {
  text = text.substr(0, text.find(L'\0'));
  std::u16string units = ToUtf16(text);
  std::vector<uint8_t> bytes((units.size() + 1) * 2, 0);
  for (size_t i = 0; i < units.size(); ++i) {
    bytes[2 * i] = static_cast<uint8_t>(units[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>(units[i] >> 8);
  }
  return bytes;
}

std::array<uint8_t, 4> DwordBytes(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

bool StringOf(const RegistryStore::Value& value, std::wstring& out) {
  if (value.type != REG_SZ || value.data.size() > kQueryBufferBytes) return false;
  // The value is copied into a zero-filled text, so it ends at its first NUL.
  std::u16string units;
  units.reserve(value.data.size() / 2);
  for (size_t i = 0; i + 1 < value.data.size(); i += 2) {
    const auto unit = static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8));
    if (unit == 0) break;
    units += unit;
  }
  out = FromUtf16(units);
  return true;
}

bool DwordOf(const RegistryStore::Value& value, uint32_t& out) {
  if (value.type != REG_DWORD || value.data.size() > kQueryBufferBytes) return false;
  // The first 32 bits of a zeroed buffer.
  uint32_t number = 0;
  for (size_t i = 0; i < 4 && i < value.data.size(); ++i) {
    number |= static_cast<uint32_t>(value.data[i]) << (8 * i);
  }
  out = number;
  return true;
}

}  // namespace cirrodex::platform
