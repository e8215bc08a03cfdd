// Gantrel: the setup program, and with "/downloadandexit" the unattended download run.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "package/device_layout.h"
#include "platform/device.h"
#include "setup/command_line.h"
#include "setup/download_mode.h"

namespace {

// The sheet lives in a module beside the program's shared libraries.
constexpr char kInteractiveModule[] = "libgantrel_interactive.so";
constexpr char kInteractiveEntry[] = "GantrelRunInteractive";
constexpr char kPlatformLibrary[] = "libcirrodex_platform.so";
using InteractiveEntry = int (*)(int*, char**, int);

// The module by its full path, in the folder of the platform library the program already loaded
// (the build's lib/ or the install tree's lib/cirrodex/). A bare name would rely on dlopen seeing
// the program's run path, which it does not when a sanitizer's interceptor is the caller.
std::string InteractiveModulePath() {
  void* platform = dlopen(kPlatformLibrary, RTLD_LAZY | RTLD_NOLOAD);
  if (platform == nullptr) return kInteractiveModule;
  char origin[4096] = {};
  const bool found = dlinfo(platform, RTLD_DI_ORIGIN, origin) == 0 && origin[0] != '\0';
  dlclose(platform);
  return found ? std::string(origin) + "/" + kInteractiveModule : kInteractiveModule;
}

int RunSheet(int& argc, char** argv, cirrodex::StartMode mode) {
  void* module = dlopen(InteractiveModulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
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

constexpr char kUsage[] =
    "Usage: gantrel [/downloadandexit | /current | /day1 ... /day5 | /hourly]\n"
    "Cirrodex Setup: cities, units, layout, the update schedule, the weather and its maps.\n"
    "  (no switch)       open the setup sheet on its first page (needs a display)\n"
    "  /current          open it on the Current page\n"
    "  /day1 ... /day5   open it on the Forecast page\n"
    "  /hourly           open it on the Hourly page\n"
    "  /downloadandexit  no window: download every city and the maps, then exit; waits up\n"
    "                    to a minute in all for a registry another program holds, then\n"
    "                    exits 1\n"
    "  --help, --version\n"
    "Environment:\n"
    "  CIRRODEX_SERVICE_PORT  the weather service's port on 127.0.0.1 (default 8611) for the\n"
    "                         feeds and the default map addresses\n"
    "  CIRRODEX_FEED_BASE     the feeds' URL up to the city code, in place of the service's\n";

bool Empty(const char* variable) {
  const char* value = std::getenv(variable);
  return value == nullptr || *value == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  using namespace cirrodex;
  // Options in the desktop's manner; everything else is the handheld's command line, as it was.
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] != '-') continue;
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("gantrel (Cirrodex) " CIRRODEX_VERSION_TEXT);
      return 0;
    }
    std::fprintf(stderr, "gantrel: unknown option %s\n%s", argv[i], kUsage);
    return 2;
  }

  if (const std::string untrusted = platform::DeviceFolderProblem(); !untrusted.empty()) {
    std::fprintf(stderr, "gantrel: %s\n", untrusted.c_str());
    return 1;
  }
  std::string problem;
  if (package::PrepareDeviceFolder(problem) == package::Preparation::Failed) {
    std::fprintf(stderr, "gantrel: laying out the device folder: %s\n", problem.c_str());
  }
  const StartMode mode = ChooseStartMode(JoinArguments(argc, argv));
  if (mode == StartMode::Download) {
    return RunDownloadMode();
  }
  if (Empty("QT_QPA_PLATFORM") && Empty("DISPLAY") && Empty("WAYLAND_DISPLAY")) {
    std::fputs(
        "gantrel: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); the setup sheet "
        "needs one\n",
        stderr);
    return 1;
  }
  return RunSheet(argc, argv, mode);
}
