// settings-writer ROUND MILLISECONDS: does what the setup sheet's Locations and Setup pages do when
// they save, over and over for MILLISECONDS, so that the writes overlap whatever runs beside it;
// the last pass stores the values of ROUND (see SheetValues in download_fault_test.cpp). Exits 1
// when any write failed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/text_field.h"

namespace {

using namespace cirrodex;

bool SaveSheet(uint32_t n) {
  CityList& cities = Cities();
  for (int slot = 0; slot < kCitySlots; ++slot) {
    if (cities.slots[slot].code[0] == L'\0') continue;
    CopyText(cities.slots[slot].name,
             L"City " + std::to_wstring(n) + L"-" + std::to_wstring(slot + 1));
  }
  SaveCityList();
  bool ok = true;
  ok &= StoreDword(HKEY_CURRENT_USER, kSettingsKey, kTemperatureUnits, n % 5);
  ok &= StoreDword(HKEY_CURRENT_USER, kSettingsKey, kSummaryDisplayType, n % 6);
  ok &= StoreDword(HKEY_CURRENT_USER, kSettingsKey, kDisplayLastUpdateTime, n % 2);
  ok &= StoreDword(HKEY_CURRENT_USER, kSettingsKey, kUpdateRate, 100 + n);
  ok &= StoreDword(HKEY_CURRENT_USER, kSettingsKey, kStartUpdate, n % 720);
  ok &= StoreDword(HKEY_CURRENT_USER, kSettingsKey, kEndUpdate, 1439 - n % 720);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: settings-writer ROUND MILLISECONDS\n");
    return 2;
  }
  const auto round = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10));
  const auto until = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(std::strtol(argv[2], nullptr, 10));
  LoadCityList();
  bool ok = true;
  // Passes with other values first, so that every write of the last pass changes something.
  for (uint32_t pass = 1; ok && std::chrono::steady_clock::now() < until; ++pass) {
    ok = SaveSheet(100000 + round * 100 + pass % 100);
  }
  ok = ok && SaveSheet(round);
  if (!ok) std::fprintf(stderr, "settings-writer: a write failed\n");
  return ok ? 0 : 1;
}
