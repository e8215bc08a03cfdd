// The Locations page: typed codes checked against the real weather service when the edit loses
// the focus, Browse with the city chooser, and what the page stores.
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <memory>
#include <string>

#include "core/format.h"
#include "core/registry_ops.h"
#include "core/settings.h"
#include "dialog/input_panel.h"
#include "setup/sheet/gantrel_dlg.h"
#include "tests/setup/sheet/sheet_test_util.h"
#include "update/update_run.h"

namespace cirrodex {
namespace {

using testing::StoreCities;

class LocationsPage : public testing::SheetTest {
 protected:
  CGantrelDialog& Show() {
    sheet_ = std::make_unique<CGantrelDlg>();
    sheet_->SetActivePage(&sheet_->locations_);
    QDialog* window = sheet_->Create();
    window->show();
    QApplication::setActiveWindow(window);
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    return sheet_->locations_;
  }
  CGantrelDialog& page() { return sheet_->locations_; }
  QLineEdit* Edit(int slot) {
    return DialogItemAs<QLineEdit>(page().Window(), kSlotEditIds[static_cast<size_t>(slot)]);
  }
  std::wstring RadioText(int slot) {
    return ItemText(page().Window(), kSlotRadioIds[static_cast<size_t>(slot)]);
  }
  // Types `code` into the slot's edit and moves the focus to another edit, as a user would.
  void Type(int slot, const QString& code) {
    QLineEdit* edit = Edit(slot);
    edit->setFocus(Qt::MouseFocusReason);
    edit->selectAll();
    if (code.isEmpty()) {
      QTest::keyClick(edit, Qt::Key_Delete);
    } else {
      QTest::keyClicks(edit, code);
    }
    Edit(slot == 5 ? 0 : 5)->setFocus(Qt::MouseFocusReason);
  }
  static std::wstring SettingText(const std::wstring& name) {
    std::wstring value = L"(missing)";
    ReadString(HKEY_CURRENT_USER, kSettingsKey, name, value);
    return value;
  }

  std::unique_ptr<CGantrelDlg> sheet_;
};

TEST_F(LocationsPage, ShowsEachSlotsCodeAndNameOrUnconfigured) {
  StoreCities({{L"UKXX0085", L"London"}, {L"", L""}, {L"SZXX0013", L"Geneva"}}, 2);
  Show();
  EXPECT_EQ(Edit(0)->text(), "UKXX0085");
  EXPECT_EQ(RadioText(0), L"London");
  EXPECT_EQ(RadioText(1), L"<Unconfigured>");
  EXPECT_EQ(RadioText(2), L"Geneva");
  EXPECT_EQ(RadioText(5), L"<Unconfigured>");
  EXPECT_TRUE(DialogItemAs<QRadioButton>(page().Window(), 1011)->isChecked());
}

TEST_F(LocationsPage, AKnownCodeIsDownloadedAndNamesTheSlot) {
  StoreCities({{L"UKXX0085", L"London"}});
  Show();
  Type(1, "frxx0076");
  ASSERT_EQ(messages_.boxes().size(), 1u);
  const WeatherReport& report = CityReports()[1];
  EXPECT_EQ(report.downloadResult, 200u);
  EXPECT_NE(std::wstring(report.city).find(L"Paris"), std::wstring::npos);
  EXPECT_EQ(messages_.boxes()[0].text, WFormat(L"City 2 corresponds to %ls, %ls (%ls)", report.city,
                                               report.country, report.region));
  EXPECT_EQ(messages_.boxes()[0].type, platform::MB_OK);
  EXPECT_EQ(page().Code(1), L"FRXX0076");
  EXPECT_EQ(page().Name(1), L"Paris");
  EXPECT_EQ(RadioText(1), L"Paris");
  EXPECT_EQ(SettingText(L"CityCode2"), L"(missing)") << "stored only when the page saves";
}

TEST_F(LocationsPage, AnUnknownCodeIsReportedAndTheSlotKeepsItAndItsOldName) {
  StoreCities({{L"UKXX0085", L"London"}});
  Show();
  Type(0, "ZZXX9999");
  ASSERT_EQ(messages_.boxes().size(), 1u);
  EXPECT_EQ(messages_.boxes()[0].text, L"Error - unknown city code");
  EXPECT_EQ(CityReports()[0].downloadResult, 404u);
  EXPECT_EQ(page().Code(0), L"ZZXX9999");
  EXPECT_EQ(page().Name(0), L"London");
  EXPECT_EQ(RadioText(0), L"London");
  EXPECT_EQ(Edit(0)->text(), "ZZXX9999");
}

TEST_F(LocationsPage, LeavingAnUnchangedCodeDownloadsNothing) {
  StoreCities({{L"UKXX0085", L"London"}});
  Show();
  Type(0, "UKXX0085");
  EXPECT_TRUE(messages_.boxes().empty());
  EXPECT_EQ(CityReports()[0].downloadResult, 0u);
}

TEST_F(LocationsPage, AClearedSlotIsUnconfiguredAndItsValuesGoWhenSaved) {
  StoreCities({{L"UKXX0085", L"London"}, {L"FRXX0076", L"Paris"}});
  Show();
  Type(1, "");
  EXPECT_TRUE(messages_.boxes().empty());
  EXPECT_EQ(RadioText(1), L"<Unconfigured>");
  EXPECT_EQ(page().Name(1), L"");
  ASSERT_TRUE(sheet_->PressOk());
  EXPECT_EQ(SettingText(L"CityCode2"), L"(missing)");
  EXPECT_EQ(SettingText(L"CityName2"), L"(missing)");
  EXPECT_EQ(SettingText(L"CityCode1"), L"UKXX0085");
}

TEST_F(LocationsPage, ACodeOfThirtyOneCharactersIsNeitherCheckedNorReportedAndSavedCut) {
  StoreCities({{L"UKXX0085", L"London"}});
  Show();
  const QString longCode = "ABCDEFGHIJKLMNOPQRSTUVWXYZ12345";
  ASSERT_EQ(longCode.size(), 31);
  Type(2, longCode);
  EXPECT_TRUE(messages_.boxes().empty());
  EXPECT_EQ(CityReports()[2].downloadResult, 0u);
  EXPECT_EQ(Edit(2)->text(), longCode);
  ASSERT_TRUE(sheet_->PressOk());
  EXPECT_EQ(SettingText(L"CityCode3"), L"ABCDEFGHIJKLMNO");
}

TEST_F(LocationsPage, OkStoresTheSlotsAndTheSelectionAndRefreshesEveryCity) {
  StoreCities({{L"UKXX0085", L"London"}});
  Show();
  Type(3, "GMXX0007");
  DialogItemAs<QRadioButton>(page().Window(), 1012)->click();
  ASSERT_TRUE(sheet_->PressOk());
  EXPECT_EQ(SettingText(L"CityCode4"), L"GMXX0007");
  // The service's made-up weather marks its city name; the stored name is the city's own.
  EXPECT_EQ(SettingText(L"CityName4"), L"Berlin");
  EXPECT_EQ(ReadDwordOr(HKEY_CURRENT_USER, kSettingsKey, kCitySelected, 99), 3u);
  EXPECT_EQ(CityReports()[0].downloadResult, 200u);
  EXPECT_EQ(CityReports()[3].downloadResult, 200u);
}

TEST_F(LocationsPage, SwitchingTabsRightAfterTypingStillChecksTheCode) {
  Show();
  QLineEdit* edit = Edit(1);
  edit->setFocus(Qt::MouseFocusReason);
  QTest::keyClicks(edit, "FRXX0076");
  sheet_->SetActivePage(&sheet_->about_);
  ASSERT_EQ(messages_.boxes().size(), 1u);
  EXPECT_TRUE(messages_.boxes()[0].text.starts_with(L"City 2 corresponds to Paris"));
  EXPECT_EQ(page().Code(1), L"FRXX0076");
}

TEST_F(LocationsPage, EditsShowTheInputPanelWhileTheyHaveTheFocus) {
  QWidget panel;
  panel.setProperty(kWindowClassProperty, QString::fromLatin1(kInputPanelClass));
  Show();
  Edit(0)->setFocus(Qt::MouseFocusReason);
  EXPECT_TRUE(panel.isVisible());
  sheet_->SetActivePage(&sheet_->install_);
  EXPECT_FALSE(panel.isVisible());
}

TEST_F(LocationsPage, BrowseTakesTheChosenLocationWithoutCheckingIt) {
  testing::WriteRegionFile("Alpha.csv", "Aberdeen, UKXX0001, 57.1, -2.1\n");
  testing::WriteRegionFile("Beta.csv", "Berne, SZXX0006, 46.9, 7.4\nBasel, SZXX0003, 47.5, 7.6\n");
  Show();
  // The chooser opens on the first region's first location; OK takes it.
  QTimer::singleShot(0, [] {
    QWidget* chooser = QApplication::activeModalWidget();
    ASSERT_NE(chooser, nullptr);
    QTest::mouseClick(DialogItem(chooser, IDOK), Qt::LeftButton);
  });
  QTest::mouseClick(page().GetDlgItem(kSlotBrowseIds[4]), Qt::LeftButton);
  EXPECT_EQ(page().Code(4), L"UKXX0001");
  EXPECT_EQ(page().Name(4), L"Aberdeen");
  EXPECT_EQ(RadioText(4), L"Aberdeen");
  EXPECT_EQ(Edit(4)->text(), "UKXX0001");
  EXPECT_EQ(CityReports()[4].downloadResult, 0u);
  EXPECT_TRUE(messages_.boxes().empty());
}

}  // namespace
}  // namespace cirrodex
