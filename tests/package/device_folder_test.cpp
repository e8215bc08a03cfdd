// The device folder on a shared machine, through the real programs: links planted in it are
// never written through, folders another user could swap are refused, and what the programs
// create is the user's alone whatever the umask.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"

namespace cirrodex::testing {
namespace {

namespace fs = std::filesystem;

fs::path Program(const char* name) { return BuildDir() / "bin" / name; }

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class DeviceFolderTest : public DeviceTest {
 protected:
  // A device folder of its own for each case, below this test's.
  fs::path UseDevice(const std::string& name) {
    const fs::path device = device_.root() / name / "device";
    fs::create_directories(device);
    setenv("CIRRODEX_DEVICE", device.c_str(), 1);
    return device;
  }
};

TEST_F(DeviceFolderTest, PlantedLinksAreNeverWrittenThrough) {
  setenv("CIRRODEX_FEED_BASE",
         ("http://127.0.0.1:" + std::to_string(UnusedPort()) + "/feed?acid=").c_str(), 1);
  const fs::path install = "program files/velbrook/nimbrel";
  struct Case {
    fs::path planted;    // in the device folder, a link to `target` in a folder outside it
    const char* target;  // a file there, one that does not exist yet, or the folder itself
    const char* program;
    std::vector<std::string> args;
  } cases[] = {
      {install / "installed-from.txt", "precious", "cirrodex-install", {}},
      {install / "bmp/5.bmp", "precious", "cirrodex-install", {}},
      {install / "citycodes/Albania.csv", "precious", "cirrodex-install", {}},
      {"program files", "", "cirrodex-install", {}},
      {"registry.db", "absent", "cirrodex-reg", {"add", "HKCU\\Test", "/v", "A", "/d", "x", "/f"}},
      {"download.lock", "absent", "gantrel", {"/downloadandexit"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.planted);
    const fs::path device = UseDevice(std::to_string(&c - cases));
    const fs::path outside = device.parent_path() / "outside";
    fs::create_directories((device / c.planted).parent_path());
    fs::create_directory(outside);
    std::ofstream(outside / "precious") << "precious";
    fs::create_symlink(outside / c.target, device / c.planted);
    std::string output;
    RunProgram(Program(c.program), c.args, &output);
    EXPECT_EQ(ReadFile(outside / "precious"), "precious") << output;
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), {}), 1) << output;
  }
}

// Each folder another user could swap is refused by every program with one line and status 1
// (the registry tool keeps its own status for a store it cannot use).
TEST_F(DeviceFolderTest, UntrustedFoldersAreRefusedByEveryProgram) {
  struct Case {
    const char* name;
    void (*spoil)(const fs::path& device);
  } cases[] = {
      {"parent o+w", [](const fs::path& d) { fs::permissions(d.parent_path(), fs::perms::all); }},
      {"folder 0777", [](const fs::path& d) { fs::permissions(d, fs::perms::all); }},
      {"another owner", [](const fs::path& d) { ASSERT_EQ(chown(d.c_str(), 65534, 65534), 0); }},
  };
  const std::vector<std::pair<const char*, std::vector<std::string>>> programs = {
      {"today-host", {"--snapshot", (device_.root() / "screen.png").string(), "--after", "0"}},
      {"gantrel", {"/downloadandexit"}},
      {"cirrodex-install", {}},
      {"cirrodex-draw", {"summary"}},
      {"cirrodex-reg", {"query", "HKCU\\SOFTWARE"}},
  };
  for (const Case& c : cases) {
    if (c.name == std::string("another owner") && geteuid() != 0) continue;  // needs chown
    SCOPED_TRACE(c.name);
    const fs::path device = UseDevice(c.name);
    c.spoil(device);
    for (const auto& [program, args] : programs) {
      std::string output;
      const int status = RunProgram(Program(program), args, &output);
      EXPECT_EQ(status, program == std::string("cirrodex-reg") ? 3 : 1) << program << output;
      EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << program << output;
      EXPECT_NE(output.find(device.string() + " is refused"), std::string::npos) << output;
    }
    EXPECT_FALSE(fs::exists(device / "registry.db"));
  }
}

// A first start under umask 000 leaves nothing that others could read or write.
TEST_F(DeviceFolderTest, WhatAFirstStartCreatesIsPrivateWhateverTheUmask) {
  const fs::path home = device_.root() / "home";
  fs::create_directory(home);
  const std::string oldHome = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
  setenv("HOME", home.c_str(), 1);
  unsetenv("CIRRODEX_DEVICE");
  setenv("CIRRODEX_FEED_BASE",
         ("http://127.0.0.1:" + std::to_string(UnusedPort()) + "/feed?acid=").c_str(), 1);
  std::string output;
  for (const auto& [program, arg] :
       {std::pair{"cirrodex-install", "--register"}, std::pair{"gantrel", "/downloadandexit"}}) {
    ASSERT_EQ(RunProgram("/bin/sh", {"-c", "umask 000; exec \"$0\" \"$1\"", Program(program), arg},
                         &output),
              0)
        << output;
  }
  size_t seen = 0;
  for (const auto& entry : fs::recursive_directory_iterator(home / ".local")) {
    const fs::perms mode = entry.symlink_status().permissions() & fs::perms::all;
    if (entry.is_symlink()) continue;
    ++seen;
    EXPECT_EQ(mode, entry.is_directory() ? fs::perms::owner_all
                                         : fs::perms::owner_read | fs::perms::owner_write)
        << entry.path();
  }
  EXPECT_GT(seen, 10u);
  EXPECT_TRUE(fs::exists(home / ".local/share/cirrodex/device/download.lock"));
  setenv("HOME", oldHome.c_str(), 1);
}

}  // namespace
}  // namespace cirrodex::testing
