#include "package/device_layout.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/today_item.h"
#include "core/weather_report.h"
#include "platform/device.h"
#include "platform/registry_store.h"
#include "platform/whole_file.h"

namespace cirrodex::package {
namespace {

namespace fs = std::filesystem;

// A folder of share/cirrodex/ copied file by file into the install folder.
struct SharedFolder {
  const char* name;
  const char* extension;
};
constexpr SharedFolder kFolders[] = {{"citycodes", ".csv"}, {"bmp", ".bmp"}};

// The region files of continents that earlier installations laid out; the country files now hold
// their cities under the same codes, and left in place they would list each city twice.
constexpr const char* kFormerRegionFiles[] = {"Africa.csv",  "Asia.csv",
                                              "Europe.csv",  "North America.csv",
                                              "Oceania.csv", "South America.csv"};

// Remembers which tree, in which state, the device folder was last laid out from.
constexpr wchar_t kStampFile[] = L"installed-from.txt";

// A name beside `to` that no other process laying out at the same time picks.
fs::path Temporary(const fs::path& to) { return to.string() + ".new" + std::to_string(getpid()); }

// Through a temporary that then replaces `to`, so that a program running from the old file keeps
// running, a failure leaves the old file whole, and a link planted at `to` is replaced rather
// than written through. Copies are the user's alone (0600).
bool Replace(const fs::path& from, const fs::path& to, bool link, std::string& problem) {
  if (!link) {
    std::string bytes;
    return platform::ReadWholeFile(from, bytes, problem) &&
           platform::ReplaceFile(to, bytes, problem);
  }
  std::error_code error;
  const fs::path temporary = Temporary(to);
  fs::remove(temporary, error);
  // symlink() makes a new name and fails on an existing one: nothing is followed.
  fs::create_symlink(from, temporary, error);
  if (!error) fs::rename(temporary, to, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    problem = "placing " + from.string() + " as " + to.string() + ": " + error.message();
    return false;
  }
  return true;
}

// The tree, this program's version and the newest change of any file it lays out: a new build
// or a package upgrade changes it.
std::string Signature(const ProgramTree& tree) {
  auto newest = fs::file_time_type::min();
  std::error_code error;
  auto consider = [&](const fs::path& file) {
    const auto time = fs::last_write_time(file, error);
    if (!error) newest = std::max(newest, time);
  };
  consider(tree.bin / "gantrel");
  consider(tree.plugin);
  for (const SharedFolder& folder : kFolders) {
    const fs::path dir = tree.shared / folder.name;
    consider(dir);
    for (const auto& entry : fs::directory_iterator(dir, error)) consider(entry.path());
  }
  std::ostringstream text;
  text << tree.bin.string() << '\n'
       << CIRRODEX_VERSION_TEXT << '\n'
       << newest.time_since_epoch().count() << '\n';
  return text.str();
}

}  // namespace

fs::path OwnBinDir() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : self.parent_path();
}

std::optional<ProgramTree> FindProgramTree(const fs::path& binDir) {
  if (binDir.empty()) return std::nullopt;
  const fs::path root = binDir.parent_path();
  ProgramTree tree;
  tree.bin = binDir;
  tree.shared = root / "share" / "cirrodex";
  std::error_code error;
  if (fs::is_regular_file(root / "lib" / "cirrodex" / "libcirrodex.so", error)) {
    tree.plugin = root / "lib" / "cirrodex" / "libcirrodex.so";
    tree.installed = true;
  } else if (fs::is_regular_file(root / "lib" / "libcirrodex.so", error)) {
    tree.plugin = root / "lib" / "libcirrodex.so";
  } else {
    return std::nullopt;
  }
  return tree;
}

bool LayOut(const ProgramTree& tree, std::string& problem) {
  const fs::path folder = platform::DevicePath(kDefaultInstallFolder);
  const fs::path pluginTo = platform::DevicePath(kTodayItemModule);
  std::error_code error;
  for (const fs::path& dir : {folder, pluginTo.parent_path()}) {
    if (!platform::PrivateDeviceFolder(dir, platform::Create::Yes, problem)) return false;
  }

  const fs::path gantrel = tree.bin / "gantrel";
  for (const fs::path& file : {gantrel, tree.plugin}) {
    if (!fs::is_regular_file(file, error)) {
      problem = file.string() + " is missing: build it first";
      return false;
    }
  }
  if (!Replace(gantrel, folder / "Gantrel.exe", true, problem)) return false;
  if (!Replace(tree.plugin, pluginTo, true, problem)) return false;

  for (const SharedFolder& shared : kFolders) {
    const fs::path from = tree.shared / shared.name;
    if (!fs::is_directory(from, error)) continue;
    const fs::path to = folder / shared.name;
    if (!platform::PrivateDeviceFolder(to, platform::Create::Yes, problem)) return false;
    for (const auto& entry : fs::directory_iterator(from, error)) {
      if (!entry.is_regular_file() || entry.path().extension() != shared.extension) continue;
      if (!Replace(entry.path(), to / entry.path().filename(), false, problem)) return false;
    }
    if (error) {
      problem = "reading " + from.string() + ": " + error.message();
      return false;
    }
    if (std::string_view(shared.name) == "citycodes") {
      for (const char* former : kFormerRegionFiles) {
        if (!fs::exists(from / former, error)) fs::remove(to / former, error);
      }
    }
  }

  if (!StoreString(platform::HKEY_CURRENT_USER, kSettingsKey, kInstallPath,
                   kDefaultInstallFolder)) {
    problem = "writing \"InstallPath\": " + platform::Registry().LastError();
    return false;
  }
  return platform::ReplaceFile(folder / fs::path(kStampFile), Signature(tree), problem);
}

Preparation PrepareDeviceFolder(std::string& problem, FromBuildTree fromBuild) {
  const auto tree = FindProgramTree(OwnBinDir());
  if (!tree) return Preparation::UpToDate;
  if (!tree->installed && fromBuild == FromBuildTree::Leave) return Preparation::UpToDate;
  std::wstring installPath;
  const bool first =
      !ReadString(platform::HKEY_CURRENT_USER, kSettingsKey, kInstallPath, installPath);
  // The build folder changes with every build: a folder laid out once follows it by its links.
  if (!tree->installed && !first) return Preparation::UpToDate;
  const fs::path stamp = platform::DevicePath(kDefaultInstallFolder) / fs::path(kStampFile);
  if (tree->installed && platform::ReadWholeFile(stamp).value_or("") == Signature(*tree)) {
    return Preparation::UpToDate;
  }

  if (!LayOut(*tree, problem)) return Preparation::Failed;
  if (!first) return Preparation::Refreshed;
  if (!InstallTodayItem()) {
    problem = "registering the Today item: " + platform::Registry().LastError();
    return Preparation::Failed;
  }
  return Preparation::LaidOut;
}

}  // namespace cirrodex::package
