// The command line of cirrodex-reg: the operation, the key path and the options, parsed without
// touching the registry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/registry_store.h"

namespace cirrodex::regtool {

// A command line the tool refuses; `why` is the message shown before the usage text.
struct BadArguments {
  std::string why;
};

// ASCII letters in lower case; other bytes (UTF-8 included) unchanged.
std::string Lower(std::string text);

struct KeyName {
  platform::RootKey root = platform::RootKey::CurrentUser;
  std::wstring path;     // below the root, components joined by one backslash
  std::wstring display;  // the long root name and the path, as output shows it
};

// "ROOT\path" (UTF-8), ROOT one of HKCU, HKLM, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE in any
// case; empty path components are dropped. Throws BadArguments for any other root.
KeyName ParseKey(const std::string& argument);

struct Options {
  std::string operation;  // "query", "add" or "delete"
  KeyName key;
  std::optional<std::wstring> value;  // /v
  std::optional<std::string> type;    // /t
  std::optional<std::wstring> data;   // /d
  bool recurse = false;               // /s
  bool force = false;                 // /f
};

// argv[1] the operation, argv[2] the key, then the options ("/x" or "-x"). Throws BadArguments
// for anything the usage text does not allow.
Options ParseArguments(int argc, const char* const* argv);

// Decimal or 0x hexadecimal; a negative decimal is kept as its 32-bit pattern. Throws
// BadArguments for anything else or a value outside 32 bits.
uint32_t ParseDword(const std::wstring& text);

}  // namespace cirrodex::regtool
