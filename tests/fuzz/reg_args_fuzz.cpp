// The command line of cirrodex-reg: the input split at zero bytes is argv[1..], parsed as the
// tool parses it, without a registry. Accepted key paths must be in the store's form, and DWORD
// data either parses or is refused.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tests/fuzz/fuzz_device.h"
#include "tools/reg_arguments.h"

namespace {

using cirrodex::fuzzing::Fail;
using cirrodex::regtool::BadArguments;
using cirrodex::regtool::KeyName;
using cirrodex::regtool::Options;

constexpr size_t kMaxArguments = 12;

void CheckKey(const KeyName& key) {
  const std::wstring& path = key.path;
  if (!path.empty() && (path.front() == L'\\' || path.back() == L'\\')) {
    Fail("key path starts or ends with a backslash");
  }
  if (path.find(L"\\\\") != std::wstring::npos) Fail("empty component in a key path");
  const std::wstring root = key.root == cirrodex::platform::RootKey::CurrentUser
                                ? L"HKEY_CURRENT_USER"
                                : L"HKEY_LOCAL_MACHINE";
  if (key.display != (path.empty() ? root : root + L'\\' + path)) Fail("display name mismatch");
}

void CheckDword(const std::wstring& text) {
  try {
    const uint32_t value = cirrodex::regtool::ParseDword(text);
    // Whatever parses as decimal without a sign prints back as itself.
    const std::string digits = cirrodex::platform::ToUtf8(text);
    const bool plain =
        !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
    if (plain && std::stoull(digits) != value) Fail("decimal DWORD read wrong");
  } catch (const BadArguments&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> arguments{"cirrodex-reg"};
  std::string current;
  for (size_t i = 0; i < size && arguments.size() < kMaxArguments; ++i) {
    if (data[i] == 0) {
      arguments.push_back(std::move(current));
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (arguments.size() < kMaxArguments) arguments.push_back(std::move(current));
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  argv.push_back(nullptr);

  try {
    const KeyName key = cirrodex::regtool::ParseKey(arguments.size() > 1 ? arguments[1] : "");
    CheckKey(key);
  } catch (const BadArguments&) {
  }
  CheckDword(cirrodex::platform::FromUtf8(arguments.back()));

  try {
    const Options options =
        cirrodex::regtool::ParseArguments(static_cast<int>(arguments.size()), argv.data());
    if (options.operation != "query" && options.operation != "add" &&
        options.operation != "delete") {
      Fail("unknown operation accepted");
    }
    CheckKey(options.key);
    if (options.type && *options.type != "REG_DWORD" && *options.type != "REG_SZ") {
      Fail("unknown type accepted");
    }
    if ((options.type || options.data) && !options.value) Fail("/t or /d without /v accepted");
    if (options.recurse && options.operation != "query") Fail("/s accepted outside query");
    if (options.force && options.operation == "query") Fail("/f accepted in query");
    if (options.data && options.type == "REG_DWORD") CheckDword(*options.data);
  } catch (const BadArguments&) {
  }
  return 0;
}
