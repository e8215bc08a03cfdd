#include "tools/reg_arguments.h"

#include "platform/text.h"

namespace cirrodex::regtool {

using platform::FromUtf8;
using platform::ToUtf8;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

KeyName ParseKey(const std::string& argument) {
  std::wstring text = FromUtf8(argument);
  size_t slash = text.find(L'\\');
  std::string root = Lower(ToUtf8(text.substr(0, slash)));
  KeyName key;
  std::wstring longRoot;
  if (root == "hkcu" || root == "hkey_current_user") {
    key.root = platform::RootKey::CurrentUser;
    longRoot = L"HKEY_CURRENT_USER";
  } else if (root == "hklm" || root == "hkey_local_machine") {
    key.root = platform::RootKey::LocalMachine;
    longRoot = L"HKEY_LOCAL_MACHINE";
  } else {
    throw BadArguments{"Invalid key name."};
  }
  if (slash != std::wstring::npos) {
    size_t start = slash + 1;
    while (start <= text.size()) {
      size_t end = text.find(L'\\', start);
      if (end == std::wstring::npos) end = text.size();
      if (end > start) {
        if (!key.path.empty()) key.path += L'\\';
        key.path.append(text, start, end - start);
      }
      start = end + 1;
    }
  }
  key.display = key.path.empty() ? longRoot : longRoot + L'\\' + key.path;
  return key;
}

Options ParseArguments(int argc, const char* const* argv) {
  if (argc < 3) throw BadArguments{"Too few arguments."};
  Options options;
  options.operation = Lower(argv[1]);
  if (options.operation != "query" && options.operation != "add" && options.operation != "delete") {
    throw BadArguments{"Invalid operation \"" + std::string(argv[1]) + "\"."};
  }
  options.key = ParseKey(argv[2]);
  const bool query = options.operation == "query";
  const bool add = options.operation == "add";
  for (int i = 3; i < argc; ++i) {
    std::string arg = argv[i];
    std::string option =
        arg.size() == 2 && (arg[0] == '/' || arg[0] == '-') ? Lower(arg.substr(1)) : std::string();
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) throw BadArguments{"Option " + arg + " needs a value."};
      return argv[++i];
    };
    auto once = [&](bool given) {
      if (given) throw BadArguments{"Option " + arg + " is given twice."};
    };
    if (option == "v") {
      once(options.value.has_value());
      options.value = FromUtf8(next());
    } else if (option == "t" && add) {
      once(options.type.has_value());
      options.type = next();
    } else if (option == "d" && add) {
      once(options.data.has_value());
      options.data = FromUtf8(next());
    } else if (option == "s" && query) {
      options.recurse = true;
    } else if (option == "f" && !query) {
      options.force = true;
    } else {
      throw BadArguments{"Invalid argument \"" + arg + "\"."};
    }
  }
  if (add && !options.value && (options.type || options.data)) {
    throw BadArguments{"/t and /d need /v."};
  }
  if (options.type && *options.type != "REG_DWORD" && *options.type != "REG_SZ") {
    throw BadArguments{"Invalid type \"" + *options.type + "\"; use REG_DWORD or REG_SZ."};
  }
  return options;
}

uint32_t ParseDword(const std::wstring& text) {
  std::string s = ToUtf8(text);
  bool negative = !s.empty() && s[0] == '-';
  std::string digits = negative ? s.substr(1) : s;
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    if (negative) throw BadArguments{"Invalid DWORD data \"" + s + "\"."};
    digits = digits.substr(2);
    base = 16;
  }
  if (digits.empty() || digits.size() > 10) throw BadArguments{"Invalid DWORD data \"" + s + "\"."};
  uint64_t value = 0;
  for (char c : digits) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      throw BadArguments{"Invalid DWORD data \"" + s + "\"."};
    }
    value = value * base + static_cast<uint64_t>(digit);
  }
  if (negative ? value > 0x80000000ull : value > 0xFFFFFFFFull) {
    throw BadArguments{"DWORD data out of range \"" + s + "\"."};
  }
  return static_cast<uint32_t>(negative ? 0 - value : value);
}

}  // namespace cirrodex::regtool
