// The Today screen's items: the modules named under HKEY_LOCAL_MACHINE
// "Software\Microsoft\Today\Items", each loaded, initialised with an enabled record and laid out
// in a column below the date line. Runs on the user-interface thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/window.h"

namespace cirrodex::host {

struct TodayItem {
  std::wstring name;    // the subkey
  std::wstring module;  // the "DLL" value, a handheld path
  platform::HINSTANCE instance = nullptr;
  platform::HWND window = nullptr;
  // The record the item keeps a pointer to while it lives; never moves.
  std::unique_ptr<platform::TODAYLISTITEM> record;
  int top = 0;     // in the screen's client coordinates
  int height = 0;  // the last height the item gave
};

class TodayItems {
 public:
  explicit TodayItems(int width) : width_(width) {}
  ~TodayItems() { Unload(); }
  TodayItems(const TodayItems&) = delete;
  TodayItems& operator=(const TodayItems&) = delete;

  // Loads every item of the registry whose module loads and whose initialisation gives a window,
  // asks each its height, and lays them out from `top`. Problems go to stderr; the rest load.
  // When the item list itself cannot be read (a damaged registry), nothing loads and problem()
  // says why.
  void Load(platform::HWND screen, int top);
  // Destroys every item window (WM_DESTROY) and unloads the modules.
  void Unload();
  // Destroys every item window, leaving the modules loaded.
  void DestroyWindows();
  // Asks every item WM_TODAYCUSTOM_QUERYREFRESHCACHE; true when one gave a new height, in which
  // case the column has been laid out again.
  bool QueryRefresh();
  // Sends `message` to every item.
  void SendToAll(platform::UINT message);
  // The item at `y` of the screen, or null.
  TodayItem* ItemAt(int y);
  // Calls the item's options procedure (ordinal 241) with WM_INITDIALOG on a dialog window made
  // for it; false when the module has none.
  bool OpenOptions(TodayItem& item, platform::HWND owner);

  std::vector<TodayItem>& items() { return items_; }
  // Why the last Load could not read the item list; empty when it could (or there was none).
  const std::wstring& problem() const { return problem_; }
  // The bottom of the last item.
  int Bottom() const;

 private:
  void Layout();

  int width_;
  int top_ = 0;
  std::vector<TodayItem> items_;
  std::wstring problem_;
};

}  // namespace cirrodex::host
