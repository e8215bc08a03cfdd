// The temperature the panel icon shows: whole degrees rounded half away from zero, no degree
// sign on the absolute scales, nothing for a missing value.
#include <gtest/gtest.h>

#include "today/item_state.h"

namespace cirrodex::today {
namespace {

TEST(PanelTemperature, WholeDegreesInTheUsersUnit) {
  struct Case {
    double fahrenheit;
    int32_t unit;
    const wchar_t* shown;
  };
  const Case cases[] = {{44.6, kCelsius, L"7\u00B0"},   {44.6, kFahrenheit, L"45\u00B0"},
                        {10.4, kCelsius, L"-12\u00B0"}, {27.5, kCelsius, L"-3\u00B0"},
                        {44.6, kKelvin, L"280"},        {44.6, kRankine, L"504"},
                        {44.6, kReaumur, L"6\u00B0"}};
  for (const Case& c : cases) {
    TemperatureValue t;
    t.Set(c.fahrenheit, kFahrenheit);
    EXPECT_EQ(PanelTemperature(t, c.unit), c.shown) << c.fahrenheit << " in unit " << c.unit;
  }
  EXPECT_EQ(PanelTemperature(TemperatureValue{}, kCelsius), L"");
}

}  // namespace
}  // namespace cirrodex::today
