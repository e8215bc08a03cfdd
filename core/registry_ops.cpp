#include "core/registry_ops.h"

#include <array>
#include <cstring>
#include <vector>

#include "platform/registry_value.h"

namespace cirrodex {

using platform::DwordBytes;
using platform::Registry;
using platform::StringBytes;

namespace {

// WriteString refuses texts of this many characters or more.
constexpr size_t kWriteStringLimit = 2048;

bool Query(RootKey root, std::wstring_view path, std::wstring_view name,
           platform::RegistryStore::Value& value) {
  return Registry().QueryValue(root, path, name, &value.type, &value.data);
}

}  // namespace

bool ReadDword(RootKey root, std::wstring_view path, std::wstring_view name, uint32_t& value) {
  platform::RegistryStore::Value stored;
  return Query(root, path, name, stored) && DwordOf(stored, value);
}

bool ReadString(RootKey root, std::wstring_view path, std::wstring_view name, std::wstring& text) {
  platform::RegistryStore::Value stored;
  return Query(root, path, name, stored) && StringOf(stored, text);
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
