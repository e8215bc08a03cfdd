// The hourly document of each city, fetched after its feed from the same service.
#pragma once

#include <string>
#include <string_view>

namespace cirrodex {

// The hourly document's URL of `code` on the host of FeedBaseUrl(): its scheme, host and port
// followed by "/weather/hourly/CODE.json".
std::wstring HourlyUrl(std::wstring_view code);

// Fetches the hourly document of `code` and stores it (StoreHourlyDocument). A failed fetch, or a
// document refused, keeps the stored one; the city's feed, "DownloadResult" and history are never
// touched. True when a document was stored.
bool UpdateCityHours(std::wstring_view code);

}  // namespace cirrodex
