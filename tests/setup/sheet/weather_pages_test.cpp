// The Current, Forecast and Compare pages: where they draw, the Compare page's rows, a selection
// that names no slot, and a picture of every page of the sheet for people to look at.
#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QTest>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/settings.h"
#include "platform/recording_context.h"
#include "setup/sheet/gantrel_dlg.h"
#include "setup/sheet/select_location_dlg.h"
#include "tests/setup/sheet/sheet_test_util.h"
#include "update/update_run.h"

namespace cirrodex {
namespace {

using platform::RecordingContext;
using platform::Rect;

template <class Page>
class Probe : public Page {
 public:
  using Page::OnPaint;
};

class WeatherPages : public testing::SheetTest {
 protected:
  // Configures the slots whose numbers (1-6) are given and names their reports "City<n>".
  static void Configure(const std::vector<int>& slots) {
    for (int slot : slots) {
      const size_t i = static_cast<size_t>(slot - 1);
      const std::wstring name = L"City" + std::to_wstring(slot);
      const std::wstring code = L"TEST000" + std::to_wstring(slot);
      CopyText(Cities().slots[i].code, std::wstring_view(code));
      CopyText(CityReports()[i].city, std::wstring_view(name));
      CityReports()[i].downloadResult = 200;  // no download wanted here
    }
  }
  // The top of each row: where the row's city name is drawn.
  static std::vector<int> RowTops(const RecordingContext& dc) {
    std::vector<int> tops;
    for (const auto& call : dc.CallsOf(RecordingContext::Kind::Text)) {
      if (call.text.starts_with(L"City")) {
        tops.push_back(call.rect.top);
        EXPECT_EQ(call.rect.left, 11) << "strips run from x = 10";
      }
    }
    return tops;
  }
};

TEST_F(WeatherPages, CompareDrawsOneRowPerConfiguredSlotEvery35Pixels) {
  struct Case {
    std::vector<int> slots;
    std::vector<int> tops;
  };
  const Case cases[] = {
      {{1, 2, 3, 4, 5, 6}, {0, 35, 70, 105, 140, 175}},
      {{1, 4}, {0, 35}},
      {{6}, {0}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    Cities() = CityList{};
    ResetCityReportsForTesting();
    Configure(c.slots);
    RecordingContext dc;
    CCompareWeather::DrawRows(dc, 0, 0, 0);
    EXPECT_EQ(RowTops(dc), c.tops);
  }
}

TEST_F(WeatherPages, CompareRowsFollowTheClientAreaAndUseLayoutTwo) {
  Configure({2, 5});
  Probe<CCompareWeather> page;
  QWidget parent;
  page.Create(&parent);
  RecordingContext dc;
  page.OnPaint(dc);
  EXPECT_EQ(RowTops(dc), (std::vector<int>{0, 35}));
  for (const auto& call : dc.CallsOf(RecordingContext::Kind::Text)) {
    EXPECT_EQ(call.font.height, 9) << "layout 2 draws in the small font";
    EXPECT_LE(call.rect.right, 230);
  }
}

TEST_F(WeatherPages, CurrentAndForecastDrawInTheClientArea) {
  Configure({1});
  Cities().selectedCity = 0;
  Probe<CCurrentWeather> current;
  Probe<CForecast> forecast;
  QWidget parent;
  current.Create(&parent);
  forecast.Create(&parent);

  RecordingContext currentDc;
  current.OnPaint(currentDc);
  const auto currentTexts = currentDc.CallsOf(RecordingContext::Kind::Text);
  ASSERT_FALSE(currentTexts.empty());
  EXPECT_EQ(currentTexts[0].rect, (Rect{5, 5, 238, 20})) << "the first line of the details";

  RecordingContext forecastDc;
  forecast.OnPaint(forecastDc);
  const auto forecastTexts = forecastDc.CallsOf(RecordingContext::Kind::Text);
  ASSERT_FALSE(forecastTexts.empty());
  EXPECT_EQ(forecastTexts[0].rect, (Rect{0, 0, 243, 52})) << "five rows of the page's height";
  EXPECT_EQ(forecastTexts.back().rect, (Rect{0, 0, 243, 263}));
}

TEST_F(WeatherPages, ASelectionThatNamesNoSlotDrawsNothing) {
  Configure({1, 2, 3, 4, 5, 6});
  Probe<CCurrentWeather> current;
  Probe<CForecast> forecast;
  QWidget parent;
  current.Create(&parent);
  forecast.Create(&parent);
  for (int32_t selected : {-1, 6, 7, 1000, -2147483647 - 1}) {
    Cities().selectedCity = selected;
    RecordingContext currentDc, forecastDc;
    current.OnPaint(currentDc);
    forecast.OnPaint(forecastDc);
    EXPECT_TRUE(currentDc.calls().empty()) << selected;
    EXPECT_TRUE(forecastDc.calls().empty()) << selected;
  }
}

// Pictures of every page as a person sees it, in <build>/page-shots.
TEST_F(WeatherPages, EveryPageShowsSomethingAndIsSavedAsAPicture) {
  testing::InstallIcons();
  testing::StoreCities(testing::kSixCities, 1);
  const std::filesystem::path folder = testing::BuildDir() / "page-shots";
  std::filesystem::create_directories(folder);

  const QPalette light = QApplication::palette();
  for (const bool dark : {false, true}) {
    // On a dark desktop palette too (Qt derives light text on a black base from a dark window).
    QApplication::setPalette(dark ? QPalette(QColor(0x35, 0x35, 0x35), QColor(0x2B, 0x2B, 0x2B))
                                  : light);
    auto sheet = std::make_unique<CGantrelDlg>();
    QDialog* window = sheet->Create();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    for (int i = 0; i < sheet->GetPageCount(); ++i) {
      ASSERT_TRUE(sheet->SetActivePage(i));
      testing::ProcessEvents();
      PropertyPage* page = sheet->GetPage(i);
      const QImage image = page->Window()->grab().toImage();
      int inked = 0;
      const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
      for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) inked += image.pixel(x, y) != background;
      }
      EXPECT_GT(inked, 200) << ToQString(page->Caption()).toStdString() << " looks empty";

      // Tab walks the page's controls in reading order: rows from the top, each from the left.
      std::vector<QRect> tabbed;
      for (QWidget* w = page->Window()->nextInFocusChain(); w != page->Window();
           w = w->nextInFocusChain()) {
        if (w->parentWidget() == page->Window() && (w->focusPolicy() & Qt::TabFocus)) {
          tabbed.push_back(w->geometry());
        }
      }
      for (size_t k = 1; k < tabbed.size(); ++k) {
        const QRect& a = tabbed[k - 1];
        const QRect& b = tabbed[k];
        const bool sameRow = b.center().y() >= a.top() && b.center().y() <= a.bottom();
        EXPECT_TRUE(sameRow ? b.left() > a.left() : b.top() > a.top())
            << ToQString(page->Caption()).toStdString() << ": control " << k << " out of order";
      }

      const std::string name = std::string(dark ? "dark-" : "") + std::to_string(i + 1) + "-" +
                               ToQString(page->Caption()).toStdString();
      EXPECT_TRUE(window->grab().save(QString::fromStdString((folder / (name + ".png")).string())));
    }
  }
  QApplication::setPalette(light);

  testing::WriteRegionFile("Europe.csv", "Geneva, SZXX0013\nParis, FRXX0076\n");
  CSelectLocationDlg chooser;
  chooser.SetStartCode(L"FRXX0076");
  chooser.Create();
  chooser.Window()->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(chooser.Window()));
  EXPECT_TRUE(chooser.Window()->grab().save(
      QString::fromStdString((folder / "select-location.png").string())));
}

}  // namespace
}  // namespace cirrodex
