// cirrodex-reg's command line, parsed without a registry.
#include "tools/reg_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cirrodex::regtool {
namespace {

Options Parse(std::vector<const char*> arguments) {
  arguments.insert(arguments.begin(), "cirrodex-reg");
  return ParseArguments(static_cast<int>(arguments.size()), arguments.data());
}

TEST(RegArguments, KeyPathsDropEmptyComponentsAndTakeAnyRootCase) {
  struct Case {
    const char* argument;
    platform::RootKey root;
    const wchar_t* path;
    const wchar_t* display;
  } cases[] = {
      {"HKCU", platform::RootKey::CurrentUser, L"", L"HKEY_CURRENT_USER"},
      {"hkey_local_machine\\", platform::RootKey::LocalMachine, L"", L"HKEY_LOCAL_MACHINE"},
      {"HkLm\\\\Software\\\\Microsoft\\", platform::RootKey::LocalMachine, L"Software\\Microsoft",
       L"HKEY_LOCAL_MACHINE\\Software\\Microsoft"},
      {"HKCU\\caf\xc3\xa9", platform::RootKey::CurrentUser, L"caf\u00e9",
       L"HKEY_CURRENT_USER\\caf\u00e9"},
  };
  for (const Case& c : cases) {
    const KeyName key = ParseKey(c.argument);
    EXPECT_EQ(key.root, c.root) << c.argument;
    EXPECT_EQ(key.path, c.path) << c.argument;
    EXPECT_EQ(key.display, c.display) << c.argument;
  }
  for (const char* bad : {"", "HKCR\\x", "\\HKCU", "HKCUx"}) {
    EXPECT_THROW(ParseKey(bad), BadArguments) << bad;
  }
}

TEST(RegArguments, OptionsBelongToTheirOperations) {
  const Options add = Parse({"ADD", "HKCU\\k", "-V", "n", "/t", "REG_DWORD", "/d", "0x10", "/F"});
  EXPECT_EQ(add.operation, "add");
  EXPECT_EQ(add.value, L"n");
  EXPECT_EQ(add.type, "REG_DWORD");
  EXPECT_EQ(add.data, L"0x10");
  EXPECT_TRUE(add.force);
  EXPECT_TRUE(Parse({"query", "HKLM", "/s"}).recurse);

  const std::vector<std::vector<const char*>> refused = {
      {"query"},
      {"copy", "HKCU"},
      {"query", "HKCU", "/f"},
      {"delete", "HKCU\\k", "/s"},
      {"query", "HKCU", "/t", "REG_SZ"},
      {"add", "HKCU\\k", "/v"},
      {"add", "HKCU\\k", "/v", "a", "/v", "b"},
      {"add", "HKCU\\k", "/d", "1"},
      {"add", "HKCU\\k", "/v", "a", "/t", "REG_BINARY"},
      {"add", "HKCU\\k", "/vv", "a"},
  };
  for (const auto& arguments : refused) {
    EXPECT_THROW(Parse(arguments), BadArguments) << arguments.size() << " " << arguments[0];
  }
}

TEST(RegArguments, DwordDataIsDecimalOrHexWithinThirtyTwoBits) {
  struct Case {
    const wchar_t* text;
    uint32_t value;
  } accepted[] = {{L"0", 0},          {L"4294967295", 0xFFFFFFFF}, {L"0xFFFFFFFF", 0xFFFFFFFF},
                  {L"0X1f", 31},      {L"-1", 0xFFFFFFFF},         {L"-2147483648", 0x80000000},
                  {L"0000000010", 10}};
  for (const Case& c : accepted) EXPECT_EQ(ParseDword(c.text), c.value) << c.text;
  for (const wchar_t* bad : {L"", L"-", L"0x", L"4294967296", L"0x100000000", L"-2147483649",
                             L"-0x1", L"12a", L" 1", L"\u0661"}) {
    EXPECT_THROW(ParseDword(bad), BadArguments) << bad;
  }
}

}  // namespace
}  // namespace cirrodex::regtool
