// The install tree (cmake --install) and the Debian package as a user meets them: an empty home,
// no $CIRRODEX_DEVICE, nothing set up beforehand. The Today screen lays out the device folder,
// starts the weather service of its own tree (here on a free port, made-up weather only) and
// paints the downloaded weather.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "host/own_service.h"
#include "tests/support/eventually.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"

namespace cirrodex::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kCityKey[] = "HKCU\\SOFTWARE\\Velbrook\\Cirrodex\\UKXX0085";

// Runs `program arg` through the shell, keeping only what `redirect` lets through.
int RunKeeping(const fs::path& program, const std::string& arg, const char* redirect,
               std::string& output) {
  return RunProgram("/bin/sh", {"-c", std::string("\"$0\" \"$1\" ") + redirect, program, arg},
                    &output);
}

using host::SomethingListens;

class InstallTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* home = std::getenv("HOME")) oldHome_ = home;
    setenv("HOME", home_.c_str(), 1);
    unsetenv("CIRRODEX_DEVICE");
    port_ = UnusedPort();
    const std::string port = std::to_string(port_);
    setenv("CIRRODEX_FEED_BASE",
           ("http://127.0.0.1:" + port + "/m/chnk/d/weather_d_src.asp?acid=").c_str(), 1);
    setenv("CIRRODEX_SERVICE_PORT", port.c_str(), 1);
    setenv("CIRRODEX_SERVICE_UPSTREAM", "none", 1);
    setenv("CIRRODEX_SERVICE_IDLE_EXIT", "1", 1);
  }
  void TearDown() override {
    setenv("HOME", oldHome_.c_str(), 1);
    for (const char* name : {"CIRRODEX_FEED_BASE", "CIRRODEX_SERVICE_PORT",
                             "CIRRODEX_SERVICE_UPSTREAM", "CIRRODEX_SERVICE_IDLE_EXIT"}) {
      unsetenv(name);
    }
  }

  // Installs the build into a prefix of this test's own; returns its bin/.
  fs::path Install() {
    const fs::path prefix = scratch_.root() / "prefix";
    std::string output;
    EXPECT_EQ(RunProgram(CIRRODEX_CMAKE,
                         {"--install", BuildDir().string(), "--prefix", prefix.string()}, &output),
              0)
        << output;
    return prefix / "bin";
  }

  fs::path InstallFolder() const {
    return home_ / ".local/share/cirrodex/device/program files/velbrook/nimbrel";
  }

  static std::string Query(const fs::path& bin, const std::string& key) {
    std::string output;
    RunProgram(bin / "cirrodex-reg", {"query", key, "/s"}, &output);
    return output;
  }

  // A first start from `bin`: the device folder is laid out, the weather downloaded through the
  // service the screen started and painted; the service outlives the screen and ends by itself
  // once idle.
  void ExpectFirstStartShowsWeather(const fs::path& bin) {
    const fs::path snapshot = scratch_.root() / "today.png";
    std::string output;
    ASSERT_EQ(
        RunProgram(bin / "today-host", {"--snapshot", snapshot.string(), "--after", "1"}, &output),
        0)
        << output;
    EXPECT_TRUE(Eventually([this] { return !SomethingListens(port_); }, 10000))
        << "the weather service did not exit by itself";
    EXPECT_TRUE(fs::is_regular_file(InstallFolder() / "Gantrel.exe"));
    EXPECT_TRUE(fs::is_regular_file(InstallFolder() / "bmp/5.bmp"));
    EXPECT_FALSE(fs::is_empty(InstallFolder() / "citycodes"));
    const std::string city = Query(bin, kCityKey);
    EXPECT_NE(city.find("DownloadResult    REG_DWORD    0xc8"), std::string::npos) << city;
    EXPECT_NE(city.find("London (sample)"), std::string::npos) << city;
    const QImage image(QString::fromStdString(snapshot.string()));
    ASSERT_FALSE(image.isNull()) << output;
    int drawn = 0;  // the strip, under the 22-pixel date line
    for (int y = 22; y < 52; ++y) {
      for (int x = 10; x < 230; ++x) drawn += (image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
    }
    EXPECT_GT(drawn, 300) << output;
  }

  TempDevice scratch_;
  fs::path home_ = scratch_.root() / "home";
  std::string oldHome_;
  int port_ = 0;
};

TEST_F(InstallTreeTest, FirstStartFromAnEmptyHomeShowsDownloadedWeather) {
  ExpectFirstStartShowsWeather(Install());
}

// An existing device folder keeps what the user made of it; an upgrade of the installed files
// reaches it on the next start of either program.
TEST_F(InstallTreeTest, UpgradeRefreshesInstalledFilesAndKeepsTheUsersOwn) {
  const fs::path bin = Install();
  WeatherServiceProcess service;
  ASSERT_TRUE(service.running());
  setenv("CIRRODEX_FEED_BASE", service.FeedBase().c_str(), 1);
  std::string output;
  ASSERT_EQ(RunProgram(bin / "gantrel", {"/downloadandexit"}, &output), 0) << output;
  const std::string settings = "HKCU\\SOFTWARE\\Velbrook\\Cirrodex";
  ASSERT_EQ(
      RunProgram(bin / "cirrodex-reg",
                 {"add", settings, "/v", "TemperatureUnits", "/t", "REG_DWORD", "/d", "2", "/f"},
                 &output),
      0)
      << output;
  // The user removed the Today item.
  ASSERT_EQ(
      RunProgram(bin / "cirrodex-reg",
                 {"delete", "HKLM\\Software\\Microsoft\\Today\\Items\\Cirrodex", "/f"}, &output),
      0)
      << output;
  const std::string city = Query(bin, kCityKey);
  ASSERT_NE(city.find("WeatherPreviousData"), std::string::npos) << city;

  const fs::path icon = bin.parent_path() / "share/cirrodex/bmp/5.bmp";
  const std::string upgraded = ReadFile(icon) + "upgraded";
  std::ofstream(icon, std::ios::binary | std::ios::trunc) << upgraded;
  const fs::path region = bin.parent_path() / "share/cirrodex/citycodes/zz-added.csv";
  std::ofstream(region) << "ZZXX0001,Added\n";
  unsetenv("CIRRODEX_SERVICE_PORT");  // the screen leaves the test's service alone
  const fs::path snapshot = scratch_.root() / "today.png";
  ASSERT_EQ(
      RunProgram(bin / "today-host", {"--snapshot", snapshot.string(), "--after", "0.5"}, &output),
      0)
      << output;

  EXPECT_EQ(ReadFile(InstallFolder() / "bmp/5.bmp"), upgraded);
  EXPECT_TRUE(fs::is_regular_file(InstallFolder() / "citycodes/zz-added.csv"));
  const std::string after = Query(bin, settings);
  EXPECT_NE(after.find("TemperatureUnits    REG_DWORD    0x2"), std::string::npos) << after;
  EXPECT_NE(Query(bin, kCityKey).find("WeatherPreviousData"), std::string::npos);
  EXPECT_EQ(Query(bin, "HKLM\\Software\\Microsoft\\Today\\Items").find("Cirrodex"),
            std::string::npos);
}

// Every program but the service (which has its own) answers without a display.
TEST_F(InstallTreeTest, EveryProgramAnswersHelpAndVersion) {
  const fs::path bin = Install();
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("QT_QPA_PLATFORM");
  for (const char* name :
       {"today-host", "gantrel", "cirrodex-reg", "cirrodex-draw", "cirrodex-install"}) {
    SCOPED_TRACE(name);
    struct Case {
      const char* arg;
      const char* redirect;  // what is kept: stdout or stderr
      int status;
      const char* shows;
    };
    const Case cases[] = {
        {"--help", "2>/dev/null", 0, "sage: "},
        {"--help", "2>&1 >/dev/null", 0, ""},
        {"--version", "2>/dev/null", 0, "(Cirrodex) "},
        {"--no-such-option", "2>&1 >/dev/null", 2, "sage: "},
        {"--no-such-option", "2>/dev/null", 2, ""},
    };
    for (const Case& c : cases) {
      std::string output;
      EXPECT_EQ(RunKeeping(bin / name, c.arg, c.redirect, output), c.status) << c.arg;
      if (*c.shows == '\0') {
        EXPECT_EQ(output, "") << c.arg << " " << c.redirect;
      } else {
        EXPECT_NE(output.find(c.shows), std::string::npos) << c.arg << ": " << output;
      }
    }
  }
  std::string output;
  EXPECT_EQ(RunKeeping(bin / "gantrel", "/current", "2>&1", output), 1);
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
  EXPECT_NE(output.find("no display"), std::string::npos) << output;
}

// The package, built once: what it holds, what it depends on, lintian, and a first start from
// its extracted tree.
TEST_F(InstallTreeTest, PackageHoldsTheTreeAndRunsFromItsExtractedFiles) {
  const fs::path out = scratch_.root() / "package";
  std::string output;
  ASSERT_EQ(
      RunProgram(CIRRODEX_CPACK,
                 {"--config", (BuildDir() / "CPackConfig.cmake").string(), "-B", out.string()},
                 &output, 240000),
      0)
      << output;
  fs::path deb;
  for (const auto& entry : fs::directory_iterator(out)) {
    if (entry.path().extension() == ".deb") deb = entry.path();
  }
  ASSERT_FALSE(deb.empty()) << output;
  EXPECT_TRUE(deb.filename().string().starts_with("cirrodex_")) << deb;
  EXPECT_TRUE(deb.filename().string().ends_with("_amd64.deb")) << deb;

  ASSERT_EQ(RunProgram("/usr/bin/dpkg-deb", {"-c", deb.string()}, &output), 0) << output;
  for (const char* path :
       {"./usr/bin/today-host", "./usr/bin/gantrel", "./usr/bin/weather-service",
        "./usr/bin/cirrodex-reg", "./usr/bin/cirrodex-draw", "./usr/bin/cirrodex-install",
        "./usr/lib/cirrodex/libcirrodex.so", "./usr/lib/cirrodex/libcirrodex_platform.so",
        "./usr/lib/cirrodex/libgantrel_interactive.so", "./usr/share/cirrodex/bmp/5.bmp",
        "./usr/share/cirrodex/citycodes/", "./usr/share/applications/cirrodex-today.desktop",
        "./usr/share/applications/cirrodex-setup.desktop",
        "./usr/share/icons/hicolor/scalable/apps/cirrodex.svg",
        "./usr/share/man/man1/today-host.1.gz", "./usr/share/man/man1/gantrel.1.gz",
        "./usr/lib/systemd/user/cirrodex-weather.socket",
        "./usr/lib/systemd/user/cirrodex-weather.service", "./usr/share/doc/cirrodex/copyright"}) {
    EXPECT_NE(output.find(path), std::string::npos) << path;
  }
  ASSERT_EQ(RunProgram("/usr/bin/dpkg-deb", {"-f", deb.string(), "Depends"}, &output), 0);
  for (const char* dependency : {"fonts-wine", "libc6", "libqt6widgets6", "libsqlite3-0"}) {
    EXPECT_NE(output.find(dependency), std::string::npos) << output;
  }
  RunProgram("/usr/bin/lintian", {"--tag-display-limit", "0", deb.string()}, &output, 240000);
  EXPECT_EQ(output.find("E: "), std::string::npos) << output;

  const fs::path root = scratch_.root() / "extracted";
  ASSERT_EQ(RunProgram("/usr/bin/dpkg-deb", {"-x", deb.string(), root.string()}, &output), 0)
      << output;
  for (const char* entry : {"cirrodex-today.desktop", "cirrodex-setup.desktop"}) {
    EXPECT_EQ(RunProgram("/usr/bin/desktop-file-validate",
                         {(root / "usr/share/applications" / entry).string()}, &output),
              0)
        << output;
    EXPECT_EQ(output, "") << entry;
  }
  // What software centres read: valid, with a screenshot and this version's release.
  const fs::path metainfo = root / "usr/share/metainfo/invalid.cirrodex.Cirrodex.metainfo.xml";
  EXPECT_EQ(RunProgram("/usr/bin/appstreamcli", {"validate", "--no-net", metainfo.string()}), 0);
  const std::string component = ReadFile(metainfo);
  EXPECT_NE(component.find("<screenshot type=\"default\">"), std::string::npos);
  EXPECT_NE(component.find("<release version=\"" CIRRODEX_VERSION_TEXT "\""), std::string::npos);
  ExpectFirstStartShowsWeather(root / "usr/bin");
}

}  // namespace
}  // namespace cirrodex::testing
