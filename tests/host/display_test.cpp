// The Today screen on a real X server (Xvfb) that goes away under it, as at a logout.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "tests/support/eventually.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"

extern char** environ;

namespace cirrodex::testing {
namespace {

// Xvfb on a display number of its own choosing; empty display() when it could not start.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    int ready[2];
    if (pipe(ready) != 0) return;
    const std::string fd = std::to_string(ready[1]);
    const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);
    // It writes the display number once it accepts clients.
    std::string number;
    pollfd wait{ready[0], POLLIN, 0};
    char buffer[16];
    ssize_t n = 0;
    while (pid_ > 0 && poll(&wait, 1, 10000) > 0 && (n = read(ready[0], buffer, sizeof buffer)) > 0)
      number.append(buffer, static_cast<size_t>(n));
    close(ready[0]);
    while (!number.empty() && number.back() == '\n') number.pop_back();
    if (!number.empty()) display_ = ":" + number;
  }
  ~VirtualDisplay() { Kill(); }
  const std::string& display() const { return display_; }
  // As at a logout; SIGTERM lets it remove its socket and lock file.
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// Whether a window of some client is shown on the display `connection` leads to.
bool AWindowIsShown(xcb_connection_t* connection) {
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  xcb_query_tree_reply_t* tree =
      xcb_query_tree_reply(connection, xcb_query_tree(connection, screen->root), nullptr);
  const xcb_window_t* children = tree != nullptr ? xcb_query_tree_children(tree) : nullptr;
  bool shown = false;
  for (int i = 0; tree != nullptr && i < xcb_query_tree_children_length(tree) && !shown; ++i) {
    xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
        connection, xcb_get_window_attributes(connection, children[i]), nullptr);
    shown = attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attributes);
  }
  std::free(tree);
  return shown;
}

struct Program {
  const char* name;
  bool hasWorker;  // the Today screen: its item's worker runs and has launched a download
};

class DisplayGoesTest : public ::testing::TestWithParam<Program> {};

TEST_P(DisplayGoesTest, TheProgramEndsWithStatusOneAndSaysWhy) {
  const Program program = GetParam();
  TempDevice device;
  VirtualDisplay display;
  if (display.display().empty()) GTEST_SKIP() << "Xvfb (Debian's xvfb) could not start";
  std::string output;
  ASSERT_EQ(RunProgram(BuildDir() / "bin" / "cirrodex-install", {"--register"}, &output), 0)
      << output;
  setenv("CIRRODEX_FEED_BASE",
         ("http://127.0.0.1:" + std::to_string(UnusedPort()) + "/feed?code=").c_str(), 1);
  setenv("DISPLAY", display.display().c_str(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);

  xcb_connection_t* watch = xcb_connect(display.display().c_str(), nullptr);
  ASSERT_EQ(xcb_connection_has_error(watch), 0);
  int status = -2;
  std::thread run(
      [&] { status = RunProgram(BuildDir() / "bin" / program.name, {}, &output, 30000); });
  const bool working = Eventually(
      [&] {
        uint32_t result = 0;
        return AWindowIsShown(watch) &&
               (!program.hasWorker ||
                ReadDword(HKEY_CURRENT_USER, SelectedCityKey(), L"DownloadResult", result));
      },
      20000);
  display.Kill();
  run.join();
  xcb_disconnect(watch);
  for (const char* name : {"CIRRODEX_FEED_BASE", "DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(name);
  ASSERT_TRUE(working) << output;
  EXPECT_EQ(status, 1) << output;
  const std::string line =
      std::string(program.name) + ": the X server closed the connection (the display went away)\n";
  EXPECT_NE(output.find(line), std::string::npos) << output;
  EXPECT_EQ(output.find("terminate"), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P(TodayHostAndGantrel, DisplayGoesTest,
                         ::testing::Values(Program{"today-host", true}, Program{"gantrel", false}),
                         [](const auto& info) {
                           return std::string(info.param.hasWorker ? "TodayHost" : "Gantrel");
                         });

}  // namespace
}  // namespace cirrodex::testing
