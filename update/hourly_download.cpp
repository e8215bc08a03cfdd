#include "update/hourly_download.h"

#include <memory>

#include "core/hourly_store.h"
#include "update/http_fetch.h"
#include "update/update_run.h"

namespace cirrodex {

std::wstring HourlyUrl(std::wstring_view code) {
  const std::wstring base = FeedBaseUrl();
  const size_t scheme = base.find(L"://");
  const size_t path = base.find(L'/', scheme == std::wstring::npos ? 0 : scheme + 3);
  return base.substr(0, path) + L"/weather/hourly/" + std::wstring(code) + L".json";
}

bool UpdateCityHours(std::wstring_view code) {
  std::unique_ptr<wchar_t[]> body;
  uint32_t length = 0;
  uint32_t result = 0;
  if (!HttpFetch(HourlyUrl(code).c_str(), body, length, &result) || !body) return false;
  // The fetch widens each byte to one character; the document is UTF-8.
  std::string bytes(length, '\0');
  for (uint32_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(body[i]);
  return StoreHourlyDocument(code, bytes);
}

}  // namespace cirrodex
