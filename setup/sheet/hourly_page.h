// The Hourly page: the selected city's next 48 hours, sunrise and sunset and the next two hours'
// rain, from the hourly document the downloads store.
#pragma once

#include "dialog/property_page.h"

namespace cirrodex {

class CHourly : public PropertyPage {
 public:
  CHourly();

 protected:
  // Downloads the cities not yet tried in this run.
  bool OnInitDialog() override;
  void OnPaint(platform::DrawingContext& dc) override;
  std::wstring DescribePaint(const std::vector<std::wstring>& drawn) override;
};

}  // namespace cirrodex
