#include "core/registry_ops.h"

#include <array>
#include <cstring>
#include <vector>

#include "platform/text.h"

namespace cirrodex {

using platform::Registry;

namespace {

// The platform queries every value into a buffer of this many bytes; larger values fail.
constexpr size_t kQueryBufferBytes = 2048;
// WriteString refuses texts of this many characters or more.
constexpr size_t kWriteStringLimit = 2048;

// A text as the registry stores it: UTF-16LE up to the first NUL, then the terminator.
std::vector<uint8_t> StringBytes(std::wstring_view text) {
  text = text.substr(0, text.find(L'\0'));
  std::u16string units = platform::ToUtf16(text);
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

bool Query(RootKey root, std::wstring_view path, std::wstring_view name, uint32_t wantedType,
           std::vector<uint8_t>& data) {
  uint32_t type = 0;
  if (!Registry().QueryValue(root, path, name, &type, &data)) return false;
  return data.size() <= kQueryBufferBytes && type == wantedType;
}

bool DwordFrom(const std::vector<uint8_t>& data, uint32_t& value) {
  // The first 32 bits of a zeroed buffer: a shorter value reads with zeros above it.
  uint32_t v = 0;
  for (size_t i = 0; i < 4 && i < data.size(); ++i) v |= static_cast<uint32_t>(data[i]) << (8 * i);
  value = v;
  return true;
}

bool StringFrom(const std::vector<uint8_t>& data, std::wstring& text) {
  // The value is copied into a zero-filled text, so it ends at its first NUL (or its end when it
  // was stored without one).
  std::u16string units;
  units.reserve(data.size() / 2);
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (unit == 0) break;
    units += unit;
  }
  text = platform::FromUtf16(units);
  return true;
}

}  // namespace

bool ReadDword(RootKey root, std::wstring_view path, std::wstring_view name, uint32_t& value) {
  std::vector<uint8_t> data;
  return Query(root, path, name, platform::REG_DWORD, data) && DwordFrom(data, value);
}

bool ReadString(RootKey root, std::wstring_view path, std::wstring_view name, std::wstring& text) {
  std::vector<uint8_t> data;
  return Query(root, path, name, platform::REG_SZ, data) && StringFrom(data, text);
}

bool DwordOf(const platform::RegistryStore::Value& value, uint32_t& out) {
  return value.type == platform::REG_DWORD && value.data.size() <= kQueryBufferBytes &&
         DwordFrom(value.data, out);
}

bool StringOf(const platform::RegistryStore::Value& value, std::wstring& out) {
  return value.type == platform::REG_SZ && value.data.size() <= kQueryBufferBytes &&
         StringFrom(value.data, out);
}

bool ReadSubkeys(RootKey root, std::wstring_view path,
                 std::vector<platform::RegistryStore::Subkey>& subkeys) {
  return Registry().ReadSubkeys(root, path, &subkeys);
}

bool InOneTransaction(const std::function<bool()>& body) { return Registry().Transaction(body); }

bool WriteDword(RootKey root, std::wstring_view path, std::wstring_view name, uint32_t value) {
  auto bytes = DwordBytes(value);
  return Registry().SetValue(root, path, name, platform::REG_DWORD, bytes.data(), bytes.size());
}

bool WriteString(RootKey root, std::wstring_view path, std::wstring_view name,
                 std::wstring_view text) {
  std::vector<uint8_t> bytes = StringBytes(text);
  if (bytes.size() / 2 - 1 >= kWriteStringLimit) return false;
  return Registry().SetValue(root, path, name, platform::REG_SZ, bytes.data(), bytes.size());
}

bool CreateDword(RootKey root, std::wstring_view path, std::wstring_view name, uint32_t value) {
  auto bytes = DwordBytes(value);
  return Registry().CreateKeyAndSetValue(root, path, name, platform::REG_DWORD, bytes.data(),
                                         bytes.size());
}

bool CreateString(RootKey root, std::wstring_view path, std::wstring_view name,
                  std::wstring_view text) {
  std::vector<uint8_t> bytes = StringBytes(text);
  return Registry().CreateKeyAndSetValue(root, path, name, platform::REG_SZ, bytes.data(),
                                         bytes.size());
}

bool DeleteValue(RootKey root, std::wstring_view path, std::wstring_view name) {
  return Registry().DeleteValue(root, path, name);
}

bool DeleteTree(RootKey root, std::wstring_view path) {
  std::vector<std::wstring> subkeys;
  if (!Registry().EnumSubkeys(root, path, &subkeys)) return false;
  for (const std::wstring& subkey : subkeys) {
    std::wstring child(path);
    child += L'\\';
    child += subkey;
    DeleteTree(root, child);
  }
  return Registry().DeleteKey(root, path);
}

bool StoreDword(RootKey root, std::wstring_view path, std::wstring_view name, uint32_t value) {
  return WriteDword(root, path, name, value) || CreateDword(root, path, name, value);
}

bool StoreString(RootKey root, std::wstring_view path, std::wstring_view name,
                 std::wstring_view text) {
  return WriteString(root, path, name, text) || CreateString(root, path, name, text);
}

uint32_t ReadDwordOr(RootKey root, std::wstring_view path, std::wstring_view name,
                     uint32_t fallback) {
  uint32_t value = fallback;
  ReadDword(root, path, name, value);
  return value;
}

}  // namespace cirrodex
