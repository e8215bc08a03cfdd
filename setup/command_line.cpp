#include "setup/command_line.h"

#include "platform/text.h"

namespace cirrodex {

std::wstring JoinArguments(int argc, const char* const* argv) {
  std::wstring line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += L' ';
    line += platform::FromUtf8(argv[i]);
  }
  return line;
}

StartMode ChooseStartMode(std::wstring_view commandLine) {
  auto has = [commandLine](std::wstring_view word) {
    return commandLine.find(word) != std::wstring_view::npos;
  };
  if (has(L"/downloadandexit")) return StartMode::Download;
  if (has(L"/current")) return StartMode::Current;
  for (const wchar_t* day : {L"/day1", L"/day2", L"/day3", L"/day4", L"/day5"}) {
    if (has(day)) return StartMode::Forecast;
  }
  if (has(L"/hourly")) return StartMode::Hourly;
  return StartMode::FirstPage;
}

}  // namespace cirrodex
