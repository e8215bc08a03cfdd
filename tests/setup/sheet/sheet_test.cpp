// The setup sheet: its tabs, the start page that the command line chooses, pages initialised
// only when first shown, and the values that the pages store on OK and when the sheet goes.
#include <QComboBox>
#include <QDialog>
#include <QTabBar>
#include <QTest>
#include <fstream>
#include <future>
#include <memory>
#include <string>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "setup/command_line.h"
#include "setup/sheet/gantrel_dlg.h"
#include "setup/sheet/interactive_mode.h"
#include "setup/sheet/single_sheet.h"
#include "tests/setup/sheet/sheet_test_util.h"
#include "update/update_run.h"

namespace cirrodex {
namespace {

using testing::AnyCityTried;
using testing::kSixCities;
using testing::StoreCities;

class Sheet : public testing::SheetTest {
 protected:
  static QTabBar* Tabs(CGantrelDlg& sheet) { return sheet.Window()->findChild<QTabBar*>(); }
  static uint32_t Setting(const wchar_t* name, uint32_t fallback = 0xDEAD) {
    return ReadDwordOr(HKEY_CURRENT_USER, kSettingsKey, name, fallback);
  }
  static bool CityKeyHasResult(const std::wstring& code) {
    uint32_t result = 0;
    return ReadDword(HKEY_CURRENT_USER, CityKey(code), L"DownloadResult", result);
  }
};

TEST_F(Sheet, HasItsTabsInTabOrderUnderItsCaption) {
  CGantrelDlg sheet;
  QDialog* window = sheet.Create();
  EXPECT_EQ(window->windowTitle(), "Cirrodex Setup");
  const char* const tabs[] = {"Install", "Setup", "Locations", "Current", "Forecast", "Hourly",
                              "Compare", "Radar", "Satellite", "Icon",    "About"};
  const int templates[] = {129, 131, 102, 130, 133, 141, 136, 137, 140, 138, 134};
  ASSERT_EQ(Tabs(sheet)->count(), 11);
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(Tabs(sheet)->tabText(i), tabs[i]);
    EXPECT_EQ(sheet.GetPage(i)->Template().id, templates[i]);
    EXPECT_EQ(sheet.GetPage(i)->PixelSize(), QSize(243, 263)) << "162 x 162 dialog units";
  }
}

TEST_F(Sheet, CommandLineChoosesTheStartPage) {
  struct Case {
    const char* arguments;
    const char* tab;
  };
  const Case cases[] = {
      {"", "Install"},        {"/current", "Current"}, {"/day1", "Forecast"},
      {"/day3", "Forecast"},  {"/day5", "Forecast"},   {"/currently", "Current"},
      {"/day12", "Forecast"}, {"/Current", "Install"}, {"/DAY1", "Install"},
      {"/day6", "Install"},   {"x/day4y", "Forecast"}, {"/day2 /current", "Current"},
      {"/dayone", "Install"}, {"/hourly", "Hourly"},   {"/hourly /day2", "Forecast"},
  };
  for (const Case& c : cases) {
    const char* argv[] = {"gantrel", c.arguments};
    const StartMode mode = ChooseStartMode(JoinArguments(2, argv));
    CGantrelDlg sheet;
    ChooseStartPage(sheet, mode);
    sheet.Create();
    EXPECT_EQ(Tabs(sheet)->tabText(Tabs(sheet)->currentIndex()), c.tab) << c.arguments;
    EXPECT_TRUE(sheet.GetActivePage()->IsCreated()) << c.arguments;
  }
}

TEST_F(Sheet, ALaterStartHandsItsPageToTheOpenSheet) {
  const QString path = SheetSocketPath();
  ASSERT_FALSE(path.isEmpty());
  EXPECT_FALSE(HandOverToOpenSheet(path, StartMode::Current));  // nobody listens
  // What a sheet that died left there is taken over.
  std::ofstream(path.toStdString()) << "";
  SheetListener listener;
  ASSERT_TRUE(listener.Listen(path));
  SheetListener second;
  EXPECT_FALSE(second.Listen(path));
  std::vector<StartMode> shown;
  listener.OnStart([&shown](StartMode mode) { shown.push_back(mode); });
  const std::vector<StartMode> asked = {StartMode::Forecast, StartMode::FirstPage,
                                        StartMode::Current};
  for (StartMode mode : asked) {
    auto handed = std::async(std::launch::async, [&] { return HandOverToOpenSheet(path, mode); });
    while (handed.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
      QCoreApplication::processEvents();
    }
    EXPECT_TRUE(handed.get());
  }
  EXPECT_EQ(shown, asked);
}

TEST_F(Sheet, ShowingOnlyTheInstallPageDownloadsNothingUntilTheSheetGoes) {
  StoreCities(kSixCities);
  auto sheet = std::make_unique<CGantrelDlg>();
  QDialog* window = sheet->Create();
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  EXPECT_FALSE(AnyCityTried());
  EXPECT_FALSE(CityKeyHasResult(L"UKXX0085"));
  for (int i = 1; i < sheet->GetPageCount(); ++i) {
    EXPECT_FALSE(sheet->GetPage(i)->IsCreated()) << i;
  }
  EXPECT_EQ(waits_.begun, 0);

  sheet->PressCancel();
  sheet.reset();
  // The Locations page refreshes every configured city as it goes, under the wait cursor.
  for (size_t i = 0; i < kSixCities.size(); ++i) {
    EXPECT_EQ(CityReports()[i].downloadResult, 200u) << i;
    EXPECT_TRUE(CityKeyHasResult(kSixCities[i].first)) << i;
  }
  EXPECT_GE(waits_.begun, 1);
  EXPECT_EQ(waits_.depth, 0);
}

TEST_F(Sheet, TheFirstWeatherPageDownloadsAndLaterOnesDoNot) {
  StoreCities({{L"UKXX0085", L"London"}, {L"FRXX0076", L"Paris"}});
  CGantrelDlg sheet;
  ChooseStartPage(sheet, StartMode::Current);
  sheet.Create();
  EXPECT_EQ(CityReports()[0].downloadResult, 200u);
  EXPECT_EQ(CityReports()[1].downloadResult, 200u);
  EXPECT_EQ(waits_.begun, 1);
  // A page that downloaded again would overwrite these.
  CityReports()[0].downloadResult = 12345;
  CityReports()[1].downloadResult = 12345;
  sheet.SetActivePage(&sheet.forecast_);
  sheet.SetActivePage(&sheet.compare_);
  sheet.SetActivePage(&sheet.configure_);
  EXPECT_EQ(CityReports()[0].downloadResult, 12345u);
  EXPECT_EQ(CityReports()[1].downloadResult, 12345u);
}

TEST_F(Sheet, AFailedDownloadStillShowsTheStoredWeather) {
  StoreCities({{L"UKXX0085", L"London"}});
  {
    CGantrelDlg first;
    ChooseStartPage(first, StartMode::Current);
    first.Create();
    ASSERT_EQ(CityReports()[0].downloadResult, 200u);
  }
  const std::wstring city = CityReports()[0].city;
  ASSERT_FALSE(city.empty());
  ResetCityReportsForTesting();
  const std::string unreachable = "http://127.0.0.1:" + std::to_string(testing::UnusedPort()) +
                                  "/m/chnk/d/weather_d_src.asp?acid=";
  setenv("CIRRODEX_FEED_BASE", unreachable.c_str(), 1);
  CGantrelDlg second;
  ChooseStartPage(second, StartMode::Current);
  second.Create();
  EXPECT_NE(CityReports()[0].downloadResult, 200u);
  EXPECT_EQ(std::wstring(CityReports()[0].city), city);
}

TEST_F(Sheet, ClosingWithoutShowingThePagesStillStoresTheirValues) {
  {
    CGantrelDlg sheet;
    sheet.Create();
    sheet.PressCancel();
  }
  EXPECT_EQ(Setting(kTemperatureUnits), 0u);
  EXPECT_EQ(Setting(kSummaryDisplayType), 0u);
  EXPECT_EQ(Setting(kDisplayLastUpdateTime), 1u);
  EXPECT_EQ(Setting(kUpdateRate), 30u);
  EXPECT_EQ(Setting(kStartUpdate), 0u);
  EXPECT_EQ(Setting(kEndUpdate), 1439u);
  EXPECT_EQ(Setting(kCitySelected), 0u);
}

TEST_F(Sheet, OkStoresTheShownPagesAndTheirDestructionStoresThemAgain) {
  StoreCities({{L"UKXX0085", L"London"}});
  auto sheet = std::make_unique<CGantrelDlg>();
  sheet->Create();
  sheet->SetActivePage(&sheet->configure_);
  auto* units = DialogItemAs<QComboBox>(sheet->configure_.Window(), 1011);
  units->setCurrentIndex(2);
  Q_EMIT units->activated(2);
  EXPECT_EQ(Setting(kTemperatureUnits), 0xDEADu) << "nothing is stored before OK";

  ASSERT_TRUE(sheet->PressOk());
  EXPECT_EQ(Setting(kTemperatureUnits), 2u);
  EXPECT_EQ(Setting(kEndUpdate), 1439u);

  // Another program changes the values; the pages store theirs again as the sheet goes.
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kTemperatureUnits, 4);
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kCitySelected, 3);
  sheet.reset();
  EXPECT_EQ(Setting(kTemperatureUnits), 2u);
  EXPECT_EQ(Setting(kCitySelected), 0u);
}

}  // namespace
}  // namespace cirrodex
