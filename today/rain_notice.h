// When the panel tells of rain about to begin: at most once per rain episode and city, never for
// made-up sample weather, never outside the allowed download hours, and not at all when the user
// switched "RainNotices" off. Pure bookkeeping: the caller reads the nowcast and the clock.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace cirrodex::today {

// What the nowcast says of the coming hour.
struct RainOutlook {
  bool known = false;        // a nowcast was stored and parsed
  bool wetNow = false;       // precipitation in the current quarter hour
  int beginsInMinutes = -1;  // from now to the first wet quarter hour; -1: dry for the hour
};

// What the user allows and what the weather is.
struct RainNoticeContext {
  bool enabled = true;       // "RainNotices"
  bool sample = false;       // the city's weather is made up (its name ends in " (sample)")
  uint32_t minuteOfDay = 0;  // local time now
  uint32_t startUpdate = 0;  // the allowed hours, as the download schedule has them
  uint32_t endUpdate = 1439;
};

// Notices give rain that begins within this many minutes.
inline constexpr int kRainNoticeMinutes = 60;

// "Rain in London from about 14:20": the start time rounded to five minutes, on a 24-hour clock.
std::wstring RainNoticeText(std::wstring_view city, uint32_t startMinuteOfDay);
// Whether a city name is the service's made-up weather.
bool IsSampleCity(std::wstring_view city);

class RainEpisodes {
 public:
  // The notice to give now for `cityCode` (named `city`), or empty. An episode begins with the
  // first outlook of rain within the hour while dry now and lasts while rain is due or falling;
  // it ends with an outlook dry for the whole hour, after which the next rain is a new episode.
  // Rain already falling when first seen gives none; rain due while no notice is allowed (hours,
  // setting, sample) gives one once it is, if it is still due and dry.
  std::wstring Consider(std::wstring_view cityCode, std::wstring_view city,
                        const RainOutlook& outlook, const RainNoticeContext& context);

 private:
  std::map<std::wstring, bool, std::less<>> inEpisode_;
};

}  // namespace cirrodex::today
