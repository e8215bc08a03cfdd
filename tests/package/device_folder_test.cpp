// The device folder on a shared machine, through the real programs: no write follows a planted
// link, a folder another user could swap is refused, and what is created is private.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "platform/device.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"

namespace cirrodex::testing {
namespace {

namespace fs = std::filesystem;

int RunBin(const char* program, std::vector<std::string> args, std::string* output = nullptr) {
  return RunProgram(BuildDir() / "bin" / program, args, output);
}

class DeviceFolderTest : public DeviceTest {
 protected:
  void SetUp() override {
    setenv("CIRRODEX_FEED_BASE", ("http://127.0.0.1:" + std::to_string(UnusedPort())).c_str(), 1);
  }
  // A device folder of the case's own, with `outside` beside it.
  fs::path UseDevice(const std::string& name) {
    fs::create_directories(device_.root() / name / "outside");
    setenv("CIRRODEX_DEVICE", (device_.root() / name / "device").c_str(), 1);
    return platform::DeviceRoot();
  }
};

TEST_F(DeviceFolderTest, PlantedLinksAreNeverWrittenThrough) {
  const fs::path in = "program files/velbrook/nimbrel";
  const std::vector<std::string> install, reg = {"add", "HKCU\\T", "/v", "A", "/d", "x", "/f"};
  const struct {
    fs::path planted;    // a link to `target` in a folder outside the device folder
    const char* target;  // a file there, one not there yet, or the folder
    const char* program;
    std::vector<std::string> args;
  } cases[] = {{in / "installed-from.txt", "precious", "cirrodex-install", install},
               {in / "bmp/5.bmp", "precious", "cirrodex-install", install},
               {in / "citycodes/Albania.csv", "precious", "cirrodex-install", install},
               {"program files", "", "cirrodex-install", install},
               {"registry.db", "absent", "cirrodex-reg", reg},
               {"download.lock", "absent", "gantrel", {"/downloadandexit"}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.planted);
    const fs::path device = UseDevice(std::to_string(&c - cases)), outside = device / "../outside";
    fs::create_directories((device / c.planted).parent_path());
    std::ofstream(outside / "precious") << "precious";
    fs::create_symlink(outside / c.target, device / c.planted);
    RunBin(c.program, c.args);
    EXPECT_EQ(fs::file_size(outside / "precious"), 8u);
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), {}), 1);
  }
}

// Every program refuses with one line and status 1; the registry tool keeps its status 3.
TEST_F(DeviceFolderTest, UntrustedFoldersAreRefusedByEveryProgram) {
  const std::pair<const char*, void (*)(const fs::path&)> cases[] = {
      {"parent o+w", [](const fs::path& d) { fs::permissions(d / "..", fs::perms::all); }},
      {"folder 0777", [](const fs::path& d) { fs::permissions(d, fs::perms::all); }},
      {"another owner", [](const fs::path& d) { ASSERT_EQ(chown(d.c_str(), 65534, 0), 0); }}};
  const std::pair<const char*, std::vector<std::string>> programs[] = {
      {"today-host", {"--snapshot", (device_.root() / "s.png").string(), "--after", "0"}},
      {"gantrel", {"/downloadandexit"}},
      {"cirrodex-install", {}},
      {"cirrodex-draw", {"summary"}},
      {"cirrodex-reg", {"query", "HKCU\\SOFTWARE"}}};
  for (const auto& [name, spoil] : cases) {
    if (name == std::string("another owner") && geteuid() != 0) continue;  // needs chown
    const fs::path device = UseDevice(name);
    spoil(device);
    for (const auto& [program, args] : programs) {
      std::string output;
      EXPECT_EQ(RunBin(program, args, &output), std::string(program) == "cirrodex-reg" ? 3 : 1);
      EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << name << output;
      EXPECT_NE(output.find(device.string() + " is refused"), std::string::npos) << output;
    }
    EXPECT_FALSE(fs::exists(device / "registry.db"));
  }
}

TEST_F(DeviceFolderTest, WhatAFirstStartCreatesIsPrivateWhateverTheUmask) {
  const fs::path device = device_.root() / "new" / "device";
  setenv("CIRRODEX_DEVICE", device.c_str(), 1);
  for (const auto& [program, arg] :
       {std::pair{"cirrodex-install", "--register"}, std::pair{"gantrel", "/downloadandexit"}}) {
    const fs::path path = BuildDir() / "bin" / program;
    ASSERT_EQ(RunProgram("/bin/sh", {"-c", "umask 0; exec \"$0\" \"$1\"", path, arg}), 0);
  }
  EXPECT_TRUE(fs::exists(device / "download.lock"));
  for (const auto& entry : fs::recursive_directory_iterator(device_.root() / "new")) {
    if (entry.is_symlink()) continue;
    EXPECT_EQ(entry.status().permissions(),
              entry.is_directory() ? fs::perms::owner_all : fs::perms(0600))
        << entry.path();
  }
}

}  // namespace
}  // namespace cirrodex::testing
