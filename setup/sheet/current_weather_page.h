// The Current page: the selected city's current conditions with graphs of its update history.
#pragma once

#include "dialog/property_page.h"

namespace cirrodex {

class CCurrentWeather : public PropertyPage {
 public:
  CCurrentWeather();

 protected:
  // Downloads the cities not yet tried in this run.
  bool OnInitDialog() override;
  void OnPaint(platform::DrawingContext& dc) override;
  std::wstring DescribePaint(const std::vector<std::wstring>& drawn) override;
};

}  // namespace cirrodex
