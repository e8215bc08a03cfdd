#include "core/today_item.h"

#include "core/registry_ops.h"
#include "core/settings.h"
#include "platform/broadcast.h"
#include "platform/window.h"

namespace cirrodex {

std::wstring TodayItemKey() {
  return std::wstring(platform::kTodayItemsKey) + L"\\" + kTodayItemName;
}

bool WriteTodayItemModule() {
  return StoreString(platform::HKEY_LOCAL_MACHINE, TodayItemKey(), platform::kTodayItemModuleValue,
                     kTodayItemModule);
}

bool DeleteTodayItemModule() {
  return DeleteValue(platform::HKEY_LOCAL_MACHINE, TodayItemKey(), platform::kTodayItemModuleValue);
}

bool DeleteTodayItem() { return DeleteTree(platform::HKEY_LOCAL_MACHINE, TodayItemKey()); }

void SendTodayRefreshNotification() { platform::BroadcastTodayRefresh(); }

bool InstallTodayItem() {
  WriteDefaultSettings();
  const bool written = WriteTodayItemModule();
  SendTodayRefreshNotification();
  return written;
}

}  // namespace cirrodex
