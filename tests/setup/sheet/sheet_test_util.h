// What the sheet tests share: a Qt application on the offscreen platform, a wait cursor that
// records what it was asked, the real weather service, and device folders
// with region files and icons.
#pragma once

#include <QWidget>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dialog/wait_cursor.h"
#include "tests/support/message_boxes.h"
#include "tests/support/qt_events.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"

namespace cirrodex::testing {

// Counts waits and notes how deep they nest.
class CountingWaitCursor : public WaitCursorHandler {
 public:
  CountingWaitCursor() { previous_ = SetWaitCursorHandler(this); }
  ~CountingWaitCursor() override { SetWaitCursorHandler(previous_); }
  void Begin() override {
    ++begun;
    ++depth;
  }
  void End() override { --depth; }
  int begun = 0;
  int depth = 0;

 private:
  WaitCursorHandler* previous_ = nullptr;
};

// The install folder of a fresh device: kDefaultInstallFolder.
std::filesystem::path InstallFolderPath();
// Writes a file under the install folder's "citycodes" folder.
void WriteRegionFile(const std::string& fileName, const std::string& content);
// Copies the build's weather icons into the install folder, so drawings show them.
void InstallIcons();

// Stores the city list: codes and names of slots 1-6 (an empty code leaves the slot empty).
void StoreCities(const std::vector<std::pair<std::wstring, std::wstring>>& slots,
                 uint32_t selected = 0);

// Six codes that the weather service knows.
extern const std::vector<std::pair<std::wstring, std::wstring>> kSixCities;

// Whether any of the six reports has been tried in this run.
bool AnyCityTried();

// A fresh device folder, fresh city reports and city list, recording message boxes and wait
// cursor, and the feed base of a weather service shared by the whole test program.
class SheetTest : public DeviceTest {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  static WeatherServiceProcess& Service() { return *service_; }

  RecordingMessageBoxes messages_;
  CountingWaitCursor waits_;

 private:
  static std::unique_ptr<WeatherServiceProcess> service_;
};

}  // namespace cirrodex::testing
