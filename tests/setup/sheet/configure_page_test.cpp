// The Setup tab: defaults, the labels the sliders give themselves when they paint, values clamped
// by the sliders, the preview drawn in the page's own unit, and what reaches the registry.
#include "setup/sheet/configure_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QSlider>
#include <QTest>
#include <memory>
#include <string>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "platform/recording_context.h"
#include "setup/sheet/gantrel_dlg.h"
#include "tests/setup/sheet/sheet_test_util.h"

namespace cirrodex {
namespace {

using platform::RecordingContext;

class ConfigurePage : public testing::SheetTest {
 protected:
  // Shows the sheet on the Setup tab and lets every control paint.
  CConfigure& Show() {
    sheet_ = std::make_unique<CGantrelDlg>();
    sheet_->SetActivePage(&sheet_->configure_);
    QDialog* window = sheet_->Create();
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
    testing::ProcessEvents();
    return sheet_->configure_;
  }
  std::wstring Text(int id) { return ItemText(sheet_->configure_.Window(), id); }
  QSlider* Slider(int id) { return DialogItemAs<QSlider>(sheet_->configure_.Window(), id); }
  QComboBox* Combo(int id) { return DialogItemAs<QComboBox>(sheet_->configure_.Window(), id); }
  void Repaint() {
    sheet_->Window()->repaint();
    testing::ProcessEvents();
  }
  static uint32_t Setting(const wchar_t* name, uint32_t fallback = 0xDEAD) {
    return ReadDwordOr(HKEY_CURRENT_USER, kSettingsKey, name, fallback);
  }
  static void Store(const wchar_t* name, uint32_t value) {
    StoreDword(HKEY_CURRENT_USER, kSettingsKey, name, value);
  }

  std::unique_ptr<CGantrelDlg> sheet_;
};

TEST_F(ConfigurePage, WithNothingStoredShowsTheDefaults) {
  Show();
  EXPECT_EQ(Combo(IDC_UNITS)->currentText(), "Celsius");
  EXPECT_EQ(Combo(IDC_UNITS)->count(), 5);
  EXPECT_EQ(Combo(IDC_UNITS)->itemText(4), "Rankin");
  EXPECT_EQ(Combo(IDC_SUMMARY_TYPE)->currentText(), "5-day forecast");
  EXPECT_EQ(Combo(IDC_SUMMARY_TYPE)->itemText(4), "Name + Current + 2 Maps + 2 day forecast");
  EXPECT_TRUE(
      DialogItemAs<QCheckBox>(sheet_->configure_.Window(), IDC_SHOW_LAST_UPDATE)->isChecked());
  EXPECT_EQ(Text(IDC_RATE_LABEL), L"Update Rate 00:30");
  EXPECT_EQ(Text(IDC_START_LABEL), L"Start automatic updates from 00:00");
  EXPECT_EQ(Text(IDC_END_LABEL), L"Stop automatic updates at 23:59");
}

TEST_F(ConfigurePage, TheEndLabelSaysEndOnlyUntilItsSliderFirstPaints) {
  CConfigure page;
  QWidget parent;
  page.Create(&parent);
  EXPECT_EQ(ItemText(page.Window(), IDC_END_LABEL), L"End automatic updates at 23:59");
  EXPECT_EQ(ItemText(page.Window(), IDC_RATE_LABEL), L"Update Rate 00:30");
  parent.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
  testing::ProcessEvents();
  EXPECT_EQ(ItemText(page.Window(), IDC_END_LABEL), L"Stop automatic updates at 23:59");
}

TEST_F(ConfigurePage, StoredValuesShowClampedToTheSliderRanges) {
  struct Case {
    uint32_t rate, start, end;
    int rateShown, startShown, endShown;
    const wchar_t* rateLabel;
    const wchar_t* startLabel;
    const wchar_t* endLabel;
  };
  const Case cases[] = {
      {90, 0, 1439, 90, 0, 1439, L"Update Rate 01:30", L"Start automatic updates from 00:00",
       L"Stop automatic updates at 23:59"},
      {10, 2000, 0xFFFFFFFBu, 15, 1439, 0, L"Update Rate 00:15",
       L"Start automatic updates from 23:59", L"Stop automatic updates at 00:00"},
      {400, 480, 1320, 300, 480, 1320, L"Update Rate 05:00", L"Start automatic updates from 08:00",
       L"Stop automatic updates at 22:00"},
  };
  for (const Case& c : cases) {
    Store(kUpdateRate, c.rate);
    Store(kStartUpdate, c.start);
    Store(kEndUpdate, c.end);
    Show();
    EXPECT_EQ(Slider(IDC_RATE_SLIDER)->value(), c.rateShown);
    EXPECT_EQ(Slider(IDC_START_SLIDER)->value(), c.startShown);
    EXPECT_EQ(Slider(IDC_END_SLIDER)->value(), c.endShown);
    EXPECT_EQ(Text(IDC_RATE_LABEL), c.rateLabel);
    EXPECT_EQ(Text(IDC_START_LABEL), c.startLabel);
    EXPECT_EQ(Text(IDC_END_LABEL), c.endLabel);
    sheet_.reset();
    EXPECT_EQ(Setting(kUpdateRate), static_cast<uint32_t>(c.rateShown));
    EXPECT_EQ(Setting(kStartUpdate), static_cast<uint32_t>(c.startShown));
    EXPECT_EQ(Setting(kEndUpdate), static_cast<uint32_t>(c.endShown));
  }
}

TEST_F(ConfigurePage, AValueOutOfRangeIsWrittenBackUnchangedWhenThePageWasNeverShown) {
  Store(kUpdateRate, 10);
  { CGantrelDlg sheet; }
  EXPECT_EQ(Setting(kUpdateRate), 10u);
}

TEST_F(ConfigurePage, MovingASliderRelabelsItAndOkStoresIt) {
  CConfigure& page = Show();
  Slider(IDC_END_SLIDER)->setValue(1320);
  Slider(IDC_RATE_SLIDER)->setValue(14);  // below the range: the slider keeps 15
  Slider(IDC_START_SLIDER)->setValue(75);
  Repaint();
  EXPECT_EQ(Text(IDC_END_LABEL), L"Stop automatic updates at 22:00");
  EXPECT_EQ(Text(IDC_RATE_LABEL), L"Update Rate 00:15");
  EXPECT_EQ(Text(IDC_START_LABEL), L"Start automatic updates from 01:15");
  EXPECT_EQ(page.settings().endUpdate, 1320);
  EXPECT_EQ(Setting(kEndUpdate), 0xDEADu);
  sheet_->PressOk();
  EXPECT_EQ(Setting(kEndUpdate), 1320u);
  EXPECT_EQ(Setting(kStartUpdate), 75u);
  EXPECT_EQ(Setting(kUpdateRate), 15u);
}

TEST_F(ConfigurePage, TheCheckBoxIsStoredAsOneOrZero) {
  Store(kDisplayLastUpdateTime, 7);  // any non-zero value reads as set
  Show();
  auto* box = DialogItemAs<QCheckBox>(sheet_->configure_.Window(), IDC_SHOW_LAST_UPDATE);
  ASSERT_TRUE(box->isChecked());
  sheet_->PressOk();
  EXPECT_EQ(Setting(kDisplayLastUpdateTime), 1u);
  box->click();
  sheet_->PressOk();
  EXPECT_EQ(Setting(kDisplayLastUpdateTime), 0u);
}

// The page's paint made callable.
class ConfigureProbe : public CConfigure {
 public:
  using CConfigure::OnPaint;
};

TEST_F(ConfigurePage, ChangingTheUnitRedrawsThePreviewInItWithoutStoringIt) {
  testing::StoreCities({{L"UKXX0085", L"London"}});
  LoadCityList();
  SelectedCity();
  ConfigureProbe page;
  QWidget parent;
  page.Create(&parent);  // downloads the selected city for the preview
  auto* units = DialogItemAs<QComboBox>(page.Window(), IDC_UNITS);

  auto temperatureTexts = [&](std::wstring_view suffix) {
    RecordingContext dc;
    page.OnPaint(dc);
    int count = 0;
    for (const auto& call : dc.CallsOf(RecordingContext::Kind::Text)) {
      if (call.text.ends_with(suffix)) ++count;
    }
    return count;
  };
  EXPECT_GT(temperatureTexts(L"\u00BAC"), 0);
  units->setCurrentIndex(2);
  Q_EMIT units->activated(2);
  EXPECT_EQ(temperatureTexts(L"\u00BAC"), 0);
  EXPECT_GT(temperatureTexts(L"K"), 0);
  EXPECT_EQ(Setting(kTemperatureUnits), 0xDEADu);
}

TEST_F(ConfigurePage, UnitListsRedrawThePreviewAtOnceAndOnlyOkStoresThem) {
  testing::StoreCities({{L"UKXX0085", L"London"}});
  LoadCityList();
  SelectedCity();
  Store(kSummaryDisplayType, 1);
  for (const bool ok : {false, true}) {
    {
      ConfigureProbe page;
      QWidget parent;
      page.Create(&parent);
      const struct {
        int id;
        int index;
        const wchar_t* drawn;
      } kLists[] = {{IDC_WIND_UNITS, kKnots, L"kn "},
                    {IDC_PRESSURE_UNITS, kInchesOfMercury, L"inHg "}};
      for (const auto& list : kLists) {
        auto* combo = DialogItemAs<QComboBox>(page.Window(), list.id);
        combo->setCurrentIndex(list.index);
        Q_EMIT combo->activated(list.index);
        RecordingContext dc;
        page.OnPaint(dc);
        bool shown = false;
        for (const auto& call : dc.CallsOf(RecordingContext::Kind::Text)) {
          shown |= call.text.find(list.drawn) != std::wstring::npos;
        }
        EXPECT_TRUE(shown) << "ok " << ok << ", " << ::testing::PrintToString(list.drawn);
      }
      if (ok) page.OnOK();
    }  // the page's destruction stores only what OK confirmed
    EXPECT_EQ(Setting(kWindUnits), ok ? uint32_t{kKnots} : uint32_t{kMilesPerHour});
    EXPECT_EQ(Setting(kPressureUnits), ok ? uint32_t{kInchesOfMercury} : uint32_t{kMillibars});
  }
}

TEST_F(ConfigurePage, ThePreviewStripLiesBelowTheControlsInTheChosenLayout) {
  testing::StoreCities({{L"UKXX0085", L"London"}});
  LoadCityList();
  SelectedCity();
  Store(kSummaryDisplayType, 5);
  ConfigureProbe page;
  QWidget parent;
  page.Create(&parent);
  RecordingContext dc;
  page.OnPaint(dc);
  const auto texts = dc.CallsOf(RecordingContext::Kind::Text);
  ASSERT_FALSE(texts.empty());
  for (const auto& call : texts) {
    EXPECT_GE(call.rect.left, 10);
    EXPECT_LE(call.rect.right, 230);
    EXPECT_GE(call.rect.top, 200);
    EXPECT_EQ(call.rect.bottom, 240) << "layout 5 is 40 pixels high";
    EXPECT_EQ(call.font.height, 13);
  }
}

TEST_F(ConfigurePage, NoPreviewWhenTheSelectionNamesNoSlot) {
  for (int32_t selected : {-1, 6, 99}) {
    Cities().selectedCity = selected;
    ConfigureProbe page;
    QWidget parent;
    page.Create(&parent);
    Cities().selectedCity = selected;
    RecordingContext dc;
    page.OnPaint(dc);
    EXPECT_TRUE(dc.calls().empty()) << selected;
  }
}

}  // namespace
}  // namespace cirrodex
