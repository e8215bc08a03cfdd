#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <utility>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "platform/process.h"
#include "platform/recording_context.h"
#include "tests/support/eventually.h"
#include "tests/support/raw_server.h"
#include "tests/support/weather_service.h"
#include "tests/today/today_fixture.h"

namespace cirrodex::testing {
namespace {

using namespace platform;
using today::State;

constexpr wchar_t kDownload[] = L"/downloadandexit";

// The worker's passes driven on the test thread: an item window at (0, 20) on the screen and a
// stop event whose waits move the test clock.
class RefreshWorkerTest : public TodayTest {
 protected:
  void SetUp() override {
    TodayTest::SetUp();
    auto& s = State();
    s.stopEvent = std::make_unique<ClockStopEvent>();
    s.parentWindow = screen_;
    WNDCLASS itemClass;
    itemClass.lpfnWndProc = today::ItemWindowProc;
    itemClass.hInstance = &record_;
    itemClass.lpszClassName = today::kItemClassName;
    ASSERT_TRUE(RegisterClass(itemClass));
    s.instance = &record_;
    item_ = CreateWindowEx(0, today::kItemClassName, L"Cirrodex", WS_CHILD | WS_VISIBLE, 0, 20, 240,
                           30, screen_, nullptr, &record_, nullptr);
    ASSERT_NE(item_, nullptr);
    s.itemWindow = item_;
  }

  // What the worker thread does, for `seconds` of the test clock: the start, then passes each
  // followed by its wait.
  void RunWorkerFor(uint64_t seconds) {
    today::WorkerStart();
    while (ClockMs() < seconds * 1000) State().stopEvent->Wait(today::WorkerPass());
  }

  std::vector<uint64_t> LaunchTimes() {
    std::vector<uint64_t> times;
    for (const Launch& launch : starter_.LaunchesOf(kDownload)) times.push_back(launch.atMs);
    return times;
  }

  void Validate() {
    RecordingContext dc;
    PaintWindow(item_, dc, false);
  }

  HWND item_ = nullptr;
};

TEST(ElapsedMilliseconds, CountsForwardOnlyAndTruncatesTo32Bits) {
  const struct {
    FileTime from;
    FileTime to;
    uint32_t expected;
  } cases[] = {
      {0, 18000000000ull, 1800000},
      {1000, 1000 + 18000005000ull, 1800000},  // truncated toward zero
      {5000, 5000, 0},
      {18000000000ull, 0, 0},                       // the clock went back
      {0, (uint64_t{1} << 32) * 10000 + 70000, 7},  // the count keeps its low 32 bits
  };
  for (const auto& c : cases) {
    EXPECT_EQ(today::ElapsedMilliseconds(c.from, c.to), c.expected) << c.from << " " << c.to;
  }
}

TEST(UpdateAllowed, InclusiveBoundsOverMidnightAndEqualBounds) {
  const struct {
    uint32_t start, end, minute;
    bool allowed;
  } cases[] = {
      {420, 1320, 1321, false}, {420, 1320, 420, true},  {420, 1320, 1320, true},
      {420, 1320, 419, false},  {1320, 420, 1410, true}, {1320, 420, 419, true},
      {1320, 420, 720, false},  {1320, 420, 420, true},  {1320, 420, 421, false},
      {600, 600, 0, true},      {600, 600, 599, true},   {600, 600, 601, true},
      {600, 600, 1439, true},   {0, 1439, 0, true},      {0, 1439, 1439, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(today::UpdateAllowed(c.minute, c.start, c.end), c.allowed)
        << c.start << "-" << c.end << " at " << c.minute;
  }
}

TEST_F(RefreshWorkerTest, RateBoundaryIsExclusive) {
  StoreFeed(SampleFeed(), 200);
  SetSetting(kUpdateRate, 30);
  today::RefreshPass(false);
  ASSERT_FALSE(State().downloadDue);
  State().lastLaunch = SystemTimeToFileTime(clock_.LocalTime());
  clock_.Advance(1800000);
  EXPECT_EQ(today::WorkerPass(), 10000u);
  EXPECT_TRUE(starter_.LaunchesOf(kDownload).empty());
  clock_.Advance(500);
  today::WorkerPass();
  auto launches = starter_.LaunchesOf(kDownload);
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].atMs, 1800500u);
  EXPECT_FALSE(State().downloadDue);  // the pass read 200
}

TEST_F(RefreshWorkerTest, RateZeroLaunchesEveryTwentySeconds) {
  StoreFeed(SampleFeed(), 200);
  SetSetting(kUpdateRate, 0);
  today::RefreshPass(false);
  RunWorkerFor(120);
  auto times = LaunchTimes();
  ASSERT_GE(times.size(), 5u);
  EXPECT_EQ(times[0], 0u);
  for (size_t i = 2; i < times.size(); ++i) EXPECT_EQ(times[i] - times[i - 1], 20000u) << i;
}

TEST_F(RefreshWorkerTest, ClockSetBackDelaysTheRate) {
  StoreFeed(SampleFeed(), 200);
  SetSetting(kUpdateRate, 30);
  today::RefreshPass(false);
  SetTimeOfDay(12, 0);
  State().lastLaunch = SystemTimeToFileTime(clock_.LocalTime());
  SetTimeOfDay(11, 0);  // set back an hour: elapsed reads 0
  today::WorkerPass();
  SetTimeOfDay(12, 30, 0);  // exactly the rate after the last launch
  today::WorkerPass();
  EXPECT_TRUE(starter_.LaunchesOf(kDownload).empty());
  SetTimeOfDay(12, 30, 1);
  today::WorkerPass();
  EXPECT_EQ(starter_.LaunchesOf(kDownload).size(), 1u);
}

TEST_F(RefreshWorkerTest, WorkerStartLaunchesOutsideTheAllowedHours) {
  StoreFeed(SampleFeed(), 12029);
  SetSetting(kStartUpdate, 420);
  SetSetting(kEndUpdate, 1320);
  SetTimeOfDay(3, 0);
  State().downloadDue = true;  // as StartRefreshWorker leaves it
  today::WorkerStart();
  EXPECT_EQ(starter_.LaunchesOf(kDownload).size(), 1u);
  EXPECT_EQ(ClockStopEvent::Waits(), std::vector<uint32_t>{10000});
  // The first pass of the loop drops the request: it is 03:00:10.
  EXPECT_EQ(today::WorkerPass(), 10000u);
  EXPECT_EQ(starter_.LaunchesOf(kDownload).size(), 1u);
  EXPECT_FALSE(State().downloadDue);
}

TEST_F(RefreshWorkerTest, FailingDownloadRelaunchesEveryFortySeconds) {
  StoreFeed(SampleFeed(), 12029);
  State().downloadDue = true;
  RunWorkerFor(300);
  auto times = LaunchTimes();
  ASSERT_GE(times.size(), 6u);
  // The start, the first pass (the request is still due), then every 10 + 30 seconds.
  EXPECT_EQ(times[0], 0u);
  EXPECT_EQ(times[1], 10000u);
  for (size_t i = 2; i < times.size(); ++i) EXPECT_EQ(times[i] - times[i - 1], 40000u) << i;
  EXPECT_TRUE(State().downloadDue);
}

TEST_F(RefreshWorkerTest, FailedLaunchRepaintsAndRetriesAfterThirtySeconds) {
  StoreFeed(SampleFeed(), 200);
  starter_.SetResult(false);
  Validate();
  State().downloadDue = false;
  EXPECT_FALSE(today::RefreshPass(true));
  EXPECT_TRUE(State().downloadDue);
  EXPECT_TRUE(GetUpdateState(item_).invalid);
  EXPECT_TRUE(GetUpdateState(item_).erase);
  EXPECT_STREQ(State().report.city, L"");  // nothing was read back
  EXPECT_TRUE(ClockStopEvent::Waits().empty());

  // That call, the worker's start and its first pass all launch at once; then every 30 seconds.
  RunWorkerFor(100);
  auto times = LaunchTimes();
  ASSERT_GE(times.size(), 5u);
  EXPECT_EQ(times[2], 0u);
  for (size_t i = 3; i < times.size(); ++i) EXPECT_EQ(times[i] - times[i - 1], 30000u) << i;
  EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(RefreshWorkerTest, ClearCacheOutsideTheHoursIsDropped) {
  StoreFeed(SampleFeed(), 200);
  SetSetting(kStartUpdate, 420);
  SetSetting(kEndUpdate, 1320);
  today::RefreshPass(false);
  SetTimeOfDay(23, 0);
  State().lastLaunch = SystemTimeToFileTime(clock_.LocalTime());
  SendMessage(item_, WM_TODAYCUSTOM_CLEARCACHE, 0, 0);
  today::WorkerPass();
  EXPECT_TRUE(starter_.LaunchesOf(kDownload).empty());
  EXPECT_FALSE(State().downloadDue);

  SetTimeOfDay(12, 0);
  State().lastLaunch = SystemTimeToFileTime(clock_.LocalTime());
  SendMessage(item_, WM_TODAYCUSTOM_CLEARCACHE, 0, 0);
  today::WorkerPass();
  EXPECT_EQ(starter_.LaunchesOf(kDownload).size(), 1u);
}

TEST_F(RefreshWorkerTest, NewHeightResizesInPlaceAndIsReportedOnce) {
  StoreFeed(SampleFeed(), 200);
  SetSetting(kSummaryDisplayType, 2);
  SetSetting(kDisplayLastUpdateTime, 0);
  today::RefreshPass(false);
  const auto lParam = reinterpret_cast<LPARAM>(&record_);
  SendMessage(item_, WM_TODAYCUSTOM_QUERYREFRESHCACHE, 0, lParam);
  ASSERT_EQ(today::ItemHeight(), 30);
  Validate();

  StoreFeed(SampleFeed(), 12007);
  EXPECT_TRUE(today::RefreshPass(false));
  EXPECT_EQ(today::ItemHeight(), 38);
  RECT bounds;
  ASSERT_TRUE(GetWindowBounds(item_, &bounds));
  // Not moved; sized from a rectangle whose bottom is top + height - 1.
  EXPECT_EQ(bounds.left, 0);
  EXPECT_EQ(bounds.top, 20);
  EXPECT_EQ(bounds.Height(), 37);
  EXPECT_TRUE(GetUpdateState(item_).invalid);
  record_.cyp = 0;
  EXPECT_EQ(SendMessage(item_, WM_TODAYCUSTOM_QUERYREFRESHCACHE, 0, lParam), 1);
  EXPECT_EQ(record_.cyp, 38u);
  EXPECT_EQ(SendMessage(item_, WM_TODAYCUSTOM_QUERYREFRESHCACHE, 0, lParam), 0);
}

TEST_F(RefreshWorkerTest, RepaintsOnlyWhenSomethingShownChanged) {
  StoreFeed(SampleFeed(), 200);
  today::RefreshPass(false);
  Validate();
  today::RefreshPass(false);
  EXPECT_FALSE(GetUpdateState(item_).invalid);

  StoreFeed(SampleFeed(L"Paris"), 200);
  today::RefreshPass(false);
  EXPECT_TRUE(GetUpdateState(item_).invalid);
  EXPECT_STREQ(State().report.city, L"Paris");
  Validate();

  SetSetting(kTemperatureUnits, 1);
  today::RefreshPass(false);
  EXPECT_TRUE(GetUpdateState(item_).invalid);
  EXPECT_EQ(State().temperatureUnits, 1);
}

TEST_F(RefreshWorkerTest, MissingDownloadResultKeepsTheLastOne) {
  StoreFeed(SampleFeed(), 12029);
  today::RefreshPass(false);
  ASSERT_TRUE(DeleteValue(HKEY_CURRENT_USER, CityKey(L"UKXX0085"), L"DownloadResult"));
  today::RefreshPass(false);
  EXPECT_EQ(State().lastDownloadResult, 12029u);
}

// The real thread and the real stop event.
// Starts programs for real and keeps every run it started.
struct RealRunStarter : ProcessStarter {
  explicit RealRunStarter(ProcessStarter& real) : real(real) {}
  bool Start(std::wstring_view program, std::wstring_view arguments) override {
    return StartWatched(program, arguments) != nullptr;
  }
  std::shared_ptr<StartedProcess> StartWatched(std::wstring_view program,
                                               std::wstring_view arguments) override {
    auto run = real.StartWatched(program, arguments);
    if (run) runs.push_back(run);
    return run;
  }
  bool AllEnded() const {
    return std::none_of(runs.begin(), runs.end(), [](const auto& run) { return run->Running(); });
  }
  ProcessStarter& real;
  std::vector<std::shared_ptr<StartedProcess>> runs;
};

// The installed download run against a feed host that accepts and never answers: the worker
// keeps the one run it started, and starts no second beside it, for five minutes of passes.
TEST_F(RefreshWorkerTest, AStalledRunIsNotJoinedByAnother) {
  std::string output;
  ASSERT_EQ(RunProgram(BuildDir() / "bin" / "cirrodex-install", {}, &output), 0) << output;
  std::optional<RawServer> stalling;
  stalling.emplace([](RawServer::Connection& c) { c.Hold(120000); });
  ASSERT_TRUE(stalling->listening());
  setenv("CIRRODEX_FEED_BASE", stalling->Url("/m/chnk/d/weather_d_src.asp?acid=").c_str(), 1);
  StoreString(HKEY_CURRENT_USER, kSettingsKey, L"RadarImageURL", stalling->WideUrl("/r.jpg"));
  StoreString(HKEY_CURRENT_USER, kSettingsKey, L"SatelliteImageURL", stalling->WideUrl("/s.jpg"));
  StoreFeed(SampleFeed(), 12029);

  SetProcessStarterForTesting(nullptr);
  RealRunStarter starter(CurrentProcessStarter());
  SetProcessStarterForTesting(&starter);
  State().downloadDue = true;
  RunWorkerFor(300);
  EXPECT_EQ(starter.runs.size(), 1u);
  EXPECT_TRUE(State().downloadDue);  // still due: the next pass tries again

  // Once the host is gone the run ends, and the next pass starts a new one.
  stalling.reset();
  EXPECT_TRUE(Eventually([&] { return starter.AllEnded(); }, 60000));
  State().stopEvent->Wait(today::WorkerPass());
  EXPECT_EQ(starter.runs.size(), 2u);
  EXPECT_TRUE(Eventually([&] { return starter.AllEnded(); }, 60000));
  unsetenv("CIRRODEX_FEED_BASE");
}

// Stops the worker at its `stopAt`-th wait as StopRefreshWorker does (the flag, then the
// signal), moving the test clock for every wait; a wait after the stop that finds no signal
// would be a real sleep before the join.
struct StoppingEvent : today::StopEvent {
  StoppingEvent(FixedClock& clock, int stopAt) : clock(clock), stopAt(stopAt) {}
  bool Wait(uint32_t milliseconds) override {
    if (++waits == stopAt) State().workerRunning = false, Signal();
    if (std::exchange(signalled, false)) return true;
    if (stopped) sleptAfterStopMs += milliseconds;
    clock.Advance(milliseconds);
    return false;
  }
  void Signal() override { signalled = stopped = true; }
  FixedClock& clock;
  int stopAt, waits = 0;
  bool signalled = false, stopped = false;
  uint64_t sleptAfterStopMs = 0;
};

// Every run it starts keeps running.
struct EndlessRuns : ProcessStarter, StartedProcess {
  bool Start(std::wstring_view, std::wstring_view) override { return true; }
  std::shared_ptr<StartedProcess> StartWatched(std::wstring_view, std::wstring_view) override {
    return std::shared_ptr<StartedProcess>(std::shared_ptr<void>(), this);
  }
  bool Running() const override { return true; }
};

TEST_F(RefreshWorkerTest, AStopInAnyStateEndsTheWorkerWithoutSleeping) {
  const struct {
    const char* state;
    uint32_t storedResult;
    bool endlessRuns;
    int stopAt;
  } cases[] = {
      {"waiting after the start's launch", 12029, false, 1},
      {"waiting after a pass's launch", 12029, false, 2},
      {"sleeping between tries while a download is due", 12029, false, 3},
      {"sleeping while nothing is due", 200, false, 2},
      {"a download under way, waiting after its launch", 12029, true, 1},
      {"a download under way, sleeping after a pass that left it alone", 12029, true, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    StoreFeed(SampleFeed(), c.storedResult);
    EndlessRuns endless;
    if (c.endlessRuns) SetProcessStarterForTesting(&endless);
    auto* event = new StoppingEvent(clock_, c.stopAt);
    State().stopEvent.reset(event);
    State().lastRun.reset();
    State().downloadDue = State().workerRunning = true;
    today::WorkerMain();
    EXPECT_EQ(event->sleptAfterStopMs, 0u);
    State().lastRun.reset();
    SetProcessStarterForTesting(&starter_);
  }
}

class WorkerThreadTest : public TodayTest {};

TEST_F(WorkerThreadTest, StopsWithinTheGraceWhileWaitingOnALaunch) {
  HWND item = Initialize();
  ASSERT_NE(item, nullptr);
  ASSERT_TRUE(starter_.WaitForLaunches(1, 5000));  // now in the 10-second wait
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_TRUE(DestroyWindow(item));
  const auto took = std::chrono::steady_clock::now() - begin;
  EXPECT_LT(took, std::chrono::milliseconds(2000));
  EXPECT_FALSE(State().workerThread.joinable());
  EXPECT_FALSE(State().workerRunning);
  EXPECT_EQ(State().stopEvent, nullptr);
}

TEST_F(WorkerThreadTest, StopBeforeTheThreadRunsIsNotUndone) {
  for (int i = 0; i < 20; ++i) {
    EXPECT_TRUE(today::StartRefreshWorker());
    EXPECT_TRUE(today::StopRefreshWorker());  // would hang if the thread set itself running
    EXPECT_FALSE(State().workerThread.joinable());
  }
}

TEST_F(WorkerThreadTest, UnloadStopsAWorkerWhoseWindowWasNeverDestroyed) {
  HWND item = Initialize();
  ASSERT_TRUE(starter_.WaitForLaunches(1, 5000));
  today::UnloadModule();
  EXPECT_FALSE(IsWindow(item));
  today::LoadModule();  // for TearDown
}

}  // namespace
}  // namespace cirrodex::testing
