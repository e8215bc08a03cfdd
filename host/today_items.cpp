#include "host/today_items.h"

#include <cstdio>

#include "platform/module.h"
#include "platform/registry_store.h"
#include "platform/registry_value.h"
#include "platform/text.h"

namespace cirrodex::host {

using namespace platform;

namespace {

using InitializeCustomItemProc = HWND (*)(TODAYLISTITEM*, HWND);

int g_dialogInstance = 0;
constexpr wchar_t kDialogClass[] = L"TodayOptionsDialog";

LRESULT DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProc(window, message, wParam, lParam);
}

}  // namespace

void TodayItems::Load(HWND screen, int top) {
  top_ = top;
  std::vector<RegistryStore::Subkey> entries;
  if (!Registry().ReadSubkeys(HKEY_LOCAL_MACHINE, kTodayItemsKey, &entries)) {
    const bool missing = Registry().LastFailureWasMissing();
    const std::wstring problem = missing ? std::wstring() : FromUtf8(Registry().LastError());
    if (!problem.empty() && problem != problem_) {
      std::fprintf(stderr, "today-host: cannot read the Today items: %s\n",
                   Registry().LastError().c_str());
    }
    problem_ = problem;
    return;
  }
  problem_.clear();
  for (const RegistryStore::Subkey& entry : entries) {
    const std::wstring& name = entry.name;
    std::wstring module;
    for (const RegistryStore::Value& value : entry.values) {
      if (EqualIgnoringAsciiCase(value.name, kTodayItemModuleValue)) StringOf(value, module);
    }
    if (module.empty()) continue;
    HINSTANCE instance = LoadLibrary(module);
    if (instance == nullptr) {
      std::fprintf(stderr, "today-host: item %s: %s\n", ToUtf8(name).c_str(),
                   ModuleError().c_str());
      continue;
    }
    auto initialize = reinterpret_cast<InitializeCustomItemProc>(
        GetProcAddress(instance, kOrdinalInitializeCustomItem));
    if (initialize == nullptr) {
      std::fprintf(stderr, "today-host: item %s: %s\n", ToUtf8(name).c_str(),
                   ModuleError().c_str());
      FreeLibrary(instance);
      continue;
    }
    TodayItem item;
    item.name = name;
    item.module = module;
    item.instance = instance;
    item.record = std::make_unique<TODAYLISTITEM>();
    const std::wstring shortName = name.substr(0, MAX_ITEMNAME - 1);
    shortName.copy(item.record->szName, shortName.size());
    const std::wstring shortPath = module.substr(0, MAX_PATH - 1);
    shortPath.copy(item.record->szDLLPath, shortPath.size());
    item.record->tlit = tlitCustom;
    item.record->dwOrder = static_cast<DWORD>(items_.size());
    item.record->fEnabled = 1;
    item.record->hinstDLL = instance;
    item.window = initialize(item.record.get(), screen);
    if (item.window == nullptr) {
      FreeLibrary(instance);
      continue;
    }
    item.record->hwndCustom = item.window;
    items_.push_back(std::move(item));
  }
  QueryRefresh();
  Layout();
}

void TodayItems::DestroyWindows() {
  for (TodayItem& item : items_) {
    if (IsWindow(item.window)) DestroyWindow(item.window);
  }
}

void TodayItems::Unload() {
  DestroyWindows();
  for (TodayItem& item : items_) FreeLibrary(item.instance);
  items_.clear();
}

bool TodayItems::QueryRefresh() {
  bool changed = false;
  for (TodayItem& item : items_) {
    if (SendMessage(item.window, WM_TODAYCUSTOM_QUERYREFRESHCACHE, 0,
                    reinterpret_cast<LPARAM>(item.record.get())) == 1) {
      item.height = static_cast<int>(item.record->cyp);
      changed = true;
    }
  }
  if (changed) Layout();
  return changed;
}

void TodayItems::Layout() {
  int y = top_;
  for (TodayItem& item : items_) {
    item.top = y;
    SetWindowPos(item.window, nullptr, 0, y, width_, item.height, SWP_NOZORDER);
    y += item.height;
  }
}

void TodayItems::SendToAll(UINT message) {
  for (TodayItem& item : items_) SendMessage(item.window, message, 0, 0);
}

TodayItem* TodayItems::ItemAt(int y) {
  for (TodayItem& item : items_) {
    if (y >= item.top && y < item.top + item.height) return &item;
  }
  return nullptr;
}

bool TodayItems::OpenOptions(TodayItem& item, HWND owner) {
  auto procedure =
      reinterpret_cast<DLGPROC>(GetProcAddress(item.instance, kOrdinalCustomItemOptionsDlgProc));
  if (procedure == nullptr) return false;
  WNDCLASS dialogClass;
  dialogClass.lpfnWndProc = DialogProc;
  dialogClass.hInstance = &g_dialogInstance;
  dialogClass.lpszClassName = kDialogClass;
  RegisterClass(dialogClass);  // already there from an earlier dialog is fine
  HWND dialog = CreateWindowEx(0, kDialogClass, item.name, WS_VISIBLE, 0, 0, width_, 0, owner,
                               nullptr, &g_dialogInstance, nullptr);
  procedure(dialog, WM_INITDIALOG, 0, 0);
  DestroyWindow(dialog);
  return true;
}

int TodayItems::Bottom() const {
  return items_.empty() ? top_ : items_.back().top + items_.back().height;
}

}  // namespace cirrodex::host
