#include "platform/device.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <iterator>

#include "platform/registry_store.h"
#include "tests/support/temp_device.h"

namespace cirrodex::platform {
namespace {

using testing::DeviceTest;

class DevicePaths : public DeviceTest {};

TEST_F(DevicePaths, MapsHandheldPathsUnderTheDeviceFolder) {
  const auto root = device_.root();
  struct Case {
    const wchar_t* handheld;
    std::filesystem::path expected;
  } cases[] = {
      {L"\\program files\\velbrook\\nimbrel\\bmp\\5.bmp",
       root / "program files" / "velbrook" / "nimbrel" / "bmp" / "5.bmp"},
      {L"\\program files\\velbrook\\nimbrel", root / "program files" / "velbrook" / "nimbrel"},
      {L"relative/with/slashes", root / "relative" / "with" / "slashes"},
      {L"\\\\double\\\\separators\\", root / "double" / "separators"},
      {L"\\Z\u00FCrich\\radar.jpg", root / "Z\xC3\xBCrich" / "radar.jpg"},
      {L"", root},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DevicePath(c.handheld), c.expected) << std::filesystem::path(c.handheld);
  }
}

TEST_F(DevicePaths, NeverLeaveTheDeviceFolder) {
  for (const wchar_t* path : {L"..\\..\\etc\\passwd", L"\\a\\..\\..\\..\\b", L".\\.\\..\\c"}) {
    std::filesystem::path mapped = DevicePath(path);
    auto relative = mapped.lexically_relative(device_.root());
    EXPECT_FALSE(relative.empty()) << mapped;
    EXPECT_NE(*relative.begin(), "..") << mapped;
  }
}

TEST_F(DevicePaths, RootIsCreatedWhenMissing) {
  std::filesystem::path nested = device_.root() / "not" / "yet";
  setenv("CIRRODEX_DEVICE", nested.c_str(), 1);
  EXPECT_EQ(DeviceRoot(), nested);
  EXPECT_TRUE(std::filesystem::is_directory(nested));
  setenv("CIRRODEX_DEVICE", device_.root().c_str(), 1);
}

TEST_F(DevicePaths, EmptyVariableFallsBackToTheHomeFolder) {
  std::string oldHome = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
  setenv("HOME", device_.root().c_str(), 1);
  setenv("CIRRODEX_DEVICE", "", 1);
  std::filesystem::path expected = device_.root() / ".local" / "share" / "cirrodex" / "device";
  EXPECT_EQ(DeviceRoot(), expected);
  EXPECT_TRUE(std::filesystem::is_directory(expected));
  setenv("HOME", oldHome.c_str(), 1);
  setenv("CIRRODEX_DEVICE", device_.root().c_str(), 1);
}

// Without HOME the folder comes from the account entry, never from a shared folder such as /tmp.
TEST_F(DevicePaths, WithoutHomeTheAccountsHomeFolderIsUsed) {
  const char* old = std::getenv("HOME");
  const std::string oldHome = old != nullptr ? old : "";
  unsetenv("HOME");
  const std::filesystem::path root = DefaultDeviceRoot();
  if (old != nullptr) setenv("HOME", oldHome.c_str(), 1);
  const passwd* entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(root,
            std::filesystem::path(entry->pw_dir) / ".local" / "share" / "cirrodex" / "device");
  EXPECT_NE(*std::next(root.begin()), "tmp") << root;
}

// A device folder that others can write to is refused, and the registry says why.
TEST_F(DevicePaths, AFolderOthersCanWriteToIsRefused) {
  EXPECT_EQ(DeviceRootProblem(device_.root()), "");
  std::filesystem::permissions(device_.root(), std::filesystem::perms::others_write,
                               std::filesystem::perm_options::add);
  ResetRegistryForTesting();
  EXPECT_FALSE(Registry().IsOpen());
  EXPECT_NE(Registry().LastError().find("o+w"), std::string::npos) << Registry().LastError();
  EXPECT_FALSE(std::filesystem::exists(device_.root() / "registry.db"));
  std::filesystem::permissions(device_.root(), std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
}

}  // namespace
}  // namespace cirrodex::platform
