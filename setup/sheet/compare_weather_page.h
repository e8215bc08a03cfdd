// The Compare page: one summary strip per configured city.
#pragma once

#include "dialog/property_page.h"

namespace cirrodex {

// The layout of every row ("Name + Current + 3 day forecast") and the gap between rows.
inline constexpr int32_t kCompareLayout = 2;
inline constexpr int kCompareRowGap = 5;

class CCompareWeather : public PropertyPage {
 public:
  CCompareWeather();

  // Draws the rows on `dc` for a client area whose top-left corner is (left, top): each
  // configured slot in slot order, unconfigured slots leaving no gap.
  static void DrawRows(platform::DrawingContext& dc, int left, int top, int32_t unit);

 protected:
  // Downloads the cities not yet tried in this run.
  bool OnInitDialog() override;
  void OnPaint(platform::DrawingContext& dc) override;
  std::wstring DescribePaint(const std::vector<std::wstring>& drawn) override;
};

}  // namespace cirrodex
