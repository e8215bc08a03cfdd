// The plug-in's module-level state and its operations. One item per loaded module: the state is
// built when the module is loaded (LoadModule) and torn down when it is unloaded (UnloadModule).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "core/download_result.h"
#include "core/settings.h"
#include "core/units.h"
#include "core/weather_report.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/window.h"
#include "today/rain_notice.h"

namespace cirrodex::today {

using platform::BOOL;
using platform::HINSTANCE;
using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::TODAYLISTITEM;
using platform::UINT;
using platform::WPARAM;

inline constexpr wchar_t kItemClassName[] = L"CirrodexClass";
inline constexpr wchar_t kItemTitle[] = L"Cirrodex";
inline constexpr wchar_t kSetupProgram[] = L"Gantrel.exe";
inline constexpr wchar_t kDownloadSwitch[] = L"/downloadandexit";
// The position the item asks for; the host places the window itself.
inline constexpr int kDefaultPosition = 65567;
inline constexpr int kTapColumnWidth = 44;
// The tap zones the keyboard walks: the current block's column, then four day columns.
inline constexpr int kTapZones = 5;

// The worker's interruptible sleep: an auto-reset event, not signalled when made, that is only
// ever signalled to stop the worker.
class StopEvent {
 public:
  virtual ~StopEvent() = default;
  // Waits up to `milliseconds`; true when the event was signalled (which resets it).
  virtual bool Wait(uint32_t milliseconds) = 0;
  virtual void Signal() = 0;
};

// A condition variable and a flag.
std::unique_ptr<StopEvent> MakeRealStopEvent();

struct TodayItemState {
  std::atomic<HWND> parentWindow{nullptr};
  std::atomic<HWND> itemWindow{nullptr};
  HINSTANCE instance = nullptr;
  WeatherReport report;
  std::atomic<int32_t> temperatureUnits{0};
  std::atomic<int32_t> windUnits{0};
  std::atomic<int32_t> pressureUnits{0};
  std::atomic<bool> showLastUpdate{false};
  std::atomic<int32_t> summaryType{0};
  std::atomic<uint32_t> lastDownloadResult{0};
  std::atomic<bool> heightChanged{true};
  std::atomic<bool> downloadDue{false};
  std::atomic<uint32_t> updateRate{kDefaultUpdateRate};  // minutes
  std::atomic<uint32_t> startUpdate{0};                  // minute of the day, inclusive
  std::atomic<uint32_t> endUpdate{kLastMinuteOfDay};     // minute of the day, inclusive
  std::atomic<bool> workerRunning{false};
  std::thread workerThread;  // touched by the user-interface thread only
  std::atomic<bool> workerEnded{false};
  std::unique_ptr<StopEvent> stopEvent;
  // When the worker's last successful launch began (a local file time); the worker's own.
  platform::FileTime lastLaunch = 0;
  // The download run the worker started last; the worker's own.
  std::shared_ptr<platform::StartedProcess> lastRun;
  // The tap zone the keyboard selection is on, or -1 while the item is not selected. The
  // user-interface thread's own.
  int selectedZone = -1;
  // The worker's own episodes of rain; the last notice and how many were given, read by the
  // panel under reportLock.
  RainEpisodes rainEpisodes;
  std::wstring rainNotice;
  uint32_t rainNoticeSerial = 0;
  // Held while the report is parsed and the settings copies are re-read, and while painting, so a
  // paint never sees a half-replaced report.
  std::mutex reportLock;
};

// The strip's wind and pressure units as the state holds them (ReadItemSettings copies them).
inline MeasureUnits StripUnits(const TodayItemState& s) {
  MeasureUnits units;
  units.wind = s.windUnits;
  units.pressure = s.pressureUnits;
  return units;
}

// Builds the state (the report reads its install folder). Idempotent.
void LoadModule();
// Stops what still runs (the worker, a window left alive), unregisters the class and destroys the
// state.
void UnloadModule();
// The state; LoadModule must have run.
TodayItemState& State();
bool ModuleLoaded();

// Makes the worker's stop events (tests install one that does not really wait; null restores the
// real one).
using StopEventFactory = std::unique_ptr<StopEvent> (*)();
void SetStopEventFactoryForTesting(StopEventFactory factory);

// Ordinal 240: the item window, or null when the item is not to be shown.
HWND InitializeItem(TODAYLISTITEM* item, HWND parent);
// Ordinal 241.
BOOL OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ItemWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// 30, 38, 40 or 48 pixels.
int ItemHeight();
// "<install folder>\Gantrel.exe".
std::wstring SetupProgramPath();
// Starts the setup program with `arguments` as its command line, not waiting; whether it started.
bool StartSetupProgram(std::wstring_view arguments);
// The command line of a tap at `x` of the item.
std::wstring_view TapCommand(uint32_t x);
// Reads and parses the selected city's stored feed; writes the default settings when there is
// none. Returns the parser's `changed` (false when nothing was stored).
bool LoadStoredWeather();
// Copies the unit, the layout, the last-update flag and the wind and pressure units from the
// registry into the state; the caller holds the report lock.
void ReadItemSettings(TodayItemState& s);

// The host's panel: the icon, temperature and city list it shows (WM_TODAYCUSTOM_GETPANELINFO),
// and a city picked from its menu (WM_TODAYCUSTOM_SELECTCITY).
LRESULT PanelInfo(TodayItemState& s, platform::TODAYPANELINFO* info);
LRESULT SelectCityFromPanel(TodayItemState& s, HWND window, WPARAM slot);
// Called by the worker with the selected city's nowcast: gives the panel a new notice when rain
// begins within the hour while it is dry now and the settings, the hours and the weather allow
// (RainEpisodes). True when a new notice was given (the item should repaint, so the host hears).
bool NoteRainOutlook(TodayItemState& s, const RainOutlook& outlook);
// The temperature as the panel icon shows it: whole degrees in `unit` with "°" ("7°", "-12°"),
// a bare number in Kelvin and Rankine, empty for a value that is not valid.
std::wstring PanelTemperature(const TemperatureValue& t, int32_t unit);

// The refresh worker.
bool StartRefreshWorker();
bool StopRefreshWorker();
// False when a launch was asked for and none was made: the setup program could not be started,
// or the run started last is still alive (then nothing is started and the pass only reads).
bool RefreshPass(bool launch);
uint32_t ElapsedMilliseconds(platform::FileTime from, platform::FileTime to);
// Whether `minute` (after midnight) lies in the allowed hours; equal bounds allow every minute.
bool UpdateAllowed(uint32_t minute, uint32_t startUpdate, uint32_t endUpdate);
// The worker thread's body split for tests: the start (launch whatever the schedule, note the
// time), one pass of the loop returning how long to wait afterwards, and the whole thread.
void WorkerStart();
uint32_t WorkerPass();
void WorkerMain();

}  // namespace cirrodex::today
