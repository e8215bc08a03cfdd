#include "today/rain_notice.h"

#include "core/format.h"
#include "today/item_state.h"

namespace cirrodex::today {

std::wstring RainNoticeText(std::wstring_view city, uint32_t startMinuteOfDay) {
  // Quarter-hour values say no more than "about": five minutes is as fine as the text goes.
  const uint32_t minute = (startMinuteOfDay + 2) / 5 * 5 % (24 * 60);
  return WFormat(L"Rain in %ls from about %02u:%02u", std::wstring(city).c_str(), minute / 60,
                 minute % 60);
}

bool IsSampleCity(std::wstring_view city) {
  constexpr std::wstring_view kSample = L" (sample)";
  return city.size() >= kSample.size() && city.substr(city.size() - kSample.size()) == kSample;
}

std::wstring RainEpisodes::Consider(std::wstring_view cityCode, std::wstring_view city,
                                    const RainOutlook& outlook, const RainNoticeContext& context) {
  // Nothing known says nothing about the episode either way.
  if (!outlook.known) return {};
  const bool rainDue = outlook.wetNow || (outlook.beginsInMinutes >= 0 &&
                                          outlook.beginsInMinutes <= kRainNoticeMinutes);
  auto it = inEpisode_.find(cityCode);
  const bool already = it != inEpisode_.end() && it->second;
  if (!rainDue) {
    if (it != inEpisode_.end()) it->second = false;
    return {};
  }
  if (already) return {};
  // Rain already falling: the episode is under way unannounced.
  if (outlook.wetNow) {
    inEpisode_.insert_or_assign(std::wstring(cityCode), true);
    return {};
  }
  // Not now; the same episode may still be told once it is allowed.
  if (!context.enabled || context.sample || IsSampleCity(city) ||
      !UpdateAllowed(context.minuteOfDay, context.startUpdate, context.endUpdate)) {
    return {};
  }
  inEpisode_.insert_or_assign(std::wstring(cityCode), true);
  const auto begins = static_cast<uint32_t>(outlook.beginsInMinutes);
  return RainNoticeText(city, (context.minuteOfDay + begins) % (24 * 60));
}

}  // namespace cirrodex::today
