// cirrodex-install: lays out the device folder ($CIRRODEX_DEVICE) from the build whose bin/ this
// program stands in. Running it again replaces the installed files and keeps every setting, the
// weather cache and any file the programs wrote (map pictures and their icons).
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/today_item.h"
#include "core/weather_report.h"
#include "platform/device.h"
#include "platform/registry_store.h"

namespace fs = std::filesystem;

namespace {

// A program of the build's bin/ and the name it is installed under in the install folder.
struct ProgramFile {
  const char* built;
  const wchar_t* installed;
};
constexpr ProgramFile kPrograms[] = {
    {"gantrel", L"Gantrel.exe"},
};

// A folder of the build's share/cirrodex/, copied file by file into a folder of the install
// folder. A folder the build did not make is skipped.
struct SharedFolder {
  const char* built;
  const wchar_t* installed;
  const char* extension;
};
constexpr SharedFolder kFolders[] = {
    {"citycodes", L"citycodes", ".csv"},
    {"bmp", L"bmp", ".bmp"},
};

// The region files of continents that earlier installations laid out; the country files now hold
// their cities under the same codes, and left in place they would list each city twice.
constexpr const char* kFormerRegionFiles[] = {"Africa.csv",  "Asia.csv",
                                              "Europe.csv",  "North America.csv",
                                              "Oceania.csv", "South America.csv"};

fs::path BuildDir() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return self.parent_path().parent_path();
}

// Copies through a temporary file that then replaces `to`, so that a program being replaced
// while it runs keeps running and a failed copy leaves the old file whole.
bool CopyReplacing(const fs::path& from, const fs::path& to, std::string& problem) {
  std::error_code error;
  const fs::path temporary = to.string() + ".new";
  fs::copy_file(from, temporary, fs::copy_options::overwrite_existing, error);
  if (!error) fs::rename(temporary, to, error);
  if (error) {
    fs::remove(temporary, error);
    problem = "copying " + from.string() + " to " + to.string() + ": " + error.message();
    return false;
  }
  return true;
}

bool Install(const fs::path& build, std::string& problem) {
  const fs::path folder = cirrodex::platform::DevicePath(cirrodex::kDefaultInstallFolder);
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) {
    problem = "creating " + folder.string() + ": " + error.message();
    return false;
  }

  for (const ProgramFile& program : kPrograms) {
    const fs::path from = build / "bin" / program.built;
    if (!fs::is_regular_file(from)) {
      problem = from.string() + " is missing: build it first";
      return false;
    }
    if (!CopyReplacing(from, folder / program.installed, problem)) return false;
  }

  // The Today plug-in, where the Today item key says it is.
  const fs::path plugin = build / "lib" / "libcirrodex.so";
  const fs::path pluginTo = cirrodex::platform::DevicePath(cirrodex::kTodayItemModule);
  if (!fs::is_regular_file(plugin)) {
    problem = plugin.string() + " is missing: build it first";
    return false;
  }
  fs::create_directories(pluginTo.parent_path(), error);
  if (!CopyReplacing(plugin, pluginTo, problem)) return false;

  for (const SharedFolder& shared : kFolders) {
    const fs::path from = build / "share" / "cirrodex" / shared.built;
    if (!fs::is_directory(from)) continue;
    const fs::path to = folder / shared.installed;
    fs::create_directories(to, error);
    if (error) {
      problem = "creating " + to.string() + ": " + error.message();
      return false;
    }
    for (const auto& entry : fs::directory_iterator(from, error)) {
      if (!entry.is_regular_file() || entry.path().extension() != shared.extension) continue;
      if (!CopyReplacing(entry.path(), to / entry.path().filename(), problem)) return false;
    }
    if (error) {
      problem = "reading " + from.string() + ": " + error.message();
      return false;
    }
    if (std::string(shared.built) == "citycodes") {
      for (const char* former : kFormerRegionFiles) {
        if (!fs::exists(from / former)) fs::remove(to / former, error);
      }
    }
  }

  if (!cirrodex::StoreString(cirrodex::platform::HKEY_CURRENT_USER, cirrodex::kSettingsKey,
                             cirrodex::kInstallPath, cirrodex::kDefaultInstallFolder)) {
    problem = "writing \"InstallPath\": " + cirrodex::platform::Registry().LastError();
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool registerItem = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--register") {
      registerItem = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      std::puts(
          "Usage: cirrodex-install [--register]\n"
          "Lays out the device folder ($CIRRODEX_DEVICE, else ~/.local/share/cirrodex/device)\n"
          "from the build this program belongs to: Gantrel.exe, the region files and the icons\n"
          "in \\program files\\velbrook\\nimbrel, and \"InstallPath\" in the registry. Settings,\n"
          "the weather cache and the map pictures are kept. The Today plug-in goes to\n"
          "\\windows\\cirrodex.dll.\n"
          "  --register  then do what the Install button does: write the default settings\n"
          "              where missing, register the Today item and tell running Today\n"
          "              screens to load it.");
      return 0;
    }
    std::fprintf(stderr, "cirrodex-install: unknown argument %s (see --help)\n", arg.c_str());
    return 2;
  }

  const fs::path build = BuildDir();
  if (build.empty()) {
    std::fputs("cirrodex-install: cannot tell which build this program belongs to\n", stderr);
    return 1;
  }
  std::string problem;
  if (!Install(build, problem)) {
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
