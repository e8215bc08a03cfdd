// The entry that starts today-host in the desktop's panel with the session, in the user's XDG
// autostart folder ($XDG_CONFIG_HOME/autostart, else ~/.config/autostart).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace cirrodex::package {

inline constexpr char kTrayAutostartName[] = "cirrodex-tray.desktop";

// The user's autostart folder; empty when neither $XDG_CONFIG_HOME (absolute) nor $HOME is set.
std::filesystem::path AutostartFolder();
// One argument of an Exec key, quoted where the desktop entry rules want it (spaces, quotes,
// "$", "\", "`" and the like) and with "%" doubled, escaped again for the file's string value.
std::string ExecArgument(std::string_view argument);
// The whole entry that runs `program` with --tray.
std::string TrayAutostartEntry(const std::filesystem::path& program);
// The today-host to start: the one beside the running program when there is one (an install
// tree outside PATH), else "today-host" as PATH finds it.
std::filesystem::path TrayProgram();
// Writes the entry (a new file renamed into place, so a session never reads half of it); false
// with `problem` saying why (no home, a folder that cannot be made, a full disk).
bool WriteTrayAutostart(const std::filesystem::path& program, std::string& problem);
// Removes the entry; a missing one is no error.
bool RemoveTrayAutostart(std::string& problem);

}  // namespace cirrodex::package
