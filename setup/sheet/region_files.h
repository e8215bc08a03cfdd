// The region files of city codes: one file per region in the install folder's "citycodes" folder,
// one location per line ("London, UKXX0085, 51.51, -0.13").
#pragma once

#include <string>
#include <vector>

#include "core/region_file.h"

namespace cirrodex {

// The region names of the files "*.csv" in "<installFolder>\citycodes" (a handheld path): each
// file name in capitals up to its first ".CSV", sorted by 16-bit character codes, equal names in
// the order found. Empty when the folder is missing.
std::vector<std::wstring> FindRegions(const std::wstring& installFolder);

// The locations of a region's file "<installFolder>\citycodes\<region>.csv" in file order (file
// names match without regard to case, as on the handheld). False when it cannot be opened.
bool ReadRegion(const std::wstring& installFolder, const std::wstring& region,
                std::vector<RegionLocation>& locations);

}  // namespace cirrodex
