// The refresh worker: launches the download on the user's schedule and re-reads the stored
// weather on every pass, repainting the item when what it shows has changed.
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <new>

#include "core/hourly_store.h"
#include "core/settings.h"
#include "core/summary_drawing.h"
#include "core/weather_cache.h"
#include "platform/process.h"
#include "today/item_state.h"

namespace cirrodex::today {

using namespace platform;

namespace {

constexpr uint32_t kWaitAfterLaunchMs = 10000;
constexpr uint32_t kWaitWhileDueMs = 30000;
constexpr uint32_t kWaitIdleMs = 10000;

class RealStopEvent : public StopEvent {
 public:
  bool Wait(uint32_t milliseconds) override {
    std::unique_lock lock(mutex_);
    const bool signalled = changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                             [this] { return signalled_; });
    signalled_ = false;
    return signalled;
  }
  void Signal() override {
    {
      std::lock_guard lock(mutex_);
      signalled_ = true;
    }
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_ = false;
};

StopEventFactory g_stopEventFactory = nullptr;

FileTime Now() { return SystemTimeToFileTime(CurrentClock().LocalTime()); }

void ReadSchedule(TodayItemState& s) {
  const UpdateSchedule schedule = ReadUpdateSchedule();
  s.updateRate = schedule.updateRate;
  s.startUpdate = schedule.startUpdate;
  s.endUpdate = schedule.endUpdate;
}

// The item's new height reaches the window at once; the host hears of it on its next query.
void ResizeItemWindow(TodayItemState& s, int height) {
  HWND window = s.itemWindow.load();
  RECT rect;
  if (!GetClientRect(window, &rect)) return;
  rect.bottom = rect.top + height - 1;
  MapWindowPoints(window, GetParent(window), &rect);
  SetWindowPos(window, nullptr, 0, 0, rect.Width(), rect.Height(), SWP_NOMOVE | SWP_NOZORDER);
}

// The clock in force as a UTC time, for the nowcast's steps.
std::time_t UtcNow() {
  const SystemTime t = CurrentClock().LocalTime();
  std::tm fields{};
  fields.tm_year = t.year - 1900;
  fields.tm_mon = t.month - 1;
  fields.tm_mday = t.day;
  fields.tm_hour = t.hour;
  fields.tm_min = t.minute;
  fields.tm_sec = t.second;
  fields.tm_isdst = -1;
  return std::mktime(&fields);
}

// What the selected city's stored nowcast says of the coming hour. Read on every pass, not only
// after a download: rain due in 90 minutes is due within the hour half an hour later.
RainOutlook SelectedCityRainOutlook(TodayItemState& s) {
  std::optional<HourlyForecast> hourly;
  {
    std::lock_guard lock(s.reportLock);
    hourly = LoadStoredHourlyForecast(SelectedCityCode());
  }
  RainOutlook outlook;
  // A made-up nowcast says nothing of the weather.
  if (!hourly || hourly->sample || !hourly->nowcast) return outlook;
  const std::time_t now = UtcNow();
  const NowcastRain rain = RainStartInNowcast(*hourly->nowcast, now);
  switch (rain.state) {
    case NowcastRain::State::Unknown:
      break;
    case NowcastRain::State::RainingNow:
      outlook = {true, true, 0};
      break;
    case NowcastRain::State::Dry:
      outlook = {true, false, -1};
      break;
    case NowcastRain::State::Begins:
      outlook = {true, false, static_cast<int>((rain.begins - now) / 60)};
      break;
  }
  return outlook;
}

}  // namespace

std::unique_ptr<StopEvent> MakeRealStopEvent() { return std::make_unique<RealStopEvent>(); }

void SetStopEventFactoryForTesting(StopEventFactory factory) { g_stopEventFactory = factory; }

uint32_t ElapsedMilliseconds(FileTime from, FileTime to) {
  return to > from ? static_cast<uint32_t>((to - from) / 10000) : 0;
}

bool UpdateAllowed(uint32_t minute, uint32_t startUpdate, uint32_t endUpdate) {
  if (startUpdate < endUpdate) return startUpdate <= minute && minute <= endUpdate;
  return minute >= startUpdate || minute <= endUpdate;
}

bool RefreshPass(bool launch) {
  TodayItemState& s = State();
  bool launched = false;
  if (launch && s.lastRun && s.lastRun->Running()) {
    // The run started last still works (a stalled feed host holds it for minutes): no second one
    // beside it. The download stays due, so the next pass tries again.
    s.downloadDue = true;
  } else if (launch) {
    std::shared_ptr<StartedProcess> run = CreateWatchedProcess(SetupProgramPath(), kDownloadSwitch);
    if (!run) {
      s.downloadDue = true;
      InvalidateRect(s.itemWindow.load(), nullptr, true);
      return false;
    }
    s.lastRun = std::move(run);
    launched = true;
    // The download gets this long before the stored data is read back.
    s.stopEvent->Wait(kWaitAfterLaunchMs);
  }
  const int height = ItemHeight();
  const bool showLastUpdate = s.showLastUpdate;
  const uint32_t result = s.lastDownloadResult;
  const int32_t units = s.temperatureUnits;
  const MeasureUnits stripUnits = StripUnits(s);
  const int32_t layout = s.summaryType;
  bool changed = false;
  {
    std::lock_guard lock(s.reportLock);
    changed = LoadStoredWeather();
    ReadItemSettings(s);
  }
  if (NoteRainOutlook(s, SelectedCityRainOutlook(s))) changed = true;
  const int newHeight = ItemHeight();
  if (newHeight != height) {
    changed = true;
    s.heightChanged = true;
    ResizeItemWindow(s, newHeight);
  }
  if (changed || s.lastDownloadResult != result || s.temperatureUnits != units ||
      StripUnits(s) != stripUnits || s.summaryType != layout ||
      s.showLastUpdate != showLastUpdate) {
    InvalidateRect(s.itemWindow.load(), nullptr, true);
  }
  if (s.lastDownloadResult == kResultOk) s.downloadDue = false;
  ReadSchedule(s);
  return launched || !launch;
}

void WorkerStart() {
  TodayItemState& s = State();
  // The worker's start launches a download whatever the hours and the rate.
  RefreshPass(true);
  s.lastLaunch = Now();
}

uint32_t WorkerPass() {
  TodayItemState& s = State();
  const SystemTime now = CurrentClock().LocalTime();
  const FileTime nowFile = SystemTimeToFileTime(now);
  // Unsigned 32-bit arithmetic, as the schedule has always been computed.
  if (ElapsedMilliseconds(s.lastLaunch, nowFile) > s.updateRate * 60000u) s.downloadDue = true;
  if (s.downloadDue && !UpdateAllowed(now.hour * 60u + now.minute, s.startUpdate, s.endUpdate)) {
    s.downloadDue = false;  // dropped, not kept for later
  }
  if (s.downloadDue) {
    if (RefreshPass(true)) s.lastLaunch = nowFile;
  } else {
    RefreshPass(false);
  }
  return s.downloadDue ? kWaitWhileDueMs : kWaitIdleMs;
}

void WorkerMain() {
  TodayItemState& s = State();
  try {
    WorkerStart();
    // The wait after a launch inside a pass takes a stop's signal, so the flag is asked again
    // before the pass's own wait: a stop then never sleeps out the 30 seconds before the join.
    while (s.workerRunning) {
      const uint32_t wait = WorkerPass();
      if (!s.workerRunning) break;
      s.stopEvent->Wait(wait);
    }
  } catch (...) {
    // Out of memory (or anything else) ends the thread the same way as a stop.
  }
  s.workerRunning = false;
  s.workerEnded = true;
}

bool StartRefreshWorker() {
  TodayItemState& s = State();
  try {
    s.downloadDue = true;
    if (!s.workerRunning) {
      if (!s.stopEvent)
        s.stopEvent = g_stopEventFactory ? g_stopEventFactory() : MakeRealStopEvent();
      // A worker that has ended is the platform's null thread handle.
      if (s.workerThread.joinable() && s.workerEnded) s.workerThread.join();
      if (!s.workerThread.joinable()) {
        s.workerEnded = false;
        // Set before the thread runs, so a stop that comes first is never undone by the thread.
        s.workerRunning = true;
        s.workerThread = std::thread(WorkerMain);
      }
    }
    return true;
  } catch (const std::exception&) {
    s.workerRunning = false;
    return false;
  }
}

bool StopRefreshWorker() {
  TodayItemState& s = State();
  s.workerRunning = false;
  if (s.stopEvent) s.stopEvent->Signal();
  // Every wait of the worker is on the stop event, so it ends within moments; it is joined, never
  // killed, so it cannot die holding the report lock or the registry.
  if (s.workerThread.joinable()) s.workerThread.join();
  s.stopEvent.reset();
  s.workerRunning = false;
  return true;
}

}  // namespace cirrodex::today
