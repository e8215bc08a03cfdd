// The Install page: its five buttons, their questions answered both ways, the Today item key and
// the refresh notification, and the settings that the other pages store after Install and
// Uninstall.
#include <QAbstractButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/today_item.h"
#include "platform/broadcast.h"
#include "platform/registry_store.h"
#include "setup/sheet/gantrel_dlg.h"
#include "tests/setup/sheet/sheet_test_util.h"

namespace cirrodex {
namespace {

using testing::StoreCities;

class InstallPage : public testing::SheetTest {
 protected:
  void SetUp() override {
    SheetTest::SetUp();
    listener_ = std::make_unique<platform::BroadcastListener>("sheet-test");
    ASSERT_TRUE(listener_->IsOpen()) << listener_->LastError();
    sheet_ = std::make_unique<CGantrelDlg>();
    sheet_->Create();
  }
  void TearDown() override {
    sheet_.reset();
    listener_.reset();
    SheetTest::TearDown();
  }

  void Click(int id) { QTest::mouseClick(sheet_->install_.GetDlgItem(id), Qt::LeftButton); }

  // How many Today refresh notifications arrived since the last call.
  int Notifications() {
    int count = 0;
    for (const platform::BroadcastMessage& m : listener_->Receive()) {
      if (m.message == platform::WM_WININICHANGE && m.wParam == platform::INI_TODAY_REFRESH &&
          m.lParam == 0) {
        ++count;
      }
    }
    return count;
  }

  static std::wstring TodayModule() {
    std::wstring value = L"(missing)";
    ReadString(HKEY_LOCAL_MACHINE, TodayItemKey(), platform::kTodayItemModuleValue, value);
    return value;
  }
  static bool KeyExists(RootKey root, const std::wstring& path) {
    return platform::Registry().KeyExists(root, path);
  }
  static uint32_t Setting(const wchar_t* name, uint32_t fallback = 0xDEAD) {
    return ReadDwordOr(HKEY_CURRENT_USER, kSettingsKey, name, fallback);
  }
  static std::wstring SettingText(const std::wstring& name) {
    std::wstring value = L"(missing)";
    ReadString(HKEY_CURRENT_USER, kSettingsKey, name, value);
    return value;
  }

  std::unique_ptr<platform::BroadcastListener> listener_;
  std::unique_ptr<CGantrelDlg> sheet_;
};

TEST_F(InstallPage, EnableCreatesTheItemKeyWithTheModuleValueAndNotifies) {
  ASSERT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, TodayItemKey()));
  Click(IDC_ENABLE);
  EXPECT_EQ(TodayModule(), L"\\windows\\cirrodex.dll");
  std::vector<platform::RegistryStore::Value> values;
  platform::Registry().EnumValues(HKEY_LOCAL_MACHINE, TodayItemKey(), &values);
  ASSERT_EQ(values.size(), 1u) << "only the module value is written";
  EXPECT_EQ(values[0].type, platform::REG_SZ);
  EXPECT_EQ(values[0].data.size(), (std::wstring_view(L"\\windows\\cirrodex.dll").size() + 1) * 2)
      << "stored with its terminator";
  EXPECT_EQ(Notifications(), 1);
  EXPECT_TRUE(messages_.boxes().empty());
}

TEST_F(InstallPage, DisableRemovesTheValueButKeepsTheKeyAndEnableRestoresIt) {
  Click(IDC_ENABLE);
  Click(IDC_DISABLE);
  EXPECT_EQ(TodayModule(), L"(missing)");
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, TodayItemKey()));
  Click(IDC_ENABLE);
  EXPECT_EQ(TodayModule(), L"\\windows\\cirrodex.dll");
  EXPECT_EQ(Notifications(), 3);
}

TEST_F(InstallPage, DisableWithoutAKeyChangesNothingButStillNotifies) {
  Click(IDC_DISABLE);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, TodayItemKey()));
  EXPECT_EQ(Notifications(), 1);
}

TEST_F(InstallPage, InstallStoresTheDefaultsAndLeavesPresentChoicesAlone) {
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kTemperatureUnits, 3);
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kSummaryDisplayType, 5);
  Click(IDC_INSTALL);
  EXPECT_EQ(TodayModule(), L"\\windows\\cirrodex.dll");
  EXPECT_EQ(Notifications(), 1);
  EXPECT_EQ(Setting(kTemperatureUnits), 3u);
  EXPECT_EQ(Setting(kSummaryDisplayType), 5u);
  EXPECT_EQ(Setting(kDisplayLastUpdateTime), 1u);
  EXPECT_EQ(Setting(kCitySelected), 0u);
  EXPECT_EQ(SettingText(L"CityCode1"), L"UKXX0085");
  EXPECT_EQ(SettingText(L"CityName1"), L"London");
  EXPECT_EQ(SettingText(L"CityCode2"), L"FRXX0076");
  EXPECT_EQ(SettingText(L"CityCode3"), L"SZXX0013");
  EXPECT_EQ(SettingText(L"CityName3"), L"Geneva");
  EXPECT_EQ(SettingText(L"CityCode4"), L"(missing)");
}

TEST_F(InstallPage, UninstallAskedTwiceDeletesOnlyWhenBothAnswersAreOk) {
  struct Case {
    std::vector<int> answers;
    size_t questions;
    bool deleted;
  };
  const Case cases[] = {
      {{platform::IDCANCEL}, 1, false},
      {{platform::IDOK, platform::IDCANCEL}, 2, false},
      {{platform::IDOK, platform::IDOK}, 2, true},
  };
  for (const Case& c : cases) {
    Click(IDC_ENABLE);
    StoreCities({{L"UKXX0085", L"London"}});
    StoreDword(HKEY_CURRENT_USER, std::wstring(kSettingsKey) + L"\\UKXX0085", L"DownloadResult",
               200);
    Notifications();
    messages_.Clear();
    messages_.Answer(c.answers);
    Click(IDC_UNINSTALL);
    ASSERT_EQ(messages_.boxes().size(), c.questions);
    EXPECT_EQ(messages_.boxes()[0].text, kUninstallQuestion);
    EXPECT_EQ(messages_.boxes()[0].caption, L"Uninstall?");
    EXPECT_EQ(messages_.boxes()[0].type, platform::MB_OKCANCEL);
    if (c.questions == 2) {
      EXPECT_EQ(messages_.boxes()[1].text, L"Last Warning - Are you really sure?!");
      EXPECT_EQ(messages_.boxes()[1].caption, L"Really Uninstall?");
    }
    EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, TodayItemKey()), !c.deleted);
    EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, kSettingsKey), !c.deleted);
    EXPECT_EQ(Notifications(), 1) << "the notification goes out whatever the answers";
  }
}

// The session's autostart entry follows the box at once, in $XDG_CONFIG_HOME (here inside the
// test's device folder); where it cannot be written, the box and the setting stay as they were.
TEST_F(InstallPage, PanelAtLoginWritesAndRemovesTheAutostartEntry) {
  const std::filesystem::path config = device_.root() / "config";
  const std::filesystem::path entry = config / "autostart" / "cirrodex-tray.desktop";
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  const std::unique_ptr<const char, void (*)(const char*)> restore(
      "XDG_CONFIG_HOME", [](const char* name) { unsetenv(name); });
  auto* box = qobject_cast<QAbstractButton*>(sheet_->install_.GetDlgItem(IDC_TRAY_AT_LOGIN));
  ASSERT_NE(box, nullptr);
  EXPECT_FALSE(box->isChecked()) << "off by default";

  Click(IDC_TRAY_AT_LOGIN);
  const std::string text = testing::ReadFile(entry);
  EXPECT_NE(text.find("[Desktop Entry]\nType=Application\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" --tray\n"), std::string::npos) << text;
  EXPECT_EQ(Setting(kTrayAtLogin), 1u);
  Click(IDC_TRAY_AT_LOGIN);
  EXPECT_FALSE(std::filesystem::exists(entry));
  EXPECT_EQ(Setting(kTrayAtLogin), 0u);

  // A file where the folder should be.
  std::filesystem::remove_all(config / "autostart");
  { std::ofstream(config / "autostart") << "not a folder"; }
  Click(IDC_TRAY_AT_LOGIN);
  EXPECT_FALSE(box->isChecked());
  EXPECT_EQ(Setting(kTrayAtLogin), 0u);
  ASSERT_EQ(messages_.boxes().size(), 1u);
  EXPECT_NE(messages_.boxes()[0].text.find(L"autostart"), std::wstring::npos);
  std::filesystem::remove(config / "autostart");

  // Uninstall takes the entry with the settings.
  Click(IDC_TRAY_AT_LOGIN);
  ASSERT_TRUE(std::filesystem::exists(entry));
  messages_.Answer({platform::IDOK, platform::IDOK});
  Click(IDC_UNINSTALL);
  EXPECT_FALSE(std::filesystem::exists(entry));
  EXPECT_FALSE(box->isChecked());
}

TEST_F(InstallPage, ClearCacheRemovesEveryCityKeyAndKeepsTheSettings) {
  StoreCities({{L"UKXX0085", L"London"}, {L"FRXX0076", L"Paris"}, {L"SZXX0013", L"Geneva"}}, 2);
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kUpdateRate, 45);
  for (const wchar_t* code : {L"UKXX0085", L"FRXX0076", L"SZXX0013"}) {
    const std::wstring city = std::wstring(kSettingsKey) + L"\\" + code;
    StoreString(HKEY_CURRENT_USER, city, L"WeatherPreviousData", L"swCity=\"x\";");
    StoreDword(HKEY_CURRENT_USER, city + L"\\Log000", L"T", 20);
  }

  messages_.Answer({platform::IDCANCEL});
  Click(IDC_CLEAR_CACHE);
  ASSERT_EQ(messages_.boxes().size(), 1u);
  EXPECT_EQ(messages_.boxes()[0].text, L"ARE REALLY SURE YOU WANT TO CLEAR THE CACHE?");
  EXPECT_EQ(messages_.boxes()[0].caption, L"Clear Cache?");
  std::vector<std::wstring> subkeys;
  platform::Registry().EnumSubkeys(HKEY_CURRENT_USER, kSettingsKey, &subkeys);
  EXPECT_EQ(subkeys.size(), 3u) << "Cancel keeps the cache";

  messages_.Answer({platform::IDOK});
  Click(IDC_CLEAR_CACHE);
  subkeys.clear();
  platform::Registry().EnumSubkeys(HKEY_CURRENT_USER, kSettingsKey, &subkeys);
  EXPECT_TRUE(subkeys.empty());
  EXPECT_EQ(Setting(kCitySelected), 2u);
  EXPECT_EQ(Setting(kUpdateRate), 45u);
  EXPECT_EQ(SettingText(L"CityCode3"), L"SZXX0013");
  EXPECT_EQ(SettingText(L"CityName2"), L"Paris");
  EXPECT_EQ(Notifications(), 0) << "clearing the cache notifies nobody";
}

TEST_F(InstallPage, ClearCacheWithoutASettingsKeyDoesNothing) {
  Click(IDC_CLEAR_CACHE);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKey));
}

// The pages' own copies must not undo what Uninstall confirmed when the sheet goes.
TEST_F(InstallPage, AfterUninstallClosingTheSheetStoresNothingAgain) {
  sheet_.reset();
  StoreCities({{L"UKXX0085", L"London"}, {L"FRXX0076", L"Paris"}}, 1);
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kUpdateRate, 60);
  sheet_ = std::make_unique<CGantrelDlg>();
  sheet_->Create();
  sheet_->SetActivePage(&sheet_->locations_);
  sheet_->SetActivePage(&sheet_->configure_);
  sheet_->SetActivePage(&sheet_->compare_);
  sheet_->SetActivePage(&sheet_->install_);
  Click(IDC_ENABLE);

  messages_.Answer({platform::IDOK, platform::IDOK});
  Click(IDC_UNINSTALL);
  ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKey));
  EXPECT_TRUE(sheet_->PressOk());
  sheet_.reset();
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKey));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, TodayItemKey()));
}

TEST_F(InstallPage, AfterInstallThePagesKeepTheStoredDefaults) {
  // The sheet was built on an empty registry: the Setup page holds layout 0, the Locations page
  // six empty slots.
  sheet_->SetActivePage(&sheet_->configure_);
  sheet_->SetActivePage(&sheet_->locations_);
  sheet_->SetActivePage(&sheet_->install_);
  Click(IDC_INSTALL);
  EXPECT_EQ(sheet_->locations_.Code(0), L"UKXX0085");
  EXPECT_EQ(ItemText(sheet_->locations_.Window(), 1009), L"London");
  EXPECT_EQ(sheet_->configure_.settings().summaryLayout, 2);
  sheet_->PressOk();
  sheet_.reset();
  EXPECT_EQ(Setting(kSummaryDisplayType), 2u);
  EXPECT_EQ(SettingText(L"CityCode1"), L"UKXX0085");
  EXPECT_EQ(SettingText(L"CityCode2"), L"FRXX0076");
  EXPECT_EQ(SettingText(L"CityName3"), L"Geneva");
}

TEST_F(InstallPage, InstallAfterUninstallInOneRunStoresTheDefaultsAfresh) {
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kSummaryDisplayType, 4);
  messages_.Answer({platform::IDOK, platform::IDOK});
  Click(IDC_UNINSTALL);
  Click(IDC_INSTALL);
  sheet_.reset();
  EXPECT_EQ(Setting(kSummaryDisplayType), 2u);
  EXPECT_EQ(SettingText(L"CityCode1"), L"UKXX0085");
  EXPECT_EQ(SettingText(L"CityCode3"), L"SZXX0013");
  EXPECT_EQ(TodayModule(), L"\\windows\\cirrodex.dll");
}

}  // namespace
}  // namespace cirrodex
