// The Setup tab: temperature unit, summary layout, the units of wind, pressure and distance, the
// last-update line and the automatic update schedule, with a preview strip of the chosen layout for
// the selected city.
#pragma once

#include <cstdint>
#include <string>

#include "core/settings.h"
#include "core/units.h"
#include "dialog/property_page.h"

class QComboBox;
class QSlider;

namespace cirrodex {

inline constexpr int IDC_UNITS = 1011;
inline constexpr int IDC_SUMMARY_TYPE = 1023;
inline constexpr int IDC_SHOW_LAST_UPDATE = 1015;
inline constexpr int IDC_RATE_LABEL = 1036;
inline constexpr int IDC_RATE_SLIDER = 1035;
inline constexpr int IDC_START_LABEL = 1038;
inline constexpr int IDC_END_LABEL = 1039;
inline constexpr int IDC_START_SLIDER = 1037;
inline constexpr int IDC_END_SLIDER = 1040;
inline constexpr int IDC_WIND_UNITS = 1041;
inline constexpr int IDC_PRESSURE_UNITS = 1042;
inline constexpr int IDC_DISTANCE_UNITS = 1043;

inline constexpr int kMinUpdateRate = 15;
inline constexpr int kMaxUpdateRate = 300;

// "Update Rate %02d:%02d" and the two schedule labels, of minutes as hours and minutes.
std::wstring UpdateRateLabel(int32_t minutes);
std::wstring StartLabel(int32_t minute);
std::wstring EndLabel(int32_t minute);

class CConfigure : public PropertyPage {
 public:
  // Reads the six settings.
  CConfigure();
  // Writes the six settings again (unless the settings were uninstalled in this run).
  ~CConfigure() override;

  const DisplaySettings& settings() const { return settings_; }

  // Writes the six values, each with the write-or-create of the registry operations, and the
  // three units as OK last confirmed them.
  void WriteSettings();

  void OnOK() override;
  intptr_t OnQuerySiblings(int message, intptr_t param) override;

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(DataExchange& dx) override;
  void MapMessages() override;
  void OnPaint(platform::DrawingContext& dc) override;
  std::wstring DescribePaint(const std::vector<std::wstring>& drawn) override;

 private:
  void OnSelChangeCombo();
  void OnRateSliderPaint();
  void OnStartSliderPaint();
  void OnEndSliderPaint();
  // Puts the fields into the combo boxes, sliders and labels as the initialisation does.
  void ShowSettings();

  DisplaySettings settings_;
  // The units as read or as OK last stored them: what the page's destruction writes, so that a
  // choice the sheet's Cancel dropped is not stored after all.
  MeasureUnits confirmedUnits_;
  std::wstring rateLabel_;
  std::wstring startLabel_;
  std::wstring endLabel_;
  QComboBox* unitCombo_ = nullptr;
  QComboBox* layoutCombo_ = nullptr;
  QComboBox* windCombo_ = nullptr;
  QComboBox* pressureCombo_ = nullptr;
  QComboBox* distanceCombo_ = nullptr;
  QSlider* rateSlider_ = nullptr;
  QSlider* startSlider_ = nullptr;
  QSlider* endSlider_ = nullptr;
  // False once the settings key was removed in this run: the page then stores nothing.
  bool storesSettings_ = true;
};

}  // namespace cirrodex
