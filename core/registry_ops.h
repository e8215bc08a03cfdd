// The small registry operations every part of the system reads and writes its values through.
// All return true on success; none reports an error further.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry_store.h"
#include "platform/registry_value.h"

namespace cirrodex {

using platform::HKEY_CURRENT_USER;
using platform::HKEY_LOCAL_MACHINE;
using platform::RootKey;

// Succeeds only for a REG_DWORD; `value` is unchanged on failure.
bool ReadDword(RootKey root, std::wstring_view path, std::wstring_view name, uint32_t& value);
// Succeeds only for a REG_SZ of at most 2048 bytes (1023 characters and the terminator);
// `text` is unchanged on failure.
bool ReadString(RootKey root, std::wstring_view path, std::wstring_view name, std::wstring& text);
// Set a value of an existing key.
bool WriteDword(RootKey root, std::wstring_view path, std::wstring_view name, uint32_t value);
// Refuses texts of 2048 characters or more.
bool WriteString(RootKey root, std::wstring_view path, std::wstring_view name,
                 std::wstring_view text);
// Create the key when needed, then set the value (no length limit for strings).
bool CreateDword(RootKey root, std::wstring_view path, std::wstring_view name, uint32_t value);
bool CreateString(RootKey root, std::wstring_view path, std::wstring_view name,
                  std::wstring_view text);
bool DeleteValue(RootKey root, std::wstring_view path, std::wstring_view name);
// Deletes every subkey depth first, then the key; false when the key cannot be opened.
bool DeleteTree(RootKey root, std::wstring_view path);

// "A value is written": Write..., and when that fails Create... with the same arguments.
bool StoreDword(RootKey root, std::wstring_view path, std::wstring_view name, uint32_t value);
bool StoreString(RootKey root, std::wstring_view path, std::wstring_view name,
                 std::wstring_view text);
// A key's subkeys with all their values, in one read (false when the key is missing), and each
// such value judged as ReadDword and ReadString judge the values they read.
bool ReadSubkeys(RootKey root, std::wstring_view path,
                 std::vector<platform::RegistryStore::Subkey>& subkeys);
using platform::DwordOf;
using platform::StringOf;

// Runs `body` as one transaction of the store: what it reads holds until its writes commit, and
// they commit together (when it returns true) or not at all.
bool InOneTransaction(const std::function<bool()>& body);

// "A read with a default".
uint32_t ReadDwordOr(RootKey root, std::wstring_view path, std::wstring_view name,
                     uint32_t fallback);

}  // namespace cirrodex
