// The module's C boundary: the two entry points the Today screen calls by ordinal, and the
// module's load and unload. No C++ exception crosses it.
#include "today/item_state.h"

#define CIRRODEX_EXPORT extern "C" __attribute__((visibility("default")))

using namespace cirrodex::today;

// Ordinal 240.
CIRRODEX_EXPORT HWND InitializeCustomItem(TODAYLISTITEM* item, HWND parent) {
  try {
    return InitializeItem(item, parent);
  } catch (...) {
    return nullptr;
  }
}

// Ordinal 241.
CIRRODEX_EXPORT BOOL CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  try {
    return OptionsDialogProc(dialog, message, wParam, lParam);
  } catch (...) {
    return 0;
  }
}

namespace {

__attribute__((constructor)) void ProcessAttach() {
  try {
    LoadModule();
  } catch (...) {
  }
}

__attribute__((destructor)) void ProcessDetach() {
  try {
    UnloadModule();
  } catch (...) {
  }
}

}  // namespace
