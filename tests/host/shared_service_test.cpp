// Several Today screens and one weather service between them: the screens run from a bin/ of the
// test's own, whose weather-service notes each start in a file before it becomes the real one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/weather_report.h"
#include "host/own_service.h"
#include "platform/device.h"
#include "tests/support/eventually.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"

extern char** environ;

namespace cirrodex::testing {
namespace {

namespace fs = std::filesystem;

// A program left running, its output in a file.
pid_t Launch(const fs::path& program, std::vector<std::string> args, const fs::path& output) {
  args.insert(args.begin(), program.string());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int ExitStatus(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -2;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file);
  return {std::istreambuf_iterator<char>(in), {}};
}

class SharedServiceTest : public DeviceTest {
 protected:
  void SetUp() override {
    fs::create_directories(bin_);
    fs::copy_file(BuildDir() / "bin" / "today-host", bin_ / "today-host");
    std::ofstream(bin_ / "weather-service")
        << "#!/bin/sh\necho $$ >>\"" << starts_.string() << "\"\nexec \""
        << (BuildDir() / "bin" / "weather-service").string() << "\" \"$@\"\n";
    fs::permissions(bin_ / "weather-service", fs::perms::owner_all);
    std::string output;
    ASSERT_EQ(RunProgram(BuildDir() / "bin" / "cirrodex-install", {"--register"}, &output), 0)
        << output;
    const std::string port = std::to_string(port_);
    setenv("CIRRODEX_SERVICE_PORT", port.c_str(), 1);
    setenv("CIRRODEX_FEED_BASE",
           ("http://127.0.0.1:" + port + "/m/chnk/d/weather_d_src.asp?acid=").c_str(), 1);
    setenv("CIRRODEX_SERVICE_UPSTREAM", "none", 1);
    setenv("CIRRODEX_SERVICE_IDLE_EXIT", "2", 1);
  }
  void TearDown() override {
    // Every request, the screens' downloads included, is over once the service has gone idle.
    EXPECT_TRUE(Eventually([this] { return !host::SomethingListens(port_); }, 15000))
        << "the service did not exit by itself";
    for (const char* name : {"CIRRODEX_SERVICE_PORT", "CIRRODEX_FEED_BASE",
                             "CIRRODEX_SERVICE_UPSTREAM", "CIRRODEX_SERVICE_IDLE_EXIT"}) {
      unsetenv(name);
    }
  }
  int ServiceStarts() const {
    std::ifstream in(starts_);
    int lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    return lines;
  }
  int Screens() const {
    int screens = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(platform::DeviceRoot() / "run", error)) {
      screens += entry.path().filename().string().starts_with("today-host-");
    }
    return screens;
  }

  fs::path bin_ = device_.root() / "bin";
  fs::path starts_ = device_.root() / "service-starts";
  fs::path log_ = device_.root() / "screens.log";
  int port_ = UnusedPort();
};

// The first screen started the service; when it closes, the second screen's downloads still find
// it, and it exits by itself once nobody asks.
TEST_F(SharedServiceTest, ClosingTheFirstScreenLeavesTheSecondsDownloadsWorking) {
  const std::vector<std::string> args = {"--snapshot", (device_.root() / "s.png").string(),
                                         "--after", "60"};
  const pid_t first = Launch(bin_ / "today-host", args, log_);
  ASSERT_GT(first, 0);
  ASSERT_TRUE(Eventually([this] { return host::SomethingListens(port_) && Screens() == 1; }))
      << ReadAll(log_);
  const pid_t second = Launch(bin_ / "today-host", args, log_);
  ASSERT_GT(second, 0);
  const bool bothUp = Eventually([this] { return Screens() == 2; });
  kill(first, SIGTERM);
  EXPECT_EQ(ExitStatus(first), 0);
  ASSERT_TRUE(bothUp) << ReadAll(log_);

  // What the second screen's worker launches on its schedule.
  DeleteValue(HKEY_CURRENT_USER, CityKey(L"UKXX0085"), L"DownloadResult");
  std::string output;
  EXPECT_EQ(RunProgram(platform::DevicePath(kDefaultInstallFolder) / "Gantrel.exe",
                       {"/downloadandexit"}, &output),
            0)
      << output;
  uint32_t result = 0;
  EXPECT_TRUE(ReadDword(HKEY_CURRENT_USER, CityKey(L"UKXX0085"), L"DownloadResult", result));
  EXPECT_EQ(result, 200u) << ReadAll(log_);
  kill(second, SIGTERM);
  EXPECT_EQ(ExitStatus(second), 0);
  EXPECT_EQ(ServiceStarts(), 1);
}

TEST_F(SharedServiceTest, TenScreensStartedAtOnceStartOneService) {
  std::vector<pid_t> screens;
  for (int i = 0; i < 10; ++i) {
    screens.push_back(
        Launch(bin_ / "today-host",
               {"--snapshot", (device_.root() / ("s" + std::to_string(i) + ".png")).string(),
                "--after", "1"},
               log_));
  }
  for (const pid_t screen : screens) EXPECT_EQ(ExitStatus(screen), 0) << ReadAll(log_);
  EXPECT_EQ(ServiceStarts(), 1) << ReadAll(log_);
  EXPECT_TRUE(host::SomethingListens(port_)) << "the service did not outlive its screens";
}

}  // namespace
}  // namespace cirrodex::testing
