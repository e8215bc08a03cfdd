// Finding a place by name or coordinates over the shipped region files, in the chooser and from
// the Locations page's code fields.
#include "setup/sheet/place_search.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <string>

#include "core/weather_report.h"
#include "setup/sheet/gantrel_dlg.h"
#include "setup/sheet/select_location_dlg.h"
#include "tests/setup/sheet/sheet_test_util.h"
#include "update/update_run.h"

namespace cirrodex {
namespace {

class PlaceSearch : public testing::SheetTest {
 protected:
  void SetUp() override {
    SheetTest::SetUp();
    const auto folder = testing::InstallFolderPath() / "citycodes";
    std::filesystem::create_directories(folder);
    std::filesystem::copy(testing::SourceDir() / "package" / "citycodes", folder);
  }
};

TEST_F(PlaceSearch, QueriesFindTheBestPlaceFirst) {
  PlaceIndex index;
  index.Load(InstallFolder(CityReports()[0]));
  ASSERT_EQ(index.size(), 24362u);
  const std::wstring longQuery(200, L'a');
  const struct {
    std::wstring query;
    const wchar_t* code;  // of the first match; null: no match at all
    const wchar_t* label;
  } kCases[] = {
      {L"zurich", L"SZXX0033", L"Zurich, Canton of Zurich (Switzerland)"},
      {L"Zürich", L"SZXX0033", nullptr},
      {L"ZÜRICH  ", L"SZXX0033", nullptr},
      {L"sao paulo", L"BRXX0232", nullptr},
      {L"São Paulo", L"BRXX0232", nullptr},
      {L"durres", L"AL000003", nullptr},  // written "Durrës"
      {L"Łódź", L"PL000128", nullptr},    // beyond Latin-1
      {L"reykj", L"IS000004", L"Reykjavik, Capital Region (Iceland)"},
      {L"london", L"UKXX0085", L"London, England (United Kingdom)"},  // not London, Ontario
      {L"sydney", L"ASXX0112", nullptr},
      {L"aberdeen", L"GB000002", nullptr},  // also in the United States
      {L"lumpur", L"MY000064", nullptr},    // a word inside the name
      {L"52.52, 13.40", L"N5252E01340", L"N5252E01340: Berlin (Germany)"},
      {L"52.52N 13.40E", L"N5252E01340", nullptr},
      {L"-33.87 151.21", L"S3387E15121", L"S3387E15121: Sydney (Australia)"},
      {L"69.9N 18.96E", L"N6990E01896", nullptr},
      {L"91, 13", nullptr, nullptr},
      {L"xqzzyv", nullptr, nullptr},
      {longQuery, nullptr, nullptr},
      {L"     ", nullptr, nullptr},
      {L"z", nullptr, nullptr},
  };
  for (const auto& c : kCases) {
    const std::vector<PlaceMatch> matches = index.Search(c.query);
    SCOPED_TRACE(::testing::PrintToString(c.query));
    if (c.code == nullptr) {
      EXPECT_TRUE(matches.empty()) << ::testing::PrintToString(matches.front().label);
      continue;
    }
    ASSERT_FALSE(matches.empty());
    EXPECT_EQ(matches.front().code, c.code) << ::testing::PrintToString(matches.front().label);
    if (c.label != nullptr) {
      EXPECT_EQ(matches.front().label, c.label);
    }
  }
}

TEST_F(PlaceSearch, PickingFillsTheListsAsChoosingByHandDoes) {
  CSelectLocationDlg byHand;
  byHand.SetStartCode(L"IS000004");
  ASSERT_TRUE(byHand.Create());

  CSelectLocationDlg chooser;
  ASSERT_TRUE(chooser.Create());
  auto* find = DialogItemAs<QLineEdit>(chooser.Window(), IDC_FIND);
  EXPECT_EQ(chooser.Window()->focusWidget(), find);
  QTest::keyClicks(find, "reykj");
  ASSERT_FALSE(chooser.Matches().empty());
  ASSERT_TRUE(chooser.PickMatch(0));
  EXPECT_EQ(chooser.RegionIndex(), byHand.RegionIndex());
  EXPECT_EQ(chooser.LocationIndex(), byHand.LocationIndex());
  EXPECT_EQ(chooser.CodeText(), byHand.CodeText());
  EXPECT_EQ(chooser.LocationText(), byHand.LocationText());
  EXPECT_EQ(DialogItemAs<QComboBox>(chooser.Window(), IDC_LOCATION)->currentIndex(),
            byHand.LocationIndex());

  // A point: its coordinate code, named after the nearest place, in that place's region.
  find->clear();
  QTest::keyClicks(find, "52.52, 13.40");
  ASSERT_TRUE(chooser.PickMatch(0));
  EXPECT_EQ(chooser.ChosenCode(), L"N5252E01340");
  EXPECT_EQ(chooser.ChosenName(), L"Berlin");
  EXPECT_EQ(chooser.LoadedRegion(), L"GERMANY");
  EXPECT_EQ(chooser.CodeText(), L"City Code is N5252E01340");
}

TEST_F(PlaceSearch, ANameInACodeFieldOffersItsMatchesAndTheCodeReplacesIt) {
  auto sheet = std::make_unique<CGantrelDlg>();
  sheet->SetActivePage(&sheet->locations_);
  QDialog* window = sheet->Create();
  window->show();
  QApplication::setActiveWindow(window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  bool offered = false;
  QTimer::singleShot(0, [&] {
    QWidget* chooser = QApplication::activeModalWidget();
    ASSERT_NE(chooser, nullptr);
    auto* list = chooser->findChild<QListWidget*>();
    ASSERT_NE(list, nullptr);
    offered = list->count() > 0 && list->item(0)->text().startsWith("Berlin (Germany)");
    QTest::keyClick(DialogItem(chooser, IDC_FIND), Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    QTest::mouseClick(DialogItem(chooser, IDOK), Qt::LeftButton);
  });
  auto* edit = DialogItemAs<QLineEdit>(sheet->locations_.Window(), kSlotEditIds[1]);
  edit->setFocus(Qt::MouseFocusReason);
  edit->selectAll();
  QTest::keyClicks(edit, "Berlin");
  DialogItem(sheet->locations_.Window(), kSlotEditIds[0])->setFocus(Qt::MouseFocusReason);
  EXPECT_TRUE(offered);
  EXPECT_EQ(sheet->locations_.Code(1), L"GMXX0007");
  EXPECT_EQ(sheet->locations_.Name(1), L"Berlin");
  EXPECT_EQ(edit->text(), "GMXX0007");
  EXPECT_TRUE(messages_.boxes().empty()) << "no \"unknown city code\"";
}

}  // namespace
}  // namespace cirrodex
