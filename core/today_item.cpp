#include "core/today_item.h"

#include "core/registry_ops.h"
#include "core/settings.h"
#include "platform/broadcast.h"

namespace cirrodex {

bool WriteTodayItemModule() {
  return StoreString(platform::HKEY_LOCAL_MACHINE, kTodayItemKey, kTodayItemModuleValue,
                     kTodayItemModule);
}

bool DeleteTodayItemModule() {
  return DeleteValue(platform::HKEY_LOCAL_MACHINE, kTodayItemKey, kTodayItemModuleValue);
}

bool DeleteTodayItem() { return DeleteTree(platform::HKEY_LOCAL_MACHINE, kTodayItemKey); }

void SendTodayRefreshNotification() { platform::BroadcastTodayRefresh(); }

bool InstallTodayItem() {
  WriteDefaultSettings();
  const bool written = WriteTodayItemModule();
  SendTodayRefreshNotification();
  return written;
}

}  // namespace cirrodex
