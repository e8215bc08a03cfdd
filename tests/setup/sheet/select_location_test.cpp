// The city chooser and the region files: the region list's order, the reading of location
// lines, and where the chooser opens.
#include <QComboBox>
#include <filesystem>
#include <string>
#include <vector>

#include "core/weather_report.h"
#include "setup/sheet/region_files.h"
#include "setup/sheet/select_location_dlg.h"
#include "tests/setup/sheet/sheet_test_util.h"
#include "tests/support/read_lines.h"

namespace cirrodex {
namespace {

using testing::WriteRegionFile;

TEST(RegionLine, TakesTheNameUpToTheFirstCommaAndEightCharactersOfCode) {
  struct Case {
    std::wstring line;
    bool listed;
    std::wstring name;
    std::wstring code;
  };
  const Case cases[] = {
      {L"Paris,   FRXX0076", true, L"Paris", L"FRXX0076"},
      {L"St. Helier, Jersey,UKXX0999", true, L"St. Helier", L"Jersey,U"},
      {L"London, UKXX0085, 51.51, -0.13\n", true, L"London", L"UKXX0085"},
      {L"Oslo,NOXX0029\r\n", true, L"Oslo", L"NOXX0029"},
      {L"\"Quoted, Town\", XXXX0001", true, L"\"Quoted", L"Town\", X"},
      {L" Spaced Name ,CODE", true, L" Spaced Name ", L"CODE"},
      {L"Short,AB\n", true, L"Short", L"AB"},
      {L",NOXX0001", true, L"", L"NOXX0001"},
      {L"No comma here", false, L"", L""},
      {L"", false, L"", L""},
      {L"\n", false, L"", L""},
  };
  for (const Case& c : cases) {
    RegionLocation location;
    ASSERT_EQ(ParseRegionLine(c.line, location), c.listed) << ::testing::PrintToString(c.line);
    if (!c.listed) continue;
    EXPECT_EQ(location.name, c.name);
    EXPECT_EQ(location.code, c.code);
  }
}

TEST(RegionLine, NamesAreCutTo127Characters) {
  RegionLocation location;
  ASSERT_TRUE(ParseRegionLine(std::wstring(200, L'n') + L", ABCD1234", location));
  EXPECT_EQ(location.name, std::wstring(127, L'n'));
  EXPECT_EQ(location.code, L"ABCD1234");
}

TEST(RegionLine, LongLinesAreReadIn255CharacterPieces) {
  const std::wstring text = std::wstring(300, L'x') + L"\nA,B\r\nlast";
  const std::vector<std::wstring> lines = testing::SplitReadLines(text);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].size(), 255u);
  EXPECT_EQ(lines[1], std::wstring(45, L'x'));
  EXPECT_EQ(lines[2], L"A,B");
  EXPECT_EQ(lines[3], L"last");
}

class RegionFiles : public testing::SheetTest {};

TEST_F(RegionFiles, RegionsAreFileNamesInCapitalsInCharacterCodeOrder) {
  for (const char* name : {"b.csv", "A.csv", "AB.csv", "europe.csv", "North America.csv",
                           "notes.txt", ".csv", "x.csv.bak", "two.csv.csv"}) {
    WriteRegionFile(name, "Place, ABCD0001\n");
  }
  std::filesystem::create_directories(testing::InstallFolderPath() / "citycodes" / "dir.csv");
  EXPECT_EQ(FindRegions(kDefaultInstallFolder),
            (std::vector<std::wstring>{L"A", L"AB", L"B", L"EUROPE", L"NORTH AMERICA", L"TWO"}));
}

TEST_F(RegionFiles, MissingFolderGivesNoRegions) {
  EXPECT_TRUE(FindRegions(kDefaultInstallFolder).empty());
  std::vector<RegionLocation> locations;
  EXPECT_FALSE(ReadRegion(kDefaultInstallFolder, L"EUROPE", locations));
}

TEST_F(RegionFiles, LinesWithoutACommaAreSkippedWithoutShiftingThePairs) {
  WriteRegionFile("europe.csv",
                  "\xEF\xBB\xBFLondon, UKXX0085, 51.51, -0.13\n"
                  "Heading without comma\n"
                  "\n"
                  "Z\xC3\xBCrich, SZXX0033\n"
                  "London, UKXX0085\n");
  std::vector<RegionLocation> locations;
  ASSERT_TRUE(ReadRegion(kDefaultInstallFolder, L"EUROPE", locations));
  ASSERT_EQ(locations.size(), 3u);
  EXPECT_EQ(locations[0].name, L"London");
  EXPECT_EQ(locations[1].name, L"Z\u00FCrich");
  EXPECT_EQ(locations[1].code, L"SZXX0033");
  EXPECT_EQ(locations[2].code, L"UKXX0085") << "duplicates are listed as often as they occur";
}

// The shipped files, one per country: the first cities stand in their country under their old
// codes, and a city of the last region is found after every region before it was loaded.
TEST_F(RegionFiles, TheChooserOpensOnShippedCitiesUpToTheLastRegion) {
  const auto folder = testing::InstallFolderPath() / "citycodes";
  std::filesystem::create_directories(folder);
  std::filesystem::copy(testing::SourceDir() / "package" / "citycodes", folder);
  const struct {
    const wchar_t* code;
    const wchar_t* region;
    const wchar_t* name;
  } kCases[] = {{L"ZW000011", L"ZIMBABWE", L"Harare"},
                {L"UKXX0085", L"UNITED KINGDOM", L"London"},
                {L"CHXX0049", L"HONG KONG", L"Hong Kong"},
                {L"USDC0001", L"UNITED STATES", L"Washington (District of Columbia)"}};
  for (const auto& c : kCases) {
    CSelectLocationDlg chooser;
    chooser.SetStartCode(c.code);
    ASSERT_TRUE(chooser.Create());
    EXPECT_EQ(chooser.LoadedRegion(), c.region);
    EXPECT_EQ(chooser.ChosenCode(), c.code);
    EXPECT_EQ(chooser.ChosenName(), c.name);
  }
  CSelectLocationDlg last;
  last.SetStartCode(L"ZW000011");
  last.Create();
  EXPECT_EQ(last.RegionIndex() + 1, static_cast<int>(last.Regions().size()));
}

class Chooser : public testing::SheetTest {
 protected:
  void SetUp() override {
    SheetTest::SetUp();
    WriteRegionFile("Africa.csv", "Cairo, EGXX0004\nLagos, NIXX0011\n");
    WriteRegionFile("Asia.csv", "Tokyo, JAXX0085\n");
    WriteRegionFile("Europe.csv", "Berlin, GMXX0007\nParis,   FRXX0076\nRome, ITXX0067\n");
  }
  static QComboBox* Combo(CSelectLocationDlg& dialog, int id) {
    return DialogItemAs<QComboBox>(dialog.Window(), id);
  }
};

TEST_F(Chooser, OpensOnTheRegionAndLocationOfTheStartCode) {
  CSelectLocationDlg chooser;
  chooser.SetStartCode(L"FRXX0076");
  ASSERT_TRUE(chooser.Create());
  EXPECT_EQ(chooser.RegionIndex(), 2);
  EXPECT_EQ(chooser.LocationIndex(), 1);
  EXPECT_EQ(Combo(chooser, IDC_REGION)->currentText(), "EUROPE");
  EXPECT_EQ(Combo(chooser, IDC_LOCATION)->count(), 3);
  EXPECT_EQ(Combo(chooser, IDC_LOCATION)->currentText(), "Paris");
  EXPECT_EQ(ItemText(chooser.Window(), IDC_LOCATION_TEXT),
            L"Region Selected: EUROPE\nLocation Selected: Paris");
  EXPECT_EQ(ItemText(chooser.Window(), IDC_CODE_TEXT), L"City Code is FRXX0076");
  chooser.OnOK();
  EXPECT_EQ(chooser.Result(), IDOK);
  EXPECT_EQ(chooser.ChosenCode(), L"FRXX0076");
  EXPECT_EQ(chooser.ChosenName(), L"Paris");
}

TEST_F(Chooser, WithAnEmptyOrUnknownStartCodeOpensOnTheFirstRegionsFirstLocation) {
  for (const wchar_t* start : {L"", L"ZZXX0000"}) {
    CSelectLocationDlg chooser;
    chooser.SetStartCode(start);
    chooser.Create();
    EXPECT_EQ(Combo(chooser, IDC_REGION)->currentText(), "AFRICA") << start;
    EXPECT_EQ(Combo(chooser, IDC_LOCATION)->currentText(), "Cairo") << start;
    EXPECT_EQ(chooser.ChosenCode(), L"EGXX0004") << start;
  }
}

TEST_F(Chooser, ARegionPickedWithoutALocationKeepsTheEarlierChoice) {
  CSelectLocationDlg chooser;
  chooser.SetStartCode(L"ITXX0067");
  chooser.Create();
  QComboBox* regions = Combo(chooser, IDC_REGION);
  regions->setCurrentIndex(1);
  Q_EMIT regions->activated(1);
  EXPECT_EQ(chooser.LoadedRegion(), L"ASIA");
  EXPECT_EQ(Combo(chooser, IDC_LOCATION)->itemText(0), "Tokyo");
  EXPECT_EQ(Combo(chooser, IDC_LOCATION)->currentIndex(), -1);
  chooser.OnOK();
  EXPECT_EQ(chooser.ChosenCode(), L"ITXX0067");
  EXPECT_EQ(chooser.ChosenName(), L"Rome");

  CSelectLocationDlg again;
  again.Create();
  regions = Combo(again, IDC_REGION);
  regions->setCurrentIndex(1);
  Q_EMIT regions->activated(1);
  QComboBox* locations = Combo(again, IDC_LOCATION);
  locations->setCurrentIndex(0);
  Q_EMIT locations->activated(0);
  EXPECT_EQ(ItemText(again.Window(), IDC_LOCATION_TEXT),
            L"Region Selected: ASIA\nLocation Selected: Tokyo");
  EXPECT_EQ(ItemText(again.Window(), IDC_CODE_TEXT), L"City Code is JAXX0085");
  again.OnOK();
  EXPECT_EQ(again.ChosenCode(), L"JAXX0085");
}

TEST_F(Chooser, WithoutRegionFilesNothingCanBeChosen) {
  std::filesystem::remove_all(testing::InstallFolderPath() / "citycodes");
  CSelectLocationDlg chooser;
  chooser.SetStartCode(L"UKXX0085");
  chooser.Create();
  EXPECT_TRUE(chooser.Regions().empty());
  EXPECT_EQ(Combo(chooser, IDC_REGION)->count(), 0);
  EXPECT_FALSE(chooser.LoadRegion(0));
  EXPECT_FALSE(chooser.ChooseLocation(0));
  chooser.OnOK();
  EXPECT_EQ(chooser.ChosenCode(), L"");
  EXPECT_EQ(chooser.ChosenName(), L"");
}

TEST_F(Chooser, ARegionFileThatCannotBeOpenedLeavesTheLocationsEmpty) {
  CSelectLocationDlg chooser;
  chooser.Create();
  std::filesystem::remove(testing::InstallFolderPath() / "citycodes" / "Asia.csv");
  EXPECT_FALSE(chooser.LoadRegion(1));
  EXPECT_TRUE(chooser.Locations().empty());
  EXPECT_EQ(Combo(chooser, IDC_LOCATION)->count(), 0);
  EXPECT_FALSE(chooser.LoadRegion(3)) << "index past the last region";
  EXPECT_FALSE(chooser.LoadRegion(-1));
}

}  // namespace
}  // namespace cirrodex
