#include "tests/today/today_fixture.h"

#include <chrono>

#include "core/registry_ops.h"
#include "core/settings.h"

namespace cirrodex::testing {

using namespace platform;

namespace {

FixedClock* g_clock = nullptr;
FileTime g_startTime = 0;
std::vector<TODAYDRAWWATERMARKINFO>* g_watermarks = nullptr;
int g_screenInstance = 0;

LRESULT ScreenProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case TODAYM_GETCOLOR:
      return wParam == TODAYCOLOR_TEXT ? kScreenTextColor : 0;
    case TODAYM_DRAWWATERMARK:
      if (g_watermarks != nullptr) {
        g_watermarks->push_back(*reinterpret_cast<TODAYDRAWWATERMARKINFO*>(lParam));
      }
      return 1;
    default:
      return DefWindowProc(window, message, wParam, lParam);
  }
}

std::unique_ptr<today::StopEvent> MakeClockStopEvent() {
  return std::make_unique<ClockStopEvent>();
}

}  // namespace

bool FakeStarter::Start(std::wstring_view program, std::wstring_view arguments) {
  std::lock_guard lock(mutex_);
  uint64_t atMs = 0;
  if (g_clock != nullptr) {
    const FileTime now = SystemTimeToFileTime(g_clock->LocalTime());
    atMs = now > g_startTime ? (now - g_startTime) / 10000 : 0;
  }
  launches_.push_back({std::wstring(program), std::wstring(arguments), atMs});
  changed_.notify_all();
  return result_;
}

std::vector<Launch> FakeStarter::Launches() {
  std::lock_guard lock(mutex_);
  return launches_;
}

std::vector<Launch> FakeStarter::LaunchesOf(std::wstring_view arguments) {
  std::vector<Launch> matching;
  for (const Launch& launch : Launches()) {
    if (launch.arguments == arguments) matching.push_back(launch);
  }
  return matching;
}

bool FakeStarter::WaitForLaunches(size_t count, int timeoutMs) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return launches_.size() >= count; });
}

bool ClockStopEvent::Wait(uint32_t milliseconds) {
  Waits().push_back(milliseconds);
  if (g_clock != nullptr) g_clock->Advance(milliseconds);
  const bool signalled = signalled_;
  signalled_ = false;
  return signalled;
}

std::vector<uint32_t>& ClockStopEvent::Waits() {
  static std::vector<uint32_t> waits;
  return waits;
}

void TodayTest::SetUp() {
  g_clock = &clock_;
  g_watermarks = &watermarks_;
  startTime_ = SystemTimeToFileTime(clock_.LocalTime());
  g_startTime = startTime_;
  SetClockForTesting(&clock_);
  SetProcessStarterForTesting(&starter_);
  ClockStopEvent::Waits().clear();
  // The program-wide city list outlives each test's device folder.
  Cities() = CityList{};
  WNDCLASS screenClass;
  screenClass.lpfnWndProc = ScreenProc;
  screenClass.hInstance = &g_screenInstance;
  screenClass.lpszClassName = L"TestTodayScreen";
  RegisterClass(screenClass);
  screen_ = CreateWindowEx(0, L"TestTodayScreen", L"Today", WS_VISIBLE, 0, 0, 240, 320, nullptr,
                           nullptr, &g_screenInstance, nullptr);
  ASSERT_NE(screen_, nullptr);
  today::LoadModule();
}

void TodayTest::TearDown() {
  today::UnloadModule();
  today::SetStopEventFactoryForTesting(nullptr);
  DestroyWindow(screen_);
  UnregisterClass(L"TestTodayScreen", &g_screenInstance);
  SetMessageBoxHandler(nullptr);
  SetProcessStarterForTesting(nullptr);
  SetClockForTesting(nullptr);
  g_watermarks = nullptr;
  g_clock = nullptr;
}

void TodayTest::StoreFeed(const std::wstring& feed, uint32_t result) {
  WriteDefaultSettings();
  const std::wstring key = SelectedCityKey();
  ASSERT_EQ(key, CityKey(L"UKXX0085"));
  ASSERT_TRUE(CreateString(HKEY_CURRENT_USER, key, L"WeatherPreviousData", feed));
  ASSERT_TRUE(CreateDword(HKEY_CURRENT_USER, key, L"DownloadResult", result));
}

void TodayTest::SetSetting(const wchar_t* name, uint32_t value) {
  ASSERT_TRUE(CreateDword(HKEY_CURRENT_USER, kSettingsKey, name, value));
}

HWND TodayTest::Initialize() {
  record_ = TODAYLISTITEM{};
  record_.fEnabled = 1;
  record_.hinstDLL = &record_;
  return today::InitializeItem(&record_, screen_);
}

void TodayTest::Paint(DrawingContext& dc, bool erase) {
  PaintWindow(today::State().itemWindow.load(), dc, erase);
}

void TodayTest::SetTimeOfDay(int hour, int minute, int second) {
  clock_.Set(SystemTime{2025, 5, 2, 6, static_cast<uint16_t>(hour), static_cast<uint16_t>(minute),
                        static_cast<uint16_t>(second), 0});
}

uint64_t TodayTest::ClockMs() const {
  const FileTime now = SystemTimeToFileTime(clock_.LocalTime());
  return now >= startTime_ ? (now - startTime_) / 10000 : 0;
}

void TodayTest::UseClockStopEvent() { today::SetStopEventFactoryForTesting(MakeClockStopEvent); }

std::wstring SampleFeed(const std::wstring& city) {
  return L"var swCity = \"" + city +
         L"\"; var swTemp = \"59\"; var swCIcon = \"26\"; var swConText = \"Cloudy\"; "
         L"var swWindS = \"10\"; var swWindD = \"NE\"; var swBaro = \"30.01\"; "
         L"var swLastUp = \"5/6/2025 10:00:00\";";
}

}  // namespace cirrodex::testing
