// The session's autostart entry of the panel item: where it goes and how its Exec key quotes.
#include "package/autostart.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace cirrodex::package {
namespace {

// Sets or unsets one variable while it lives, restoring it afterwards.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(Autostart, ExecArgumentQuotesWhatTheDesktopEntryRulesReserve) {
  struct Case {
    const char* argument;
    const char* exec;  // as it stands in the file
  };
  const Case cases[] = {
      {"/usr/bin/today-host", "/usr/bin/today-host"},
      {"/opt/My Apps/today-host", R"("/opt/My Apps/today-host")"},
      {"/home/a$b/today-host", R"("/home/a\\$b/today-host")"},
      {R"(/x\y/today-host)", R"("/x\\\\y/today-host")"},
      {"/100%/today-host", "/100%%/today-host"},
      {R"(/say "hi"/today-host)", R"("/say \\"hi\\"/today-host")"},
      {"/back`tick`/today-host", R"("/back\\`tick\\`/today-host")"},
  };
  for (const Case& c : cases) EXPECT_EQ(ExecArgument(c.argument), c.exec) << c.argument;
}

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
  for (const Case& c : cases) {
    const ScopedVariable config("XDG_CONFIG_HOME", c.config);
    const ScopedVariable home("HOME", c.home);
    EXPECT_EQ(AutostartFolder().string(), c.folder)
        << (c.config ? c.config : "(unset)") << ", " << (c.home ? c.home : "(unset)");
  }
}

TEST(Autostart, NoHomeIsAFailureThatSaysSo) {
  const ScopedVariable config("XDG_CONFIG_HOME", nullptr);
  const ScopedVariable home("HOME", nullptr);
  std::string problem;
  EXPECT_FALSE(WriteTrayAutostart("/usr/bin/today-host", problem));
  EXPECT_NE(problem.find("HOME"), std::string::npos) << problem;
  EXPECT_TRUE(RemoveTrayAutostart(problem)) << "nothing to remove is no failure";
}

}  // namespace
}  // namespace cirrodex::package
