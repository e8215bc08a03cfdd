#include <gtest/gtest.h>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "platform/recording_context.h"
#include "tests/today/today_fixture.h"

namespace cirrodex::testing {
namespace {

using namespace platform;
using Kind = RecordingContext::Kind;

constexpr wchar_t kGantrel[] = L"\\program files\\velbrook\\nimbrel\\Gantrel.exe";

class ItemWindowTest : public TodayTest {};

std::vector<std::wstring> TextsOf(const RecordingContext& dc) {
  std::vector<std::wstring> texts;
  for (const auto& call : dc.CallsOf(Kind::Text)) texts.push_back(call.text);
  return texts;
}

bool AnyTextContains(const RecordingContext& dc, std::wstring_view part) {
  for (const std::wstring& text : TextsOf(dc)) {
    if (text.find(part) != std::wstring::npos) return true;
  }
  return false;
}

TEST_F(ItemWindowTest, DisabledRecordMakesNothing) {
  TODAYLISTITEM record;
  record.fEnabled = 0;
  record.hinstDLL = &record;
  EXPECT_EQ(today::InitializeItem(&record, screen_), nullptr);
  EXPECT_EQ(today::State().itemWindow.load(), nullptr);
  EXPECT_FALSE(today::State().workerThread.joinable());
  // No class was registered for the instance.
  EXPECT_FALSE(UnregisterClass(today::kItemClassName, &record));
  EXPECT_TRUE(starter_.Launches().empty());
}

TEST_F(ItemWindowTest, NoWindowMeansNoWorkerLeftRunning) {
  DestroyWindow(screen_);  // a child needs a live parent
  TODAYLISTITEM record;
  record.fEnabled = 1;
  record.hinstDLL = &record;
  EXPECT_EQ(today::InitializeItem(&record, screen_), nullptr);
  EXPECT_EQ(today::State().itemWindow.load(), nullptr);
  EXPECT_FALSE(today::State().workerThread.joinable());
  EXPECT_FALSE(today::State().workerRunning);
}

TEST_F(ItemWindowTest, InitialisationMakesAVisibleChildAndStartsTheWorker) {
  HWND item = Initialize();
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(GetParent(item), screen_);
  EXPECT_EQ(GetWindowText(item), L"Cirrodex");
  RECT bounds;
  ASSERT_TRUE(GetWindowBounds(item, &bounds));
  EXPECT_EQ(bounds, (RECT{65567, 65567, 65567, 65567}));
  // The worker's start launches a download at once.
  ASSERT_TRUE(starter_.WaitForLaunches(1, 5000));
  EXPECT_EQ(starter_.Launches()[0].program, kGantrel);
  EXPECT_EQ(starter_.Launches()[0].arguments, L"/downloadandexit");
  EXPECT_TRUE(DestroyWindow(item));
  EXPECT_FALSE(today::State().workerThread.joinable());
}

TEST_F(ItemWindowTest, InitialisingAgainAfterDestroyRegistersTheClassAgain) {
  HWND first = Initialize();
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(DestroyWindow(first));
  HWND second = Initialize();
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(IsWindow(second));
}

// Each message with what the procedure answers.
TEST_F(ItemWindowTest, MessageTableReturns) {
  HWND item = Initialize();
  ASSERT_NE(item, nullptr);
  struct Case {
    UINT message;
    WPARAM wParam;
    LRESULT expected;
  };
  RecordingContext dc;
  const Case cases[] = {
      {WM_PAINT, 0, 0},     {WM_ERASEBKGND, reinterpret_cast<WPARAM>(&dc), 1},
      {WM_LBUTTONUP, 0, 0}, {WM_TODAYCUSTOM_CLEARCACHE, 0, 0},
      {0x0400, 0, 0},  // anything else goes to the default procedure
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SendMessage(item, c.message, c.wParam, 0), c.expected) << std::hex << c.message;
  }
  EXPECT_EQ(
      SendMessage(item, WM_TODAYCUSTOM_QUERYREFRESHCACHE, 0, reinterpret_cast<LPARAM>(&record_)),
      1);
  EXPECT_EQ(SendMessage(item, WM_DESTROY, 0, 0), 0);
  EXPECT_FALSE(today::State().workerThread.joinable());
}

TEST_F(ItemWindowTest, EraseAsksTheScreenForItsWatermark) {
  HWND item = Initialize();
  ASSERT_TRUE(SetWindowPos(item, nullptr, 0, 20, 240, 38, SWP_NOZORDER));
  RecordingContext dc;
  EXPECT_EQ(SendMessage(item, WM_ERASEBKGND, reinterpret_cast<WPARAM>(&dc), 0), 1);
  ASSERT_EQ(watermarks_.size(), 1u);
  EXPECT_EQ(watermarks_[0].hdc, &dc);
  EXPECT_EQ(watermarks_[0].rc, (RECT{0, 0, 240, 38}));
  EXPECT_EQ(watermarks_[0].hwnd, item);
}

TEST_F(ItemWindowTest, TapColumnsChooseTheCommandLine) {
  HWND item = Initialize();
  ASSERT_TRUE(starter_.WaitForLaunches(1, 5000));  // the worker's own launch
  const struct {
    uint16_t x;
    std::wstring_view command;
  } cases[] = {{0, L"/current"}, {43, L"/current"}, {44, L"/day1"},  {87, L"/day1"},
               {88, L"/day2"},   {131, L"/day2"},   {132, L"/day3"}, {176, L"/day4"},
               {219, L"/day4"},  {220, L""},        {239, L""},      {65535, L""}};
  for (const auto& c : cases) {
    const size_t before = starter_.Launches().size();
    // y plays no part.
    EXPECT_EQ(SendMessage(item, WM_LBUTTONUP, 0, MakeLParam(c.x, 25)), 0);
    auto launches = starter_.Launches();
    ASSERT_EQ(launches.size(), before + 1) << c.x;
    EXPECT_EQ(launches.back().program, kGantrel);
    EXPECT_EQ(launches.back().arguments, c.command) << c.x;
  }
  EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(ItemWindowTest, TheScreensMenuHasNextHoursWhichOpensTheHourlyPage) {
  HWND item = Initialize();
  ASSERT_TRUE(starter_.WaitForLaunches(1, 5000));  // the worker's own launch
  wchar_t caption[8] = {};
  TODAYMENUCOMMAND text{caption, static_cast<DWORD>(std::size(caption))};
  EXPECT_EQ(SendMessage(item, WM_TODAYCUSTOM_GETMENUCOMMAND, 0, reinterpret_cast<LPARAM>(&text)),
            1);
  EXPECT_STREQ(caption, L"Next ho") << "cut to the host's buffer";
  EXPECT_EQ(SendMessage(item, WM_TODAYCUSTOM_GETMENUCOMMAND, 1, reinterpret_cast<LPARAM>(&text)),
            0);
  const size_t before = starter_.Launches().size();
  EXPECT_EQ(SendMessage(item, WM_TODAYCUSTOM_MENUCOMMAND, 0, 0), 1);
  ASSERT_EQ(starter_.Launches().size(), before + 1);
  EXPECT_EQ(starter_.Launches().back().arguments, L"/hourly");
  EXPECT_EQ(SendMessage(item, WM_TODAYCUSTOM_MENUCOMMAND, 1, 0), 0);
  EXPECT_EQ(starter_.Launches().size(), before + 1);
}

TEST_F(ItemWindowTest, FailedTapShowsTheProgramPath) {
  SetSetting(L"UpdateRate", 30);
  ASSERT_TRUE(CreateString(HKEY_CURRENT_USER, kSettingsKey, kInstallPath, L"\\apps\\nimbrel\\"));
  today::UnloadModule();
  today::LoadModule();  // the report reads its install folder at module load
  starter_.SetResult(false);
  HWND item = Initialize();
  ASSERT_TRUE(starter_.WaitForLaunches(1, 5000));
  SendMessage(item, WM_LBUTTONUP, 0, MakeLParam(50, 0));
  auto shown = boxes_.boxes();
  ASSERT_EQ(shown.size(), 1u);  // the worker's failed launches show nothing
  // Joined without looking for a trailing separator.
  EXPECT_EQ(shown[0].text, L"Failed to start \"\\apps\\nimbrel\\\\Gantrel.exe\"");
  EXPECT_EQ(shown[0].caption, L"Cirrodex");
  EXPECT_EQ(shown[0].type, MB_OK);
  EXPECT_EQ(shown[0].owner, item);
}

struct HeightCase {
  uint32_t layout;
  uint32_t showLastUpdate;
  uint32_t result;
  DWORD height;
};

class ItemHeightTest : public TodayTest, public ::testing::WithParamInterface<HeightCase> {};

TEST_P(ItemHeightTest, FirstQueryGivesTheHeight) {
  const HeightCase& c = GetParam();
  StoreFeed(SampleFeed(), c.result);
  SetSetting(kSummaryDisplayType, c.layout);
  SetSetting(kDisplayLastUpdateTime, c.showLastUpdate);
  HWND item = Initialize();
  record_.cyp = 0;
  EXPECT_EQ(
      SendMessage(item, WM_TODAYCUSTOM_QUERYREFRESHCACHE, 0, reinterpret_cast<LPARAM>(&record_)),
      1);
  EXPECT_EQ(record_.cyp, c.height);
  EXPECT_EQ(today::ItemHeight(), static_cast<int>(c.height));
}

INSTANTIATE_TEST_SUITE_P(Heights, ItemHeightTest,
                         ::testing::Values(HeightCase{2, 0, 200, 30}, HeightCase{2, 1, 200, 38},
                                           HeightCase{0, 0, 12029, 38}, HeightCase{5, 0, 200, 40},
                                           HeightCase{5, 0, 12007, 48}, HeightCase{5, 1, 200, 48},
                                           HeightCase{9, 0, 200, 30}));

TEST_F(ItemWindowTest, SecondQueryWithoutChangeLeavesTheHeightAlone) {
  StoreFeed(SampleFeed(), 200);
  HWND item = Initialize();
  const auto lParam = reinterpret_cast<LPARAM>(&record_);
  ASSERT_EQ(SendMessage(item, WM_TODAYCUSTOM_QUERYREFRESHCACHE, 0, lParam), 1);
  EXPECT_EQ(record_.cyp, 38u);  // the default settings show the last update time
  record_.cyp = 999;
  EXPECT_EQ(SendMessage(item, WM_TODAYCUSTOM_QUERYREFRESHCACHE, 0, lParam), 0);
  EXPECT_EQ(record_.cyp, 999u);
}

TEST_F(ItemWindowTest, NoStoredFeedWritesTheDefaultSettings) {
  Initialize();
  uint32_t layout = 0;
  EXPECT_TRUE(ReadDword(HKEY_CURRENT_USER, kSettingsKey, kSummaryDisplayType, layout));
  EXPECT_EQ(layout, 2u);
  // The copies were read before the defaults were written; the result is still 0.
  EXPECT_EQ(today::State().summaryType, 0);
  EXPECT_EQ(today::State().lastDownloadResult, 0u);
  EXPECT_EQ(today::ItemHeight(), 38);
}

TEST_F(ItemWindowTest, PaintDrawsTheStripInTheScreensTextColour) {
  StoreFeed(SampleFeed(), 12029);
  SetSetting(kSummaryDisplayType, 2);
  SetSetting(kDisplayLastUpdateTime, 0);
  HWND item = Initialize();
  ASSERT_NE(item, nullptr);
  RecordingContext dc;
  const Color before = dc.SetTextColor(Rgb(1, 2, 3));
  (void)before;
  dc.Clear();
  Paint(dc);
  // The screen's colour while drawing, the previous one afterwards.
  auto colours = dc.CallsOf(Kind::SetTextColor);
  ASSERT_GE(colours.size(), 2u);
  EXPECT_EQ(colours.front().color, kScreenTextColor);
  EXPECT_EQ(colours.back().color, Rgb(1, 2, 3));
  EXPECT_EQ(dc.bkMode(), BackgroundMode::Transparent);
  // Layout 2 names the city; the status line lies under the 30-pixel strip.
  EXPECT_TRUE(AnyTextContains(dc, L"London"));
  bool statusLine = false;
  for (const auto& call : dc.CallsOf(Kind::Text)) {
    if (call.text.find(L"Last updated:") != std::wstring::npos) {
      statusLine = true;
      EXPECT_EQ(call.rect, (RECT{10, 30, 230, 38}));
      EXPECT_NE(call.text.find(L"Please check internet access"), std::wstring::npos);
    }
  }
  EXPECT_TRUE(statusLine);
  // The erase reached the screen first.
  EXPECT_EQ(watermarks_.size(), 1u);
  EXPECT_FALSE(GetUpdateState(item).invalid);
}

// Before any weather was stored, the status line says what the downloads got.
TEST_F(ItemWindowTest, WithoutStoredWeatherTheStatusLineShowsTheStoredResult) {
  WriteDefaultSettings();
  ASSERT_TRUE(CreateDword(HKEY_CURRENT_USER, SelectedCityKey(), L"DownloadResult", 12152));
  ASSERT_NE(Initialize(), nullptr);
  RecordingContext dc;
  Paint(dc);
  EXPECT_TRUE(AnyTextContains(dc, L"Last updated:  - No weather in the answer"));
}

TEST_F(ItemWindowTest, OptionsProcedureAnswersOnlyInitDialog) {
  int dialogStandIn = 0;
  auto* dialog = reinterpret_cast<HWND>(&dialogStandIn);
  EXPECT_EQ(today::OptionsDialogProc(dialog, WM_PAINT, 0, 0), 0);
  EXPECT_EQ(today::OptionsDialogProc(dialog, WM_DESTROY, 0, 0), 0);
  EXPECT_TRUE(boxes_.boxes().empty());
  EXPECT_TRUE(starter_.Launches().empty());

  starter_.SetResult(false);  // a failure is not reported
  EXPECT_EQ(today::OptionsDialogProc(dialog, WM_INITDIALOG, 0, 0), 1);
  auto shown = boxes_.boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].owner, dialog);
  EXPECT_EQ(shown[0].text, L"Starting options");
  EXPECT_EQ(shown[0].caption, L"starting options");
  EXPECT_EQ(shown[0].type, MB_OK);
  auto launches = starter_.Launches();
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].program, kGantrel);
  EXPECT_EQ(launches[0].arguments, L"");
}

}  // namespace
}  // namespace cirrodex::testing
