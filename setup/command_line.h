// The command line of Gantrel and the start it asks for.
#pragma once

#include <string>
#include <string_view>

namespace cirrodex {

enum class StartMode {
  Download,  // "/downloadandexit": download everything, show nothing, exit
  Current,   // the sheet on the Current page
  Forecast,  // the sheet on the Forecast page
  Hourly,    // the sheet on the Hourly page
  FirstPage,
};

// The program's arguments (UTF-8) joined with single spaces, without the program name.
std::wstring JoinArguments(int argc, const char* const* argv);

// Each switch is a case-sensitive search anywhere in `commandLine`, tested in the order
// "/downloadandexit", "/current", "/day1" .. "/day5", "/hourly"; the first found decides.
StartMode ChooseStartMode(std::wstring_view commandLine);

}  // namespace cirrodex
