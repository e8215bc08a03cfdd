#include "setup/sheet/configure_page.h"

#include <QComboBox>
#include <QSlider>

#include "core/format.h"
#include "core/settings.h"
#include "core/spoken_text.h"
#include "core/summary_drawing.h"
#include "setup/sheet/city_refresh.h"
#include "setup/sheet/sheet_messages.h"

namespace cirrodex {

namespace {

constexpr std::wstring_view kUnitNames[] = {L"Celsius", L"Fahrenheit", L"Kelvin", L"Reaumur",
                                            L"Rankin"};
constexpr std::wstring_view kLayoutNames[] = {
    L"5-day forecast",
    L"Current + 3 day forecast",
    L"Name + Current + 3 day forecast",
    L"Name + Current + 3 day forecast (Medium)",
    L"Name + Current + 2 Maps + 2 day forecast",
    L"Name + Current + 2 day forecast (Large)",
};

constexpr std::wstring_view kWindUnitNames[] = {L"mph", L"km/h", L"m/s", L"knots", L"Beaufort"};
constexpr std::wstring_view kPressureUnitNames[] = {L"mBar", L"hPa", L"inHg", L"mmHg", L"kPa"};
constexpr std::wstring_view kDistanceUnitNames[] = {L"miles", L"km"};

constexpr ControlTemplate kControls[] = {
    {ControlKind::Static, kNoControlId, L"Temperature Units", 5, 7, 60, 8},
    {ControlKind::ComboBox, IDC_UNITS, L"", 79, 7, 78, 69, kStyleNone, kUnitNames},
    {ControlKind::Static, kNoControlId, L"Summary Type", 5, 20, 60, 8},
    {ControlKind::ComboBox, IDC_SUMMARY_TYPE, L"", 5, 30, 152, 109, kAutoHScroll, kLayoutNames},
    {ControlKind::CheckBox, IDC_SHOW_LAST_UPDATE, L"Display Last Update Time", 5, 46, 152, 10,
     kTextOnLeft},
    {ControlKind::Static, IDC_RATE_LABEL, L"Update Rate: 05:00", 5, 60, 65, 8},
    {ControlKind::Slider, IDC_RATE_SLIDER, L"", 76, 60, 81, 9},
    {ControlKind::Static, IDC_START_LABEL, L"Start automatic updates from 00:00", 5, 75, 152, 8},
    {ControlKind::Static, IDC_END_LABEL, L"End automatic updates at 23:59", 5, 96, 152, 8},
    {ControlKind::Slider, IDC_START_SLIDER, L"", 5, 85, 152, 10},
    {ControlKind::Slider, IDC_END_SLIDER, L"", 5, 106, 152, 10},
    // Below the preview strip; each list names its own units, so they need no labels.
    {ControlKind::ComboBox, IDC_WIND_UNITS, L"", 5, 149, 48, 69, kStyleNone, kWindUnitNames},
    {ControlKind::ComboBox, IDC_PRESSURE_UNITS, L"", 57, 149, 48, 69, kStyleNone,
     kPressureUnitNames},
    {ControlKind::ComboBox, IDC_DISTANCE_UNITS, L"", 109, 149, 48, 40, kStyleNone,
     kDistanceUnitNames},
};

constexpr DialogTemplate kTemplate{131, L"Setup", kPageWidthDlu, kPageHeightDlu, kControls};

// The preview strip's top in the page's client area.
constexpr int kPreviewTop = 200;

void WriteSigned(SettingRow setting, int32_t value) {
  WriteSetting(setting, static_cast<uint32_t>(value));
}

}  // namespace

std::wstring UpdateRateLabel(int32_t minutes) {
  return WFormat(L"Update Rate %02d:%02d", minutes / 60, minutes % 60);
}

std::wstring StartLabel(int32_t minute) {
  return WFormat(L"Start automatic updates from %02d:%02d", minute / 60, minute % 60);
}

std::wstring EndLabel(int32_t minute) {
  return WFormat(L"Stop automatic updates at %02d:%02d", minute / 60, minute % 60);
}

CConfigure::CConfigure()
    : PropertyPage(kTemplate),
      settings_(ReadDisplaySettings(SettingsReader::SetupProgram)),
      confirmedUnits_(settings_.measureUnits) {}

CConfigure::~CConfigure() { WriteSettings(); }

void CConfigure::WriteSettings() {
  if (!storesSettings_) return;
  WriteSigned(kTemperatureUnits, settings_.temperatureUnit);
  WriteSigned(kSummaryDisplayType, settings_.summaryLayout);
  WriteSigned(kDisplayLastUpdateTime, settings_.showLastUpdate ? 1 : 0);
  WriteSigned(kUpdateRate, settings_.updateRate);
  WriteSigned(kStartUpdate, settings_.startUpdate);
  WriteSigned(kEndUpdate, settings_.endUpdate);
  WriteSigned(kWindUnits, confirmedUnits_.wind);
  WriteSigned(kPressureUnits, confirmedUnits_.pressure);
  WriteSigned(kDistanceUnits, confirmedUnits_.distance);
}

void CConfigure::DoDataExchange(DataExchange& dx) {
  ExchangeControl(dx, IDC_START_SLIDER, startSlider_);
  ExchangeControl(dx, IDC_END_SLIDER, endSlider_);
  ExchangeControl(dx, IDC_RATE_SLIDER, rateSlider_);
  ExchangeControl(dx, IDC_SUMMARY_TYPE, layoutCombo_);
  ExchangeControl(dx, IDC_UNITS, unitCombo_);
  ExchangeControl(dx, IDC_WIND_UNITS, windCombo_);
  ExchangeControl(dx, IDC_PRESSURE_UNITS, pressureCombo_);
  ExchangeControl(dx, IDC_DISTANCE_UNITS, distanceCombo_);
  ExchangeCheck(dx, IDC_SHOW_LAST_UPDATE, settings_.showLastUpdate);
  ExchangeText(dx, IDC_RATE_LABEL, rateLabel_);
  ExchangeText(dx, IDC_END_LABEL, endLabel_);
  ExchangeText(dx, IDC_START_LABEL, startLabel_);
}

void CConfigure::MapMessages() {
  OnSelChange(IDC_UNITS, [this] { OnSelChangeCombo(); });
  OnSelChange(IDC_SUMMARY_TYPE, [this] { OnSelChangeCombo(); });
  OnSelChange(IDC_WIND_UNITS, [this] { OnSelChangeCombo(); });
  OnSelChange(IDC_PRESSURE_UNITS, [this] { OnSelChangeCombo(); });
  OnSelChange(IDC_DISTANCE_UNITS, [this] { OnSelChangeCombo(); });
  OnControlPaint(IDC_RATE_SLIDER, [this] { OnRateSliderPaint(); });
  OnControlPaint(IDC_START_SLIDER, [this] { OnStartSliderPaint(); });
  OnControlPaint(IDC_END_SLIDER, [this] { OnEndSliderPaint(); });
}

bool CConfigure::OnInitDialog() {
  PropertyPage::OnInitDialog();
  ShowSettings();
  RefreshUntriedCities();
  return true;
}

void CConfigure::ShowSettings() {
  unitCombo_->setCurrentIndex(settings_.temperatureUnit);
  layoutCombo_->setCurrentIndex(settings_.summaryLayout);
  windCombo_->setCurrentIndex(settings_.measureUnits.wind);
  pressureCombo_->setCurrentIndex(settings_.measureUnits.pressure);
  distanceCombo_->setCurrentIndex(settings_.measureUnits.distance);

  rateSlider_->setRange(kMinUpdateRate, kMaxUpdateRate);
  rateSlider_->setValue(settings_.updateRate);
  rateLabel_ = UpdateRateLabel(settings_.updateRate);

  startSlider_->setRange(0, kLastMinuteOfDay);
  startSlider_->setValue(settings_.startUpdate);
  startLabel_ = StartLabel(settings_.startUpdate);

  endSlider_->setRange(0, kLastMinuteOfDay);
  endSlider_->setValue(settings_.endUpdate);
  // Until the slider first paints; from then on the label begins with "Stop".
  endLabel_ = WFormat(L"End automatic updates at %02d:%02d", settings_.endUpdate / 60,
                      settings_.endUpdate % 60);

  UpdateData(Exchange::ToControls);
}

void CConfigure::OnSelChangeCombo() {
  UpdateData(Exchange::FromControls);
  settings_.temperatureUnit = unitCombo_->currentIndex();
  settings_.summaryLayout = layoutCombo_->currentIndex();
  settings_.measureUnits = ValidUnits(
      {windCombo_->currentIndex(), pressureCombo_->currentIndex(), distanceCombo_->currentIndex()});
  Invalidate();
  UpdateData(Exchange::ToControls);
}

void CConfigure::OnRateSliderPaint() {
  UpdateData(Exchange::FromControls);
  settings_.updateRate = rateSlider_->value();
  rateLabel_ = UpdateRateLabel(settings_.updateRate);
  UpdateData(Exchange::ToControls);
}

void CConfigure::OnStartSliderPaint() {
  UpdateData(Exchange::FromControls);
  settings_.startUpdate = startSlider_->value();
  startLabel_ = StartLabel(settings_.startUpdate);
  UpdateData(Exchange::ToControls);
}

void CConfigure::OnEndSliderPaint() {
  UpdateData(Exchange::FromControls);
  settings_.endUpdate = endSlider_->value();
  endLabel_ = EndLabel(settings_.endUpdate);
  UpdateData(Exchange::ToControls);
}

void CConfigure::OnPaint(platform::DrawingContext& dc) {
  WeatherReport* report = SelectedReport();
  if (report == nullptr) return;
  const int32_t layout = settings_.summaryLayout;
  OnStripColours(dc, StripRect(layout, 0, kPreviewTop), [&] {
    DrawStrip(*report, dc, layout, settings_.temperatureUnit, settings_.measureUnits,
              StatusLine::Hidden, -1, 0, kPreviewTop);
  });
}

std::wstring CConfigure::DescribePaint(const std::vector<std::wstring>& /*drawn*/) {
  WeatherReport* report = SelectedReport();
  if (report == nullptr) return {};
  return L"Preview: " + SummaryText(*report, settings_.summaryLayout, settings_.temperatureUnit,
                                    settings_.measureUnits);
}

void CConfigure::OnOK() {
  confirmedUnits_ = settings_.measureUnits;
  WriteSettings();
}

intptr_t CConfigure::OnQuerySiblings(int message, intptr_t /*param*/) {
  if (message == kSettingsRemoved) {
    storesSettings_ = false;
  } else if (message == kSettingsInstalled) {
    settings_ = ReadDisplaySettings(SettingsReader::SetupProgram);
    confirmedUnits_ = settings_.measureUnits;
    storesSettings_ = true;
    if (IsCreated()) {
      ShowSettings();
      Invalidate();
    }
  }
  return 0;
}

}  // namespace cirrodex
