// The installed download mode and its store: two runs at once, a store held by another process,
// and stores that cannot be read or written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "platform/device.h"
#include "platform/registry_store.h"
#include "tests/support/raw_server.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"
#include "update/http_fetch.h"

namespace cirrodex {
namespace {

using testing::RawServer;
namespace fs = std::filesystem;

constexpr wchar_t kCity[] = L"UKXX0085";

// Serves a feed whose temperature follows `version`, and no map pictures.
void ServeFeed(RawServer::Connection& c, const std::atomic<int>& version) {
  const std::string feed = "var swCity = \"London\"; var swTemp = \"" +
                           std::to_string(40 + version.load()) + "\"; var swCIcon = \"26\";";
  c.Send(c.Target().find("acid=") == std::string::npos
             ? "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"
             : "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(feed.size()) + "\r\n\r\n" +
                   feed);
}

// The installed programs and one city whose feed (and missing maps) `server_` serves; no display,
// so no map error can open a window.
class DownloadStoreTest : public testing::DeviceTest {
 protected:
  void SetUp() override {
    std::string output;
    ASSERT_EQ(testing::RunProgram(testing::BuildDir() / "bin" / "cirrodex-install", {}, &output), 0)
        << output;
    ASSERT_TRUE(StoreString(HKEY_CURRENT_USER, kSettingsKey, L"CityCode1", kCity));
    gantrel_ = platform::DevicePath(L"\\program files\\velbrook\\nimbrel\\Gantrel.exe");
    setenv("CIRRODEX_FEED_BASE", server_.Url("/m/chnk/d/weather_d_src.asp?acid=").c_str(), 1);
    StoreString(HKEY_CURRENT_USER, kSettingsKey, L"RadarImageURL", server_.WideUrl("/r.jpg"));
    StoreString(HKEY_CURRENT_USER, kSettingsKey, L"SatelliteImageURL", server_.WideUrl("/s.jpg"));
  }
  void TearDown() override { unsetenv("CIRRODEX_FEED_BASE"); }
  int Gantrel(std::string* output) {
    return testing::RunProgram(gantrel_, {"/downloadandexit"}, output);
  }
  static int HistoryRecords() {
    std::vector<std::wstring> subkeys;
    platform::Registry().EnumSubkeys(HKEY_CURRENT_USER, CityKey(kCity), &subkeys);
    return static_cast<int>(subkeys.size());
  }

  std::atomic<int> version_{1};
  RawServer server_{[this](RawServer::Connection& c) { ServeFeed(c, version_); }};
  fs::path gantrel_;
  // The download mode opens no window, so it must not need a display.
  testing::WithoutDisplay noDisplay_;
};

// Two runs started at once after the served feed changed, round after round: each change makes
// exactly one history record, as two runs one after the other would.
TEST_F(DownloadStoreTest, TwoRunsAtOnceAddEachChangedFeedOnce) {
  constexpr int kRounds = 6;
  for (int round = 1; round <= kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    version_ = round;
    std::string outputs[2];
    int statuses[2] = {-2, -2};
    std::thread first([&] { statuses[0] = Gantrel(&outputs[0]); });
    std::thread second([&] { statuses[1] = Gantrel(&outputs[1]); });
    first.join();
    second.join();
    ASSERT_EQ(statuses[0], 0) << outputs[0];
    ASSERT_EQ(statuses[1], 0) << outputs[1];
    ASSERT_EQ(HistoryRecords(), round);
    ASSERT_EQ(ReadDwordOr(HKEY_CURRENT_USER, CityKey(kCity), L"Latest", 999),
              static_cast<uint32_t>(round - 1));
  }
}

// Another process holds the store's write lock longer than the old 10-second wait: the run waits
// for it and stores its download.
TEST_F(DownloadStoreTest, ABusyStoreIsWaitedForNotDropped) {
  std::atomic<bool> holding{false};
  std::atomic<bool> release{false};
  std::thread holder([&] {
    platform::Registry().Transaction([&] {
      holding = true;
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(13);
      while (!release && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      return true;
    });
  });
  while (!holding) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::string output;
  const int status = Gantrel(&output);
  release = true;
  holder.join();
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(ReadDwordOr(HKEY_CURRENT_USER, CityKey(kCity), L"DownloadResult", 0), kResultOk);
  EXPECT_EQ(HistoryRecords(), 1);
}

// Another process holds the store for two minutes: the run waits a minute in all, not a minute
// per write, then stops with one line and leaves the city as it was.
TEST_F(DownloadStoreTest, AStoreHeldForTwoMinutesEndsTheRunAfterAMinuteInAll) {
  ASSERT_TRUE(StoreString(HKEY_CURRENT_USER, kSettingsKey, L"CityCode2", L"FRXX0076"));
  std::atomic<bool> holding{false};
  std::atomic<bool> release{false};
  std::thread holder([&] {
    platform::Registry().Transaction([&] {
      holding = true;
      const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(2);
      while (!release && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      return true;
    });
  });
  while (!holding) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const auto begin = std::chrono::steady_clock::now();
  std::string output;
  const int status = testing::RunProgram(gantrel_, {"/downloadandexit"}, &output, 110000);
  const auto took = std::chrono::steady_clock::now() - begin;
  release = true;
  holder.join();
  EXPECT_EQ(status, 1) << output;
  EXPECT_LT(took, std::chrono::seconds(90));
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
  EXPECT_NE(output.find("held by another program"), std::string::npos) << output;
  for (const wchar_t* city : {kCity, L"FRXX0076"}) {
    uint32_t result = 0;
    EXPECT_FALSE(ReadDword(HKEY_CURRENT_USER, CityKey(city), L"DownloadResult", result)) << result;
  }
  EXPECT_EQ(HistoryRecords(), 0);
}

struct BrokenStore {
  const char* name;
  void (*breakIt)(const fs::path& device);
  const char* saying;  // what the one line names
};

void Overwrite(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Every way the store can be unusable: the run fails with one line that says what failed.
TEST_F(DownloadStoreTest, AStoreThatCannotBeUsedFailsTheRunWithOneLine) {
  const BrokenStore cases[] = {
      {"damaged file",
       [](const fs::path& device) {
         Overwrite(device / "registry.db",
                   std::string("SQLite format 3") + '\0' + std::string(4000, '\x5a'));
       },
       "registry"},
      {"a folder in its place",
       [](const fs::path& device) {
         fs::remove(device / "registry.db");
         fs::create_directory(device / "registry.db");
       },
       "registry"},
      {"write-protected file",
       [](const fs::path& device) {
         fs::permissions(device / "registry.db", fs::perms::owner_read);
       },
       "write-protected"},
      {"device folder writable by others",
       [](const fs::path& device) { fs::permissions(device, fs::perms::all); }, "o+w"},
      {"a link as the lock file",
       [](const fs::path& device) {
         fs::create_symlink(device / "elsewhere.lock", device / "download.lock");
       },
       "download.lock is a symbolic link"},
      {"a FIFO as the lock file",
       [](const fs::path& device) { mkfifo((device / "download.lock").c_str(), 0600); },
       "download.lock is a FIFO"},
      {"a folder as the lock file",
       [](const fs::path& device) { fs::create_directory(device / "download.lock"); },
       "download.lock is a folder"},
      {"device folder that is a file",
       [](const fs::path& device) {
         fs::create_directory(device / "elsewhere");
         Overwrite(device / "elsewhere" / "file", "x");
         setenv("CIRRODEX_DEVICE", (device / "elsewhere" / "file").c_str(), 1);
       },
       "not a folder"},
  };
  const fs::path device = platform::DeviceRoot();
  const fs::path saved = device.parent_path() / (device.filename().string() + "-saved");
  platform::ResetRegistryForTesting();
  fs::copy(device, saved, fs::copy_options::recursive);
  for (const BrokenStore& test : cases) {
    SCOPED_TRACE(test.name);
    // Each case starts from the installed folder, its store closed and checkpointed.
    platform::ResetRegistryForTesting();
    fs::permissions(device, fs::perms::owner_all);
    fs::remove_all(device);
    fs::copy(saved, device, fs::copy_options::recursive);
    for (const char* extra : {"registry.db-wal", "registry.db-shm"}) fs::remove(device / extra);
    test.breakIt(device);
    std::string output;
    const int status = Gantrel(&output);
    setenv("CIRRODEX_DEVICE", device.c_str(), 1);
    EXPECT_NE(status, 0) << output;
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
    EXPECT_NE(output.find(test.saying), std::string::npos) << output;
  }
  fs::permissions(device, fs::perms::owner_all);
  fs::remove_all(saved);
}

}  // namespace
}  // namespace cirrodex
