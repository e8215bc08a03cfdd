// Gantrel's command line: which start each line asks for.
#include "setup/command_line.h"

#include <gtest/gtest.h>

namespace cirrodex {
namespace {

struct LineCase {
  const wchar_t* line;
  StartMode mode;
};

class StartModeOf : public ::testing::TestWithParam<LineCase> {};

TEST_P(StartModeOf, CommandLine) {
  EXPECT_EQ(ChooseStartMode(GetParam().line), GetParam().mode)
      << ::testing::PrintToString(std::wstring(GetParam().line));
}

INSTANTIATE_TEST_SUITE_P(
    Gantrel, StartModeOf,
    ::testing::Values(
        LineCase{L"", StartMode::FirstPage}, LineCase{L"/downloadandexit", StartMode::Download},
        // The download switch wins over every other, wherever it stands.
        LineCase{L"/current /downloadandexit", StartMode::Download},
        LineCase{L"/day1/downloadandexit", StartMode::Download},
        LineCase{L"/current", StartMode::Current}, LineCase{L"/current2", StartMode::Current},
        LineCase{L"x/currently", StartMode::Current},
        LineCase{L"/day3 /current", StartMode::Current}, LineCase{L"/day1", StartMode::Forecast},
        LineCase{L"/day3", StartMode::Forecast}, LineCase{L"/day5", StartMode::Forecast},
        LineCase{L"/day12", StartMode::Forecast}, LineCase{L"/hourly", StartMode::Hourly},
        LineCase{L"/hourly /current", StartMode::Current},
        // Case-sensitive, and nothing looser than the exact text.
        LineCase{L"/Current", StartMode::FirstPage},
        LineCase{L"/DownloadAndExit", StartMode::FirstPage},
        LineCase{L"/day6", StartMode::FirstPage}, LineCase{L"/day", StartMode::FirstPage},
        LineCase{L"-current", StartMode::FirstPage},
        LineCase{L"/download andexit", StartMode::FirstPage}));

TEST(GantrelCommandLine, JoinsArgumentsWithSingleSpaces) {
  const char* argv[] = {"gantrel", "/download", "andexit", "caf\xC3\xA9"};
  EXPECT_EQ(JoinArguments(4, argv), L"/download andexit caf\u00e9");
  EXPECT_EQ(JoinArguments(1, argv), L"");
  // Split across two arguments, a switch is no longer found.
  EXPECT_EQ(ChooseStartMode(JoinArguments(3, argv)), StartMode::FirstPage);
  const char* joined[] = {"gantrel", "/download", "/downloadandexit"};
  EXPECT_EQ(ChooseStartMode(JoinArguments(3, joined)), StartMode::Download);
}

}  // namespace
}  // namespace cirrodex
