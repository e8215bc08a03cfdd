#include "core/hourly_store.h"

#include <cstdint>
#include <vector>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "platform/registry_store.h"
#include "platform/text.h"

namespace cirrodex {

bool StoreHourlyDocument(std::wstring_view code, std::string_view document) {
  const std::wstring text = platform::FromUtf8(document);
  if (text.size() > kHourlyDocumentLimit || !ParseHourlyForecast(document)) return false;
  return StoreString(HKEY_CURRENT_USER, CityKey(code), kHourlyForecastValue, text);
}

std::optional<HourlyForecast> LoadStoredHourlyForecast(std::wstring_view code) {
  // Read from the store itself: the handheld's value reads stop at 2,048 bytes, and a document
  // is several times that.
  uint32_t type = 0;
  std::vector<uint8_t> bytes;
  if (!platform::Registry().QueryValue(HKEY_CURRENT_USER, CityKey(code), kHourlyForecastValue,
                                       &type, &bytes) ||
      type != platform::REG_SZ || bytes.size() > (kHourlyDocumentLimit + 1) * 4) {
    return std::nullopt;
  }
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (unit == 0) break;
    units += unit;
  }
  return ParseHourlyForecast(platform::ToUtf8(platform::FromUtf16(units)));
}

}  // namespace cirrodex
