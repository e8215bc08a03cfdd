// cirrodex-reg: reads and edits the system's registry from the command line, after the
// platform's "reg" command. Arguments and output are UTF-8.
//
// Exit status: 0 done; 1 the key or value does not exist, or a confirmation was declined;
// 2 bad arguments; 3 the registry cannot be used (damaged, unreadable, or a write failed).

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry_store.h"
#include "platform/text.h"
#include "tools/reg_arguments.h"

namespace {

using cirrodex::platform::FromUtf16;
using cirrodex::platform::FromUtf8;
using cirrodex::platform::REG_DWORD;
using cirrodex::platform::REG_SZ;
using cirrodex::platform::Registry;
using cirrodex::platform::RegistryStore;
using cirrodex::platform::RootKey;
using cirrodex::platform::ToUtf8;
using cirrodex::regtool::BadArguments;
using cirrodex::regtool::Lower;
using cirrodex::regtool::Options;
using cirrodex::regtool::ParseArguments;
using cirrodex::regtool::ParseDword;

constexpr int kOk = 0;
constexpr int kNotFound = 1;
constexpr int kBadArguments = 2;
constexpr int kStoreFailed = 3;

constexpr char kUsage[] =
    "Usage: cirrodex-reg query KEY [/v NAME] [/s]\n"
    "       cirrodex-reg add KEY [/v NAME /t REG_DWORD|REG_SZ /d DATA] [/f]\n"
    "       cirrodex-reg delete KEY [/v NAME] [/f]\n"
    "KEY is ROOT\\path, ROOT one of HKCU, HKLM, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE.\n";

constexpr char kNotFoundMessage[] =
    "ERROR: The system was unable to find the specified registry key or value.\n";

std::string TypeName(uint32_t type) {
  if (type == REG_SZ) return "REG_SZ";
  if (type == REG_DWORD) return "REG_DWORD";
  return "REG_BINARY";
}

std::string DataText(const RegistryStore::Value& value) {
  char text[16];
  if (value.type == REG_DWORD) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4 && i < value.data.size(); ++i) {
      v |= static_cast<uint32_t>(value.data[i]) << (8 * i);
    }
    std::snprintf(text, sizeof text, "0x%x", v);
    return text;
  }
  if (value.type == REG_SZ) {
    std::u16string units;
    for (size_t i = 0; i + 1 < value.data.size(); i += 2) {
      auto unit = static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8));
      if (unit == 0) break;
      units += unit;
    }
    return ToUtf8(FromUtf16(units));
  }
  std::string hex;
  for (uint8_t byte : value.data) {
    std::snprintf(text, sizeof text, "%02X", byte);
    hex += text;
  }
  return hex;
}

void PrintValue(const RegistryStore::Value& value) {
  std::cout << "    " << (value.name.empty() ? "(Default)" : ToUtf8(value.name)) << "    "
            << TypeName(value.type) << "    " << DataText(value) << '\n';
}

// Reports a failed store operation: a missing key or value, or an unusable store.
int Failure() {
  RegistryStore& store = Registry();
  if (store.LastFailureWasMissing()) {
    std::cerr << kNotFoundMessage;
    return kNotFound;
  }
  std::cerr << "ERROR: " << store.LastError() << '\n';
  return kStoreFailed;
}

bool Confirm(const std::string& question) {
  std::cout << question << " (Yes/No)? " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) {
    std::cout << '\n';
    return false;
  }
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

int Cancelled() {
  std::cout << "The operation was cancelled.\n";
  return kNotFound;
}

int Done() {
  std::cout << "The operation completed successfully.\n";
  return kOk;
}

// Prints the values of `path` (only `name` when given) under the key's heading; returns how many.
// With `recurse`, does the same for every subkey below, depth first.
int QueryKey(RootKey root, const std::wstring& path, const std::wstring& display,
             const std::optional<std::wstring>& name, bool recurse, bool& failed) {
  RegistryStore& store = Registry();
  std::vector<RegistryStore::Value> values;
  std::vector<std::wstring> subkeys;
  if (!store.EnumValues(root, path, &values) || !store.EnumSubkeys(root, path, &subkeys)) {
    failed = true;
    return 0;
  }
  int shown = 0;
  for (const auto& value : values) {
    if (name && Lower(ToUtf8(value.name)) != Lower(ToUtf8(*name))) continue;
    if (shown++ == 0) std::cout << ToUtf8(display) << '\n';
    PrintValue(value);
  }
  if (!name && shown == 0) std::cout << ToUtf8(display) << '\n';
  if (!recurse) {
    if (!name && !subkeys.empty()) {
      std::cout << '\n';
      for (const auto& subkey : subkeys) std::cout << ToUtf8(display + L'\\' + subkey) << '\n';
    }
    return shown;
  }
  if (shown > 0 || !name) std::cout << '\n';
  for (const auto& subkey : subkeys) {
    std::wstring child = path.empty() ? subkey : path + L'\\' + subkey;
    shown += QueryKey(root, child, display + L'\\' + subkey, name, true, failed);
    if (failed) return shown;
  }
  return shown;
}

int Query(const Options& options) {
  RegistryStore& store = Registry();
  if (!store.KeyExists(options.key.root, options.key.path)) return Failure();
  if (options.value && !options.recurse) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (!store.QueryValue(options.key.root, options.key.path, *options.value, &type, &data)) {
      return Failure();
    }
    std::cout << ToUtf8(options.key.display) << '\n';
    PrintValue(RegistryStore::Value{*options.value, type, data});
    return kOk;
  }
  bool failed = false;
  int shown = QueryKey(options.key.root, options.key.path, options.key.display, options.value,
                       options.recurse, failed);
  if (failed) return Failure();
  if (options.value && shown == 0) {
    std::cerr << kNotFoundMessage;
    return kNotFound;
  }
  return kOk;
}

int Add(const Options& options) {
  RegistryStore& store = Registry();
  if (!options.value) {
    return store.CreateKey(options.key.root, options.key.path) ? Done() : Failure();
  }
  const bool dword = options.type && *options.type == "REG_DWORD";
  std::vector<uint8_t> bytes;
  if (dword) {
    uint32_t v = ParseDword(options.data.value_or(L""));
    bytes = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
             static_cast<uint8_t>(v >> 24)};
  } else {
    std::wstring text = options.data.value_or(L"");
    std::u16string units = cirrodex::platform::ToUtf16(text.substr(0, text.find(L'\0')));
    for (char16_t unit : units) {
      bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
      bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
  }
  if (!options.force &&
      store.QueryValue(options.key.root, options.key.path, *options.value, nullptr, nullptr)) {
    if (!Confirm("Value " + ToUtf8(*options.value) + " exists, overwrite")) return Cancelled();
  }
  if (!store.CreateKeyAndSetValue(options.key.root, options.key.path, *options.value,
                                  dword ? REG_DWORD : REG_SZ, bytes.data(), bytes.size())) {
    return Failure();
  }
  return Done();
}

int Delete(const Options& options) {
  RegistryStore& store = Registry();
  if (!options.value && options.key.path.empty())
    throw BadArguments{"A root key cannot be deleted."};
  if (!store.KeyExists(options.key.root, options.key.path)) return Failure();
  if (options.value) {
    if (!store.QueryValue(options.key.root, options.key.path, *options.value, nullptr, nullptr)) {
      return Failure();
    }
    if (!options.force && !Confirm("Delete the registry value " + ToUtf8(*options.value))) {
      return Cancelled();
    }
    return store.DeleteValue(options.key.root, options.key.path, *options.value) ? Done()
                                                                                 : Failure();
  }
  if (!options.force &&
      !Confirm("Permanently delete the registry key " + ToUtf8(options.key.display))) {
    return Cancelled();
  }
  return store.DeleteKey(options.key.root, options.key.path) ? Done() : Failure();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string(argv[1]) == "/?" || std::string(argv[1]) == "-h" ||
                    std::string(argv[1]) == "--help")) {
    std::cout << kUsage;
    return kOk;
  }
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::cout << "cirrodex-reg (Cirrodex) " CIRRODEX_VERSION_TEXT "\n";
    return kOk;
  }
  try {
    Options options = ParseArguments(argc, argv);
    if (!Registry().IsOpen()) {
      std::cerr << "ERROR: " << Registry().LastError() << '\n';
      return kStoreFailed;
    }
    if (options.operation == "query") return Query(options);
    if (options.operation == "add") return Add(options);
    return Delete(options);
  } catch (const BadArguments& bad) {
    std::cerr << "ERROR: " << bad.why << '\n' << kUsage;
    return kBadArguments;
  }
}
