// The Forecast page: the selected city's five forecast days.
#pragma once

#include "dialog/property_page.h"

namespace cirrodex {

class CForecast : public PropertyPage {
 public:
  CForecast();

 protected:
  // Downloads the cities not yet tried in this run.
  bool OnInitDialog() override;
  void OnPaint(platform::DrawingContext& dc) override;
  std::wstring DescribePaint(const std::vector<std::wstring>& drawn) override;
};

}  // namespace cirrodex
