#include "package/autostart.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

#include "package/device_layout.h"

namespace cirrodex::package {

namespace fs = std::filesystem;

fs::path AutostartFolder() {
  // A relative $XDG_CONFIG_HOME is invalid and to be ignored.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return fs::path(config) / "autostart";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return fs::path(home) / ".config" / "autostart";
  return {};
}

std::string ExecArgument(std::string_view argument) {
  constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  const bool quote =
      argument.empty() || argument.find_first_of(kReserved) != std::string_view::npos;
  std::string exec;
  for (char c : argument) {
    if (c == '%') {
      exec += "%%";
    } else if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) {
      exec += '\\';
      exec += c;
    } else {
      exec += c;
    }
  }
  if (quote) exec = '"' + exec + '"';
  // The key's value is a string, whose own escape is the backslash.
  std::string value;
  for (char c : exec) {
    if (c == '\\') value += '\\';
    value += c;
  }
  return value;
}

std::string TrayAutostartEntry(const fs::path& program) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Cirrodex in the panel\n"
         "Comment=The selected city's weather in the desktop's panel\n"
         "Exec=" +
         ExecArgument(program.string()) +
         " --tray\n"
         "Icon=cirrodex\n"
         "Terminal=false\n"
         "NoDisplay=true\n"
         "X-GNOME-Autostart-enabled=true\n";
}

fs::path TrayProgram() {
  std::error_code error;
  const fs::path beside = OwnBinDir() / "today-host";
  if (!OwnBinDir().empty() && fs::is_regular_file(beside, error)) return beside;
  return "today-host";
}

bool WriteTrayAutostart(const fs::path& program, std::string& problem) {
  const fs::path folder = AutostartFolder();
  if (folder.empty()) {
    problem = "no home folder (neither XDG_CONFIG_HOME nor HOME is set)";
    return false;
  }
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) {
    problem = "making " + folder.string() + ": " + error.message();
    return false;
  }
  const fs::path file = folder / kTrayAutostartName;
  const fs::path temporary = folder / (std::string(kTrayAutostartName) + ".new");
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << TrayAutostartEntry(program);
    out.flush();
    if (!out) {
      problem = "writing " + temporary.string() + ": " + std::strerror(errno);
      out.close();
      fs::remove(temporary, error);
      return false;
    }
  }
  fs::rename(temporary, file, error);
  if (error) {
    problem = "writing " + file.string() + ": " + error.message();
    fs::remove(temporary, error);
    return false;
  }
  return true;
}

bool RemoveTrayAutostart(std::string& problem) {
  const fs::path folder = AutostartFolder();
  if (folder.empty()) return true;
  std::error_code error;
  fs::remove(folder / kTrayAutostartName, error);
  if (error) {
    problem = "removing " + (folder / kTrayAutostartName).string() + ": " + error.message();
    return false;
  }
  return true;
}

}  // namespace cirrodex::package
