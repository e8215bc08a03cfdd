#include "core/hourly_store.h"

#include "core/registry_ops.h"
#include "core/settings.h"
#include "platform/text.h"

namespace cirrodex {

bool StoreHourlyDocument(std::wstring_view code, std::string_view document) {
  const std::wstring text = platform::FromUtf8(document);
  if (text.size() > kHourlyDocumentLimit || !ParseHourlyForecast(document)) return false;
  return StoreString(HKEY_CURRENT_USER, CityKey(code), kHourlyForecastValue, text);
}

std::optional<HourlyForecast> LoadStoredHourlyForecast(std::wstring_view code) {
  std::wstring text;
  if (!ReadString(HKEY_CURRENT_USER, CityKey(code), kHourlyForecastValue, text)) {
    return std::nullopt;
  }
  return ParseHourlyForecast(platform::ToUtf8(text));
}

}  // namespace cirrodex
