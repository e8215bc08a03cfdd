#include "setup/sheet/about_page.h"

namespace cirrodex {

namespace {

constexpr ControlTemplate kControls[] = {
    {ControlKind::Static, kNoControlId,
     L"Cirrodex\n"
     L"Weather for the Today screen\n"
     L"Revision 96\n"
     L"\n"
     L"Shows the weather of your home city and up to five visiting cities, with forecasts, "
     L"history graphs and radar and satellite maps, and keeps it up to date on your schedule.\n"
     L"\n"
     L"Velbrook\n"
     L"Free to use and to pass on unchanged.",
     2, 5, 159, 200},
};

constexpr DialogTemplate kTemplate{134, L"About", kPageWidthDlu, kPageHeightDlu, kControls};

}  // namespace

CAbout::CAbout() : PropertyPage(kTemplate) {}

}  // namespace cirrodex
