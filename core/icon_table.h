// What each weather icon number shows. The icon bitmaps are drawn from this table and the local
// weather service picks icons from it, so a feed's icon always matches its condition text.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace cirrodex {

enum class Sky : uint8_t { None, Sun, Moon };
enum class Clouds : uint8_t { None, Few, Partly, Mostly, Overcast };
enum class Precip : uint8_t {
  None,
  Drizzle,
  Showers,
  Rain,
  HeavyRain,
  Flurries,
  Snow,
  HeavySnow,
  Sleet,
  RainSnow,
  FreezingRain,
  Hail
};
enum class Obscured : uint8_t { None, Fog, Haze, Smoke, Dust };

struct IconInfo {
  int32_t number;
  bool night;
  Sky sky;
  Clouds clouds;
  Precip precip;
  bool thunder;
  bool wind;
  Obscured obscured;
  bool hot;
  bool cold;
  int32_t conditionCode;  // a code of the condition text table that says the same
};

// Icon numbers 0-47, indexed by number.
inline constexpr std::array<IconInfo, 48> kIconTable = {{
    {0, false, Sky::None, Clouds::Overcast, Precip::Rain, true, true, Obscured::None, false, false, 189},
    {1, false, Sky::None, Clouds::Overcast, Precip::HeavyRain, true, true, Obscured::None, false, false, 140},
    {2, false, Sky::None, Clouds::Overcast, Precip::HeavyRain, true, true, Obscured::None, false, false, 140},
    {3, false, Sky::None, Clouds::Overcast, Precip::HeavyRain, true, false, Obscured::None, false, false, 173},
    {4, false, Sky::None, Clouds::Overcast, Precip::Rain, true, false, Obscured::None, false, false, 53},
    {5, false, Sky::None, Clouds::Overcast, Precip::RainSnow, false, false, Obscured::None, false, false, 65},
    {6, false, Sky::None, Clouds::Overcast, Precip::Sleet, false, false, Obscured::None, false, false, 163},
    {7, false, Sky::None, Clouds::Overcast, Precip::Sleet, false, false, Obscured::None, false, false, 104},
    {8, false, Sky::None, Clouds::Overcast, Precip::FreezingRain, false, false, Obscured::None, false, false, 75},
    {9, false, Sky::None, Clouds::Overcast, Precip::Drizzle, false, false, Obscured::None, false, false, 194},
    {10, false, Sky::None, Clouds::Overcast, Precip::FreezingRain, false, false, Obscured::None, false, false, 114},
    {11, false, Sky::None, Clouds::Overcast, Precip::Showers, false, false, Obscured::None, false, false, 14},
    {12, false, Sky::None, Clouds::Overcast, Precip::Rain, false, false, Obscured::None, false, false, 18},
    {13, false, Sky::None, Clouds::Overcast, Precip::Flurries, false, false, Obscured::None, false, false, 45},
    {14, false, Sky::None, Clouds::Overcast, Precip::Flurries, false, false, Obscured::None, false, false, 995},
    {15, false, Sky::None, Clouds::Overcast, Precip::Snow, false, true, Obscured::None, false, false, 90},
    {16, false, Sky::None, Clouds::Overcast, Precip::Snow, false, false, Obscured::None, false, false, 109},
    {17, false, Sky::None, Clouds::Overcast, Precip::Hail, false, false, Obscured::None, false, false, 104},
    {18, false, Sky::None, Clouds::Overcast, Precip::Sleet, false, false, Obscured::None, false, false, 163},
    {19, false, Sky::None, Clouds::None, Precip::None, false, true, Obscured::Dust, false, false, 994},
    {20, false, Sky::None, Clouds::None, Precip::None, false, false, Obscured::Fog, false, false, 992},
    {21, false, Sky::Sun, Clouds::None, Precip::None, false, false, Obscured::Haze, false, false, 994},
    {22, false, Sky::None, Clouds::None, Precip::None, false, false, Obscured::Smoke, false, false, 993},
    {23, false, Sky::Sun, Clouds::Partly, Precip::None, false, true, Obscured::None, false, false, 37},
    {24, false, Sky::Sun, Clouds::None, Precip::None, false, true, Obscured::None, false, false, 55},
    {25, false, Sky::Sun, Clouds::None, Precip::None, false, false, Obscured::None, false, true, 999},
    {26, false, Sky::None, Clouds::Overcast, Precip::None, false, false, Obscured::None, false, false, 1},
    {27, true, Sky::Moon, Clouds::Mostly, Precip::None, false, false, Obscured::None, false, false, 3},
    {28, false, Sky::Sun, Clouds::Mostly, Precip::None, false, false, Obscured::None, false, false, 3},
    {29, true, Sky::Moon, Clouds::Partly, Precip::None, false, false, Obscured::None, false, false, 4},
    {30, false, Sky::Sun, Clouds::Partly, Precip::None, false, false, Obscured::None, false, false, 4},
    {31, true, Sky::Moon, Clouds::None, Precip::None, false, false, Obscured::None, false, false, 11},
    {32, false, Sky::Sun, Clouds::None, Precip::None, false, false, Obscured::None, false, false, 24},
    {33, true, Sky::Moon, Clouds::Few, Precip::None, false, false, Obscured::None, false, false, 23},
    {34, false, Sky::Sun, Clouds::Few, Precip::None, false, false, Obscured::None, false, false, 22},
    {35, false, Sky::None, Clouds::Overcast, Precip::Hail, false, false, Obscured::None, false, false, 163},
    {36, false, Sky::Sun, Clouds::None, Precip::None, false, false, Obscured::None, true, false, 24},
    {37, false, Sky::Sun, Clouds::Partly, Precip::Rain, true, false, Obscured::None, false, false, 27},
    {38, false, Sky::Sun, Clouds::Mostly, Precip::Rain, true, false, Obscured::None, false, false, 28},
    {39, false, Sky::Sun, Clouds::Partly, Precip::Showers, false, false, Obscured::None, false, false, 20},
    {40, false, Sky::None, Clouds::Overcast, Precip::HeavyRain, false, false, Obscured::None, false, false, 137},
    {41, false, Sky::Sun, Clouds::Partly, Precip::Flurries, false, false, Obscured::None, false, false, 70},
    {42, false, Sky::None, Clouds::Overcast, Precip::HeavySnow, false, false, Obscured::None, false, false, 109},
    {43, false, Sky::None, Clouds::Overcast, Precip::HeavySnow, false, true, Obscured::None, false, false, 90},
    {44, false, Sky::None, Clouds::None, Precip::None, false, false, Obscured::None, false, false, 0},
    {45, true, Sky::Moon, Clouds::Partly, Precip::Showers, false, false, Obscured::None, false, false, 20},
    {46, true, Sky::Moon, Clouds::Partly, Precip::Snow, false, false, Obscured::None, false, false, 84},
    {47, true, Sky::Moon, Clouds::Partly, Precip::Rain, true, false, Obscured::None, false, false, 43},
}};

// Icon 44 means "no data": it draws a plain question mark and is never chosen for weather.
inline constexpr int32_t kUnknownIcon = 44;

inline std::optional<IconInfo> IconFor(int32_t number) {
  if (number < 0 || number >= static_cast<int32_t>(kIconTable.size())) return std::nullopt;
  return kIconTable[static_cast<size_t>(number)];
}

}  // namespace cirrodex
