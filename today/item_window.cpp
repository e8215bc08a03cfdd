// The item: initialisation, the window and its messages, the height, painting and taps.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

#include "core/format.h"
#include "core/settings.h"
#include "core/spoken_text.h"
#include "core/summary_drawing.h"
#include "core/weather_cache.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "today/item_state.h"

namespace cirrodex::today {

using namespace platform;

namespace {

// exit() (Qt's, when the display goes) destroys the state without UnloadModule: the worker is
// stopped first, so no joinable thread and no event it waits on is destroyed under it.
struct StateHolder {
  std::unique_ptr<TodayItemState> state;
  ~StateHolder() {
    if (state) StopRefreshWorker();
  }
} g_holder;
std::unique_ptr<TodayItemState>& g_state = g_holder.state;

// A frame round the selected tap zone of the strip (`height` pixels, the status line below it
// left alone), in the text colour the screen gave, so it shows wherever the text shows.
void DrawSelection(DrawingContext& dc, int zone, int height, Color color) {
  const Pen pen{color, 0};
  const Pen* previous = dc.SelectPen(&pen);
  const int left = zone * kTapColumnWidth;
  const int right = left + kTapColumnWidth - 1;
  const int bottom = height - 1;
  dc.Polyline({{left, 0}, {right, 0}, {right, bottom}, {left, bottom}, {left, 0}});
  dc.SelectPen(previous);
}

void Paint(TodayItemState& s, HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (dc != nullptr) {
    const auto text =
        static_cast<Color>(SendMessage(s.parentWindow.load(), TODAYM_GETCOLOR, TODAYCOLOR_TEXT, 0));
    const Color previous = dc->SetTextColor(text);
    dc->SetBkMode(BackgroundMode::Transparent);
    int height = 0;
    {
      std::lock_guard lock(s.reportLock);
      const int32_t layout = s.summaryType;
      height = SummaryHeight(layout);
      const uint32_t result = s.lastDownloadResult;
      const bool status = s.showLastUpdate || result != kResultOk;
      DrawStrip(s.report, *dc, layout, s.temperatureUnits, StripUnits(s),
                status ? StatusLine::Shown : StatusLine::Hidden, static_cast<int64_t>(result));
    }
    if (s.selectedZone >= 0) DrawSelection(*dc, s.selectedZone, height, text);
    dc->SetTextColor(previous);
  }
  EndPaint(window, &paint);
}

// Copies `text` into a host's buffer of `size` characters, cut to fit and terminated.
void CopyOut(std::wstring_view text, wchar_t* buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return;
  const size_t n = std::min<size_t>(text.size(), size - 1);
  std::copy_n(text.data(), n, buffer);
  buffer[n] = L'\0';
}

LRESULT AccessibleText(TodayItemState& s, TODAYACCESSIBLETEXT* text) {
  if (text == nullptr) return 0;
  std::lock_guard lock(s.reportLock);
  const uint32_t result = s.lastDownloadResult;
  const StatusLine status =
      s.showLastUpdate || result != kResultOk ? StatusLine::Shown : StatusLine::Hidden;
  const std::wstring description = SummaryText(s.report, s.summaryType, s.temperatureUnits,
                                               StripUnits(s), status, static_cast<int64_t>(result));
  std::wstring name = s.report.city[0] != L'\0' ? s.report.city : kItemTitle;
  // The selected zone in the name, so a screen reader says where Left and Right went.
  if (s.selectedZone == 0) name += L", current conditions";
  if (s.selectedZone > 0) name += WFormat(L", forecast day %d", s.selectedZone);
  CopyOut(name, text->name, text->nameSize);
  CopyOut(description, text->description, text->descriptionSize);
  return 1;
}

LRESULT Navigate(TodayItemState& s, HWND window, WPARAM key) {
  if (s.selectedZone < 0) return 0;
  int zone = s.selectedZone;
  if (key == VK_LEFT) --zone;
  if (key == VK_RIGHT) ++zone;
  if (zone == s.selectedZone || zone < 0 || zone >= kTapZones) return 0;
  s.selectedZone = zone;
  InvalidateRect(window, nullptr, true);
  return 1;
}

void OpenSetupProgram(HWND window, std::wstring_view command) {
  if (!StartSetupProgram(command)) {
    const std::wstring text = L"Failed to start \"" + SetupProgramPath() + L"\"";
    MessageBox(window, text, L"Cirrodex", MB_OK);
  }
}

void Tap(HWND window, LPARAM lParam) {
  OpenSetupProgram(window, TapCommand(LoWord(static_cast<uintptr_t>(lParam))));
}

// The one command of the screen's context menu: the setup program on its Hourly page.
LRESULT MenuCommandCaption(WPARAM command, TODAYMENUCOMMAND* text) {
  if (command != 0 || text == nullptr) return 0;
  CopyOut(L"Next hours", text->caption, text->captionSize);
  return 1;
}

}  // namespace

void LoadModule() {
  if (!g_state) g_state = std::make_unique<TodayItemState>();
}

void UnloadModule() {
  if (!g_state) return;
  // A host that unloads without destroying the window would leave it calling into freed code.
  HWND window = g_state->itemWindow.load();
  if (window != nullptr && IsWindow(window)) DestroyWindow(window);
  StopRefreshWorker();
  UnregisterClass(kItemClassName, g_state->instance);
  g_state.reset();
}

TodayItemState& State() { return *g_state; }
bool ModuleLoaded() { return g_state != nullptr; }

int ItemHeight() {
  TodayItemState& s = State();
  const bool statusLine = s.showLastUpdate || s.lastDownloadResult != kResultOk;
  return SummaryHeight(s.summaryType) + (statusLine ? 8 : 0);
}

std::wstring SetupProgramPath() { return InstallFolder(State().report) + L"\\" + kSetupProgram; }

bool StartSetupProgram(std::wstring_view arguments) {
  return CreateProcess(SetupProgramPath(), arguments);
}

std::wstring_view TapCommand(uint32_t x) {
  static constexpr std::wstring_view kCommands[] = {L"/current", L"/day1", L"/day2", L"/day3",
                                                    L"/day4"};
  const uint32_t column = x / kTapColumnWidth;
  return column < std::size(kCommands) ? kCommands[column] : std::wstring_view();
}

bool LoadStoredWeather() {
  TodayItemState& s = State();
  std::wstring text;
  uint32_t result = s.lastDownloadResult;
  if (!LoadStoredFeed(s.report, nullptr, text, result)) {
    // No weather stored yet: the status line still says what the downloads got, rather than
    // "No Internet Connection (0)" after answers that held no weather.
    if (LoadStoredResult(nullptr, result)) s.lastDownloadResult = result;
    WriteDefaultSettings();
    return false;
  }
  s.lastDownloadResult = result;
  bool changed = false;
  ParseFeed(s.report, text.c_str(), changed);
  return changed;
}

void ReadItemSettings(TodayItemState& s) {
  const DisplaySettings settings = ReadDisplaySettings(SettingsReader::TodayItem);
  s.temperatureUnits = settings.temperatureUnit;
  s.showLastUpdate = settings.showLastUpdate;
  s.summaryType = settings.summaryLayout;
  s.windUnits = settings.measureUnits.wind;
  s.pressureUnits = settings.measureUnits.pressure;
}

HWND InitializeItem(TODAYLISTITEM* item, HWND parent) {
  if (item == nullptr || item->fEnabled == 0) return nullptr;
  TodayItemState& s = State();
  s.parentWindow = parent;
  s.selectedZone = -1;
  {
    std::lock_guard lock(s.reportLock);
    ReadItemSettings(s);
    LoadStoredWeather();
  }
  StartRefreshWorker();
  s.instance = item->hinstDLL;
  UnregisterClass(kItemClassName, s.instance);
  WNDCLASS windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = ItemWindowProc;
  windowClass.hInstance = s.instance;
  windowClass.hbrBackground = COLOR_WINDOW_BRUSH;
  windowClass.lpszClassName = kItemClassName;
  RegisterClass(windowClass);
  s.heightChanged = true;
  HWND window =
      CreateWindowEx(0, kItemClassName, kItemTitle, WS_CHILD | WS_VISIBLE, kDefaultPosition,
                     kDefaultPosition, 0, 0, parent, nullptr, s.instance, nullptr);
  s.itemWindow = window;
  // Nothing would ever stop a worker whose item is not shown.
  if (window == nullptr) StopRefreshWorker();
  return window;
}

LRESULT ItemWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  TodayItemState& s = State();
  switch (message) {
    case WM_DESTROY:
      StopRefreshWorker();
      return 0;
    case WM_PAINT:
      Paint(s, window);
      return 0;
    case WM_ERASEBKGND: {
      TODAYDRAWWATERMARKINFO watermark;
      watermark.hdc = reinterpret_cast<HDC>(wParam);
      GetClientRect(window, &watermark.rc);
      watermark.hwnd = window;
      SendMessage(s.parentWindow.load(), TODAYM_DRAWWATERMARK, 0,
                  reinterpret_cast<LPARAM>(&watermark));
      return 1;
    }
    case WM_LBUTTONUP:
      Tap(window, lParam);
      return 0;
    case WM_TODAYCUSTOM_CLEARCACHE:
      s.downloadDue = true;
      return 0;
    case WM_TODAYCUSTOM_RECEIVEDSELECTION:
      s.selectedZone = 0;
      InvalidateRect(window, nullptr, true);
      return 1;
    case WM_TODAYCUSTOM_LOSTSELECTION:
      s.selectedZone = -1;
      InvalidateRect(window, nullptr, true);
      return 0;
    case WM_TODAYCUSTOM_USERNAVIGATION:
      return Navigate(s, window, wParam);
    case WM_TODAYCUSTOM_ACTION:
      if (wParam != VK_RETURN || s.selectedZone < 0) return 0;
      Tap(window, MakeLParam(static_cast<uint16_t>(s.selectedZone * kTapColumnWidth), 0));
      return 1;
    case WM_TODAYCUSTOM_GETACCESSIBLETEXT:
      return AccessibleText(s, reinterpret_cast<TODAYACCESSIBLETEXT*>(lParam));
    case WM_TODAYCUSTOM_GETPANELINFO:
      return PanelInfo(s, reinterpret_cast<TODAYPANELINFO*>(lParam));
    case WM_TODAYCUSTOM_SELECTCITY:
      return SelectCityFromPanel(s, window, wParam);
    case WM_TODAYCUSTOM_GETMENUCOMMAND:
      return MenuCommandCaption(wParam, reinterpret_cast<TODAYMENUCOMMAND*>(lParam));
    case WM_TODAYCUSTOM_MENUCOMMAND:
      if (wParam != 0) return 0;
      OpenSetupProgram(window, L"/hourly");
      return 1;
    case WM_TODAYCUSTOM_QUERYREFRESHCACHE: {
      auto* item = reinterpret_cast<TODAYLISTITEM*>(lParam);
      if (item == nullptr || !s.heightChanged.exchange(false)) return 0;
      item->cyp = static_cast<DWORD>(ItemHeight());
      return 1;
    }
    default:
      return DefWindowProc(window, message, wParam, lParam);
  }
}

BOOL OptionsDialogProc(HWND dialog, UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/) {
  if (message != WM_INITDIALOG) return 0;
  MessageBox(dialog, L"Starting options", L"starting options", MB_OK);
  StartSetupProgram(L"");
  return 1;
}

}  // namespace cirrodex::today
