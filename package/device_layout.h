// Laying out the device folder from a program tree: the build folder or an install tree
// (bin/, lib/cirrodex/, share/cirrodex/). cirrodex-install does it on request; today-host and
// gantrel do it on their own when started from an install tree.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace cirrodex::package {

// Where the files of one program tree lie.
struct ProgramTree {
  std::filesystem::path bin;     // gantrel, weather-service
  std::filesystem::path plugin;  // libcirrodex.so
  std::filesystem::path shared;  // share/cirrodex: bmp/, citycodes/
  bool installed = false;        // an install tree (lib/cirrodex/), not the build folder
};

// The tree whose bin/ holds `binDir`, or nothing when neither layout fits.
std::optional<ProgramTree> FindProgramTree(const std::filesystem::path& binDir);
// The folder of the running program (symbolic links resolved).
std::filesystem::path OwnBinDir();

// Places Gantrel.exe and \windows\cirrodex.dll as links to the tree's program and plug-in (so
// they find their libraries and follow an upgrade), copies the icons and region files, and writes
// "InstallPath". Settings, the weather cache, history and map pictures are left alone.
bool LayOut(const ProgramTree& tree, std::string& problem);

enum class Preparation { UpToDate, Refreshed, LaidOut, Failed };

// What a program of the build folder does with a device folder.
enum class FromBuildTree {
  Leave,     // everything is left to cirrodex-install
  LayOutNew  // a folder never laid out (no "InstallPath") is laid out and registered
};

// What today-host and gantrel do at start: when the device folder was laid out from another tree
// or before this tree's files changed, lay it out again; when it never was (no "InstallPath"),
// also register the Today item as the Install button does. Programs of the build folder do only
// what `fromBuild` says, so that a folder a test or cirrodex-install prepared stays as it is.
Preparation PrepareDeviceFolder(std::string& problem,
                                FromBuildTree fromBuild = FromBuildTree::Leave);

}  // namespace cirrodex::package
