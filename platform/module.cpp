#include "platform/module.h"

#include <dlfcn.h>

#include "platform/device.h"

namespace cirrodex::platform {

namespace {

thread_local std::string t_error;

const char* ExportName(int ordinal) {
  switch (ordinal) {
    case kOrdinalInitializeCustomItem:
      return "InitializeCustomItem";
    case kOrdinalCustomItemOptionsDlgProc:
      return "CustomItemOptionsDlgProc";
    default:
      return nullptr;
  }
}

}  // namespace

HINSTANCE LoadLibrary(std::wstring_view handheldPath) {
  const std::string file = DevicePath(handheldPath).string();
  void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* why = dlerror();
    t_error = "loading " + file + ": " + (why != nullptr ? why : "unknown error");
  }
  return module;
}

bool FreeLibrary(HINSTANCE module) { return module != nullptr && dlclose(module) == 0; }

void* GetProcAddress(HINSTANCE module, int ordinal) {
  const char* name = ExportName(ordinal);
  if (module == nullptr || name == nullptr) {
    t_error = "no export of ordinal " + std::to_string(ordinal);
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(module, name);
  if (symbol == nullptr) t_error = std::string("the module has no ") + name;
  return symbol;
}

std::string ModuleError() { return t_error; }

}  // namespace cirrodex::platform
