// Gantrel: the setup program, and with "/downloadandexit" the unattended download run.
#include <dlfcn.h>

#include <cstdio>

#include "setup/command_line.h"
#include "setup/download_mode.h"

namespace {

// The sheet lives in a module found beside the program's shared libraries (its run path).
constexpr char kInteractiveModule[] = "libgantrel_interactive.so";
constexpr char kInteractiveEntry[] = "GantrelRunInteractive";
using InteractiveEntry = int (*)(int*, char**, int);

int RunSheet(int& argc, char** argv, cirrodex::StartMode mode) {
  void* module = dlopen(kInteractiveModule, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    std::fprintf(stderr, "gantrel: cannot load the setup sheet: %s\n", dlerror());
    return 1;
  }
  auto entry = reinterpret_cast<InteractiveEntry>(dlsym(module, kInteractiveEntry));
  if (entry == nullptr) {
    std::fprintf(stderr, "gantrel: %s has no %s\n", kInteractiveModule, kInteractiveEntry);
    return 1;
  }
  return entry(&argc, argv, static_cast<int>(mode));
}

}  // namespace

int main(int argc, char** argv) {
  using namespace cirrodex;
  const StartMode mode = ChooseStartMode(JoinArguments(argc, argv));
  if (mode == StartMode::Download) {
    return RunDownloadMode();
  }
  return RunSheet(argc, argv, mode);
}
