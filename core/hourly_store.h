// A city's hourly document in its registry key, beside its feed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/hourly_forecast.h"

namespace cirrodex {

// REG_SZ in the city's key (CityKey), at most kHourlyDocumentLimit characters.
inline constexpr wchar_t kHourlyForecastValue[] = L"HourlyForecast";

// Stores `document` (UTF-8) as the hourly document of `code`. Refuses, keeping the stored one,
// a document longer than kHourlyDocumentLimit characters or one ParseHourlyForecast cannot read;
// touches no other value. True when stored.
bool StoreHourlyDocument(std::wstring_view code, std::string_view document);

// The stored hourly forecast of `code`; nothing when there is none or it cannot be read.
std::optional<HourlyForecast> LoadStoredHourlyForecast(std::wstring_view code);

}  // namespace cirrodex
