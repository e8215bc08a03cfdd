#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/registry_store.h"
#include "platform/text.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_device.h"

namespace cirrodex {
namespace {

using platform::REG_DWORD;
using platform::REG_SZ;
using platform::Registry;

constexpr char kNotFound[] =
    "ERROR: The system was unable to find the specified registry key or value.\n";

using ToolRun = testing::ProgramRun;
using testing::ReadFile;

class RegTool : public testing::DeviceTest {
 protected:
  // Runs the built tool against this test's device folder, feeding `input` to its stdin.
  ToolRun Reg(const std::vector<std::string>& args, const std::string& input = "") {
    return testing::RunProgram(testing::BuildDir() / "bin" / "cirrodex-reg", args,
                               testing::RunOptions{.input = input});
  }

  void Put(std::wstring_view path, std::wstring_view name, uint32_t type,
           const std::vector<uint8_t>& data) {
    ASSERT_TRUE(Registry().CreateKeyAndSetValue(platform::HKEY_CURRENT_USER, path, name, type,
                                                data.data(), data.size()));
  }

  std::vector<uint8_t> Get(std::wstring_view path, std::wstring_view name, uint32_t* type) {
    std::vector<uint8_t> data;
    EXPECT_TRUE(Registry().QueryValue(platform::HKEY_CURRENT_USER, path, name, type, &data));
    return data;
  }
};

TEST_F(RegTool, QueryListsValuesThenSubkeys) {
  Put(L"SOFTWARE\\Velbrook\\Cirrodex", L"UpdateRate", REG_DWORD, {0x1e, 0, 0, 0});
  Put(L"SOFTWARE\\Velbrook\\Cirrodex", L"CityName1", REG_SZ,
      {'Z', 0, 0xFC, 0, 'r', 0, 'i', 0, 'c', 0, 'h', 0, 0, 0});
  Put(L"SOFTWARE\\Velbrook\\Cirrodex\\UKXX0085", L"Latest", REG_DWORD, {0, 0, 0, 0});
  Put(L"SOFTWARE\\Velbrook\\Cirrodex\\FRXX0076\\Log000", L"T", REG_SZ, {'9', 0, 0, 0});

  ToolRun run = Reg({"query", "HKCU\\SOFTWARE\\Velbrook\\Cirrodex"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "HKEY_CURRENT_USER\\SOFTWARE\\Velbrook\\Cirrodex\n"
            "    CityName1    REG_SZ    Z\xC3\xBCrich\n"
            "    UpdateRate    REG_DWORD    0x1e\n"
            "\n"
            "HKEY_CURRENT_USER\\SOFTWARE\\Velbrook\\Cirrodex\\FRXX0076\n"
            "HKEY_CURRENT_USER\\SOFTWARE\\Velbrook\\Cirrodex\\UKXX0085\n");
  EXPECT_EQ(run.err, "");

  run = Reg({"query", "HKEY_CURRENT_USER\\SOFTWARE\\Velbrook\\Cirrodex", "/v", "updaterate"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "HKEY_CURRENT_USER\\SOFTWARE\\Velbrook\\Cirrodex\n"
            "    updaterate    REG_DWORD    0x1e\n");
}

TEST_F(RegTool, QueryRecursesWithS) {
  Put(L"A", L"V", REG_DWORD, {1, 0, 0, 0});
  Put(L"A\\B\\C", L"W", REG_SZ, {'w', 0, 0, 0});
  Put(L"A\\D", L"V", REG_DWORD, {2, 0, 0, 0});
  ToolRun run = Reg({"query", "HKCU\\A", "/s"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "HKEY_CURRENT_USER\\A\n"
            "    V    REG_DWORD    0x1\n"
            "\n"
            "HKEY_CURRENT_USER\\A\\B\n"
            "\n"
            "HKEY_CURRENT_USER\\A\\B\\C\n"
            "    W    REG_SZ    w\n"
            "\n"
            "HKEY_CURRENT_USER\\A\\D\n"
            "    V    REG_DWORD    0x2\n"
            "\n");
  // With /v the search shows only the keys holding that value.
  run = Reg({"query", "HKCU\\A", "/v", "V", "/s"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "HKEY_CURRENT_USER\\A\n"
            "    V    REG_DWORD    0x1\n"
            "\n"
            "HKEY_CURRENT_USER\\A\\D\n"
            "    V    REG_DWORD    0x2\n"
            "\n");
  run = Reg({"query", "HKCU\\A", "/v", "Nowhere", "/s"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, kNotFound);
}

TEST_F(RegTool, AddStoresDwordsAndStringsAsThePlatformDoes) {
  struct Case {
    const char* data;
    std::vector<uint8_t> bytes;
  } dwords[] = {
      {"30", {30, 0, 0, 0}},
      {"0x1E", {30, 0, 0, 0}},
      {"0xffffffff", {0xFF, 0xFF, 0xFF, 0xFF}},
      {"-1", {0xFF, 0xFF, 0xFF, 0xFF}},
      {"-2147483648", {0, 0, 0, 0x80}},
      {"4294967295", {0xFF, 0xFF, 0xFF, 0xFF}},
  };
  for (const Case& c : dwords) {
    ToolRun run = Reg({"add", "HKCU\\SOFTWARE\\Velbrook\\Cirrodex", "/v", "D", "/t", "REG_DWORD",
                       "/d", c.data, "/f"});
    EXPECT_EQ(run.status, 0) << c.data << run.err;
    uint32_t type = 0;
    EXPECT_EQ(Get(L"SOFTWARE\\Velbrook\\Cirrodex", L"D", &type), c.bytes) << c.data;
    EXPECT_EQ(type, REG_DWORD);
  }
  ToolRun run = Reg({"add", "HKLM\\Software\\Microsoft\\Today\\Items\\Cirrodex", "/v", "DLL", "/t",
                     "REG_SZ", "/d", "\\Windows\\Cirrodex.dll"});
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<uint8_t> data;
  uint32_t type = 0;
  ASSERT_TRUE(Registry().QueryValue(platform::HKEY_LOCAL_MACHINE,
                                    L"Software\\Microsoft\\Today\\Items\\Cirrodex", L"DLL", &type,
                                    &data));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(data.size(), (std::string("\\Windows\\Cirrodex.dll").size() + 1) * 2);

  run = Reg({"add", "HKCU\\Empty\\Key"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(Registry().KeyExists(platform::HKEY_CURRENT_USER, L"Empty\\Key"));
}

TEST_F(RegTool, NonAsciiArgumentsRoundTrip) {
  ToolRun run = Reg({"add", "HKCU\\Caf\xC3\xA9", "/v", "Nom", "/t", "REG_SZ", "/d",
                     "Gen\xC3\xA8ve \xF0\x9F\x8C\xA7"});
  ASSERT_EQ(run.status, 0) << run.err;
  run = Reg({"query", "HKCU\\Caf\xC3\xA9", "/v", "Nom"});
  EXPECT_EQ(
      run.out,
      "HKEY_CURRENT_USER\\Caf\xC3\xA9\n    Nom    REG_SZ    Gen\xC3\xA8ve \xF0\x9F\x8C\xA7\n");
}

TEST_F(RegTool, OverwritingAsksUnlessForced) {
  Put(L"K", L"V", REG_SZ, {'a', 0, 0, 0});
  ToolRun declined = Reg({"add", "HKCU\\K", "/v", "V", "/d", "b"}, "no\n");
  EXPECT_EQ(declined.status, 1);
  EXPECT_NE(declined.out.find("overwrite"), std::string::npos);
  uint32_t type = 0;
  EXPECT_EQ(Get(L"K", L"V", &type), (std::vector<uint8_t>{'a', 0, 0, 0}));

  ToolRun accepted = Reg({"add", "HKCU\\K", "/v", "V", "/d", "b"}, "yes\n");
  EXPECT_EQ(accepted.status, 0);
  EXPECT_EQ(Get(L"K", L"V", &type), (std::vector<uint8_t>{'b', 0, 0, 0}));

  ToolRun noInput = Reg({"delete", "HKCU\\K"});
  EXPECT_EQ(noInput.status, 1);
  EXPECT_TRUE(Registry().KeyExists(platform::HKEY_CURRENT_USER, L"K"));
}

TEST_F(RegTool, DeleteRemovesValuesAndWholeKeys) {
  Put(L"City\\Log000", L"Tm", REG_SZ, {0, 0});
  Put(L"City", L"Latest", REG_DWORD, {0, 0, 0, 0});
  Put(L"City", L"DownloadResult", REG_DWORD, {200, 0, 0, 0});

  ToolRun run = Reg({"delete", "HKCU\\City", "/v", "latest", "/f"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(
      Registry().QueryValue(platform::HKEY_CURRENT_USER, L"City", L"Latest", nullptr, nullptr));
  run = Reg({"delete", "HKCU\\City", "/f"});
  EXPECT_EQ(run.status, 0);
  EXPECT_FALSE(Registry().KeyExists(platform::HKEY_CURRENT_USER, L"City"));
  EXPECT_FALSE(Registry().KeyExists(platform::HKEY_CURRENT_USER, L"City\\Log000"));
}

TEST_F(RegTool, MissingKeysAndValuesExitWithOne) {
  Put(L"K", L"V", REG_SZ, {0, 0});
  const std::vector<std::vector<std::string>> cases = {
      {"query", "HKCU\\Nope"},
      {"query", "HKCU\\K", "/v", "Nope"},
      {"query", "HKLM\\K"},
      {"delete", "HKCU\\Nope", "/f"},
      {"delete", "HKCU\\K", "/v", "Nope", "/f"},
  };
  for (const auto& args : cases) {
    ToolRun run = Reg(args);
    EXPECT_EQ(run.status, 1) << args[1];
    EXPECT_EQ(run.err, kNotFound) << args[1];
    EXPECT_EQ(run.out, "");
  }
}

TEST_F(RegTool, BadArgumentsExitWithTwoAndAUsageLine) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"query"},
      {"list", "HKCU\\K"},
      {"query", "HKCR\\K"},
      {"query", "K"},
      {"query", "HKCU\\K", "/x"},
      {"query", "HKCU\\K", "/v"},
      {"query", "HKCU\\K", "/f"},
      {"add", "HKCU\\K", "/v", "V", "/t", "REG_BINARY", "/d", "1"},
      {"add", "HKCU\\K", "/t", "REG_SZ"},
      {"add", "HKCU\\K", "/v", "V", "/t", "REG_DWORD", "/d", "12x"},
      {"add", "HKCU\\K", "/v", "V", "/t", "REG_DWORD", "/d", "4294967296"},
      {"add", "HKCU\\K", "/v", "V", "/t", "REG_DWORD", "/d", "-2147483649"},
      {"add", "HKCU\\K", "/v", "V", "/t", "REG_DWORD", "/d", "0x"},
      {"add", "HKCU\\K", "/v", "V", "/v", "W"},
      {"delete", "HKCU\\K", "/s"},
      {"delete", "HKCU", "/f"},
  };
  for (const auto& args : cases) {
    ToolRun run = Reg(args);
    std::string shown = args.empty() ? "(none)" : args.back();
    EXPECT_EQ(run.status, 2) << shown;
    EXPECT_NE(run.err.find("Usage: cirrodex-reg"), std::string::npos) << shown;
  }
  EXPECT_FALSE(Registry().KeyExists(platform::HKEY_CURRENT_USER, L"K"));
}

TEST_F(RegTool, ADamagedStoreIsReportedAndLeftAlone) {
  std::filesystem::path file = device_.root() / "registry.db";
  std::string garbage(8192, '\x5A');
  std::ofstream(file, std::ios::binary) << garbage;
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"query", "HKCU\\K"},
                                             {"add", "HKCU\\K", "/v", "V", "/d", "x", "/f"},
                                             {"delete", "HKCU\\K", "/f"}}) {
    ToolRun run = Reg(args);
    EXPECT_EQ(run.status, 3) << args[0];
    EXPECT_NE(run.err.find("ERROR: opening the registry"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("registry.db"), std::string::npos) << run.err;
  }
  EXPECT_EQ(ReadFile(file), garbage);
}

}  // namespace
}  // namespace cirrodex
