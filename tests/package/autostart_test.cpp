// The session's autostart entry of the panel item: where it goes and how its Exec key quotes.
#include "package/autostart.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace cirrodex::package {
namespace {

void SetOrUnset(const char* name, const char* value) {
  value != nullptr ? setenv(name, value, 1) : unsetenv(name);
}

TEST(Autostart, ExecArgumentQuotesWhatTheDesktopEntryRulesReserve) {
  const std::pair<const char*, const char*> cases[] = {
      {"/usr/bin/today-host", "/usr/bin/today-host"},
      {"/opt/My Apps/today-host", R"("/opt/My Apps/today-host")"},
      {"/home/a$b/today-host", R"("/home/a\\$b/today-host")"},
      {R"(/x\y/today-host)", R"("/x\\\\y/today-host")"},
      {"/100%/today-host", "/100%%/today-host"},
      {R"(/say "hi"/today-host)", R"("/say \\"hi\\"/today-host")"},
      {"/back`tick`/today-host", R"("/back\\`tick\\`/today-host")"},
  };
  for (const auto& [argument, exec] : cases) EXPECT_EQ(ExecArgument(argument), exec) << argument;
}

// The folder, and whether the entry can be written where there is no home at all.
TEST(Autostart, FolderFollowsXdgConfigHomeElseHome) {
  struct Case {
    const char* config;
    const char* home;
    const char* folder;
  };
  const Case cases[] = {
      {"/tmp/cfg", "/tmp/home", "/tmp/cfg/autostart"},
      {nullptr, "/tmp/home", "/tmp/home/.config/autostart"},
      {"relative/cfg", "/tmp/home", "/tmp/home/.config/autostart"},  // a relative one is ignored
      {"", "/tmp/home", "/tmp/home/.config/autostart"},
      {nullptr, nullptr, ""},
  };
  const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
  for (const Case& c : cases) {
    SetOrUnset("XDG_CONFIG_HOME", c.config);
    SetOrUnset("HOME", c.home);
    EXPECT_EQ(AutostartFolder().string(), c.folder) << (c.config ? c.config : "(unset)");
  }
  std::string problem;
  EXPECT_FALSE(WriteTrayAutostart("/usr/bin/today-host", problem));
  EXPECT_NE(problem.find("HOME"), std::string::npos) << problem;
  EXPECT_TRUE(RemoveTrayAutostart(problem)) << "nothing to remove is no failure";
  SetOrUnset("HOME", home.empty() ? nullptr : home.c_str());
}

}  // namespace
}  // namespace cirrodex::package
