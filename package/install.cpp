// cirrodex-install: lays out the device folder ($CIRRODEX_DEVICE) from the build or install tree
// whose bin/ this program stands in. Running it again replaces the installed files and keeps
// every setting, the weather cache and any file the programs wrote (map pictures and their icons).
#include <cstdio>
#include <filesystem>
#include <string>

#include "core/today_item.h"
#include "core/weather_report.h"
#include "package/device_layout.h"
#include "platform/device.h"
#include "platform/registry_store.h"

namespace fs = std::filesystem;

namespace {

constexpr char kUsage[] =
    "Usage: cirrodex-install [--register]\n"
    "Lays out the device folder ($CIRRODEX_DEVICE, else ~/.local/share/cirrodex/device)\n"
    "from the build or install tree this program belongs to: Gantrel.exe, the region files and\n"
    "the icons in \\program files\\velbrook\\nimbrel, and \"InstallPath\" in the registry.\n"
    "Settings, the weather cache and the map pictures are kept. The Today plug-in goes to\n"
    "\\windows\\cirrodex.dll. today-host and gantrel of an install tree do this themselves.\n"
    "  --register  then do what the Install button does: write the default settings\n"
    "              where missing, register the Today item and tell running Today\n"
    "              screens to load it.\n"
    "  --help      this text\n"
    "  --version   the version\n";

}  // namespace

int main(int argc, char** argv) {
  bool registerItem = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--register") {
      registerItem = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--version") {
      std::puts("cirrodex-install (Cirrodex) " CIRRODEX_VERSION_TEXT);
      return 0;
    } else {
      std::fprintf(stderr, "cirrodex-install: unknown argument %s\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }

  const auto tree = cirrodex::package::FindProgramTree(cirrodex::package::OwnBinDir());
  if (!tree) {
    std::fputs(
        "cirrodex-install: cannot tell which build or install tree this program belongs to\n",
        stderr);
    return 1;
  }
  if (const std::string untrusted = cirrodex::platform::DeviceFolderProblem(); !untrusted.empty()) {
    std::fprintf(stderr, "cirrodex-install: %s\n", untrusted.c_str());
    return 1;
  }
  std::string problem;
  if (!cirrodex::package::LayOut(*tree, problem)) {
    std::fprintf(stderr, "cirrodex-install: %s\n", problem.c_str());
    return 1;
  }
  std::printf("Installed into %s\n",
              cirrodex::platform::DevicePath(cirrodex::kDefaultInstallFolder).c_str());
  if (registerItem) {
    if (!cirrodex::InstallTodayItem()) {
      std::fprintf(stderr, "cirrodex-install: registering the Today item: %s\n",
                   cirrodex::platform::Registry().LastError().c_str());
      return 1;
    }
    std::puts("Registered the Today item");
  }
  return 0;
}
