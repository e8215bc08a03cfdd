#include "core/settings.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "core/registry_ops.h"
#include "core/text_field.h"
#include "tests/support/temp_device.h"

namespace cirrodex {
namespace {

using platform::Registry;

// Every test starts with an empty registry and a city list that was never loaded.
class Settings : public testing::DeviceTest {
 protected:
  void SetUp() override { Cities() = CityList{}; }
  void TearDown() override { Cities() = CityList{}; }

  std::wstring String(const wchar_t* name, const wchar_t* fallback = L"<missing>") {
    std::wstring text = fallback;
    ReadString(HKEY_CURRENT_USER, kSettingsKey, name, text);
    return text;
  }
  uint32_t Dword(const wchar_t* name) {
    return ReadDwordOr(HKEY_CURRENT_USER, kSettingsKey, name, 0xDEADBEEF);
  }
  void SetSlot(int slot, const wchar_t* code, const wchar_t* name) {
    StoreString(HKEY_CURRENT_USER, kSettingsKey, L"CityCode" + std::to_wstring(slot), code);
    if (name != nullptr) {
      StoreString(HKEY_CURRENT_USER, kSettingsKey, L"CityName" + std::to_wstring(slot), name);
    }
  }
};

TEST_F(Settings, FirstStartWithAnEmptyRegistry) {
  EXPECT_EQ(SelectedCity(), 0);
  EXPECT_EQ(SelectedCityCode(), L"UKXX0260");
  EXPECT_EQ(SelectedCityKey(), L"SOFTWARE\\Velbrook\\Cirrodex\\UKXX0260");
  EXPECT_FALSE(Registry().KeyExists(HKEY_CURRENT_USER, kSettingsKey));  // reading writes nothing

  EXPECT_TRUE(WriteDefaultSettings());
  EXPECT_EQ(Dword(kDisplayLastUpdateTime), 1u);
  EXPECT_EQ(Dword(kCitySelected), 0u);
  EXPECT_EQ(String(L"CityCode1"), L"UKXX0085");
  EXPECT_EQ(String(L"CityName1"), L"London");
  EXPECT_EQ(String(L"CityCode2"), L"FRXX0076");
  EXPECT_EQ(String(L"CityName2"), L"Paris");
  EXPECT_EQ(String(L"CityCode3"), L"SZXX0013");
  EXPECT_EQ(String(L"CityName3"), L"Geneva");
  EXPECT_EQ(String(L"CityCode4"), L"<missing>");
  EXPECT_EQ(Dword(kTemperatureUnits), 0u);
  EXPECT_EQ(Dword(kSummaryDisplayType), 2u);
  EXPECT_EQ(Dword(kUpdateRate), 0xDEADBEEFu) << "the schedule is left to its readers";
  EXPECT_EQ(SelectedCityCode(), L"UKXX0085");
}

// A value missing or stored as text reads alike in the strip and the sheet, but for the
// last-update line: the item hides it while the Setup page's box starts set.
TEST_F(Settings, MissingOrMistypedValuesReadAsEachProgramsDefault) {
  const DisplaySettings item{0, 0, false, 30, 0, 1439, {}};
  const DisplaySettings setup{0, 0, true, 30, 0, 1439, {}};
  for (const bool mistyped : {false, true}) {
    if (mistyped) {
      for (const DwordSetting& row : kDwordSettings) {
        StoreString(HKEY_CURRENT_USER, kSettingsKey, row.name, L"1");
      }
    }
    EXPECT_EQ(ReadDisplaySettings(SettingsReader::TodayItem), item) << mistyped;
    EXPECT_EQ(ReadDisplaySettings(SettingsReader::SetupProgram), setup) << mistyped;
    EXPECT_EQ(SelectedCity(), 0) << mistyped;
  }
}

TEST_F(Settings, DefaultsNeverOverwritePresentValues) {
  SetSlot(2, L"USNY0996", L"New York");
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kDisplayLastUpdateTime, 0);
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kTemperatureUnits, 4);
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kSummaryDisplayType, 5);
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kCitySelected, 1);
  EXPECT_TRUE(WriteDefaultSettings());
  EXPECT_EQ(String(L"CityCode1"), L"UKXX0085");
  EXPECT_EQ(String(L"CityCode2"), L"USNY0996");
  EXPECT_EQ(String(L"CityName2"), L"New York");
  EXPECT_EQ(String(L"CityCode3"), L"SZXX0013");
  EXPECT_EQ(Dword(kDisplayLastUpdateTime), 0u);
  EXPECT_EQ(Dword(kTemperatureUnits), 4u);
  EXPECT_EQ(Dword(kSummaryDisplayType), 5u);
  EXPECT_EQ(Dword(kCitySelected), 1u);
  EXPECT_EQ(SelectedCityCode(), L"USNY0996");
}

TEST_F(Settings, DefaultsWithAllThreeSlotsPresentStoreNoList) {
  SetSlot(1, L"A", L"a");
  SetSlot(2, L"B", L"b");
  SetSlot(3, L"C", nullptr);
  WriteDefaultSettings();
  EXPECT_EQ(String(L"CityName3"), L"<missing>");
}

TEST_F(Settings, LoadCityListCutsAndEmpties) {
  SetSlot(1, L"ABCDEFGHIJKLMNOPQRST", std::wstring(100, L'n').c_str());
  SetSlot(2, L"FRXX0076", nullptr);
  StoreString(HKEY_CURRENT_USER, kSettingsKey, L"CityName3", L"Orphan name");
  CityList& list = Cities();
  CopyText(list.slots[3].code, L"STALE");
  LoadCityList();
  EXPECT_EQ(list.selectedCity, 0);
  EXPECT_STREQ(list.slots[0].code, L"ABCDEFGHIJKLMNO");
  EXPECT_EQ(std::wstring(list.slots[0].name), std::wstring(63, L'n'));
  EXPECT_STREQ(list.slots[1].code, L"FRXX0076");
  EXPECT_STREQ(list.slots[1].name, L"");
  EXPECT_STREQ(list.slots[2].code, L"");
  EXPECT_STREQ(list.slots[2].name, L"");  // a name without a code is not loaded
  EXPECT_STREQ(list.slots[3].code, L"");
}

// The download stores a long code's weather under its first 15 characters; every reader of the
// list looks the city up under the same cut code.
TEST_F(Settings, EveryReaderCutsALongCodeAlike) {
  SetSlot(1, L"ABCDEFGHIJKLMNOPQRST", L"Long");
  LoadCityList();
  EXPECT_EQ(SelectedCityCode(), L"ABCDEFGHIJKLMNO");
  EXPECT_EQ(SelectedCityCode(), std::wstring(Cities().slots[0].code));
  EXPECT_EQ(SelectedCityKey(), CityKey(Cities().slots[0].code));
}

TEST_F(Settings, SaveCityListDeletesBothValuesOfAnEmptySlot) {
  SetSlot(4, L"OLD", L"Old name");
  LoadCityList();
  CityList& list = Cities();
  list.slots[3].code[0] = L'\0';
  CopyText(list.slots[3].name, L"Name kept in memory only");
  CopyText(list.slots[0].code, L"UKXX0085");
  CopyText(list.slots[0].name, L"London");
  SaveCityList();
  EXPECT_EQ(String(L"CityCode4"), L"<missing>");
  EXPECT_EQ(String(L"CityName4"), L"<missing>");
  EXPECT_EQ(String(L"CityCode1"), L"UKXX0085");
  EXPECT_EQ(String(L"CityName1"), L"London");
  EXPECT_EQ(String(L"CityCode5"), L"<missing>");
}

TEST_F(Settings, SelectCityOutsideTheSlotsWritesNothing) {
  EXPECT_EQ(SelectCity(3), 3);
  EXPECT_EQ(Dword(kCitySelected), 3u);
  for (int32_t index : {6, -1, 1000}) {
    EXPECT_EQ(SelectCity(index), 3) << index;
    EXPECT_EQ(Dword(kCitySelected), 3u);
    EXPECT_EQ(Cities().selectedCity, 3);
  }
  EXPECT_EQ(SelectCity(0), 0);
  EXPECT_EQ(SelectCity(5), 5);
}

TEST_F(Settings, SelectionOutsideTheSlotsIsReturnedUnchanged) {
  SetSlot(1, L"UKXX0085", L"London");
  for (uint32_t stored : {7u, 0xFFFFFFFFu, 0x7FFFFFFFu}) {
    StoreDword(HKEY_CURRENT_USER, kSettingsKey, kCitySelected, stored);
    EXPECT_EQ(SelectedCity(), static_cast<int32_t>(stored));
    EXPECT_EQ(Cities().selectedCity, static_cast<int32_t>(stored));
    EXPECT_EQ(SelectedCityCode(), L"UKXX0260");
  }
}

TEST_F(Settings, SelectedCityLoadsTheListOnlyOnFirstUse) {
  SetSlot(1, L"FIRST", L"First");
  EXPECT_EQ(SelectedCity(), 0);
  EXPECT_STREQ(Cities().slots[0].code, L"FIRST");
  SetSlot(1, L"SECOND", L"Second");
  SelectedCity();
  EXPECT_STREQ(Cities().slots[0].code, L"FIRST");  // the working copy is not reloaded
  EXPECT_EQ(SelectedCityCode(), L"SECOND");        // the code is read from the registry
}

TEST_F(Settings, CityKeyJoinsTheSettingsKeyAndTheCode) {
  EXPECT_EQ(CityKey(L"FRXX0076"), L"SOFTWARE\\Velbrook\\Cirrodex\\FRXX0076");
  EXPECT_EQ(CityKey(L""), L"SOFTWARE\\Velbrook\\Cirrodex\\");
}

TEST_F(Settings, ThreadsAskingForTheSelectionAtOnceAgree) {
  SetSlot(1, L"UKXX0085", L"London");
  SetSlot(2, L"FRXX0076", L"Paris");
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kCitySelected, 1);
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        if (SelectedCityCode() != L"FRXX0076") ++wrong;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_STREQ(Cities().slots[1].name, L"Paris");
}

}  // namespace
}  // namespace cirrodex
