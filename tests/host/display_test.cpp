// The Today screen on a real X server (Xvfb) that goes away under it, as at a logout.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "tests/support/eventually.h"
#include "tests/support/temp_device.h"
#include "tests/support/virtual_display.h"
#include "tests/support/weather_service.h"

namespace cirrodex::testing {
namespace {

TEST(HostDisplayTest, ScreenEndsWithStatusOneWhenTheXServerGoes) {
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

  int status = -2;
  std::thread host(
      [&] { status = RunProgram(BuildDir() / "bin" / "today-host", {}, &output, 30000); });
  // The item's worker has launched its first download, which stored its (failed) result.
  const bool working = Eventually(
      [] {
        uint32_t result = 0;
        return ReadDword(HKEY_CURRENT_USER, SelectedCityKey(), L"DownloadResult", result);
      },
      20000);
  display.Kill();
  host.join();
  for (const char* name : {"CIRRODEX_FEED_BASE", "DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(name);
  ASSERT_TRUE(working) << output;
  EXPECT_EQ(status, 1) << output;
  EXPECT_NE(output.find("today-host: the X server closed the connection (the display went away)\n"),
            std::string::npos)
      << output;
  EXPECT_EQ(output.find("terminate"), std::string::npos) << output;
}

}  // namespace
}  // namespace cirrodex::testing
