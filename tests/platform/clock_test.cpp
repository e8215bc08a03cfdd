#include "platform/clock.h"

#include <gtest/gtest.h>

namespace cirrodex::platform {
namespace {

SystemTime At(uint16_t year, uint16_t month, uint16_t day, uint16_t hour = 0, uint16_t minute = 0,
              uint16_t second = 0, uint16_t ms = 0) {
  SystemTime t;
  t.year = year;
  t.month = month;
  t.day = day;
  t.hour = hour;
  t.minute = minute;
  t.second = second;
  t.milliseconds = ms;
  return t;
}

void ExpectSameTime(const SystemTime& a, const SystemTime& b) {
  EXPECT_EQ(a.year, b.year);
  EXPECT_EQ(a.month, b.month);
  EXPECT_EQ(a.day, b.day);
  EXPECT_EQ(a.hour, b.hour);
  EXPECT_EQ(a.minute, b.minute);
  EXPECT_EQ(a.second, b.second);
  EXPECT_EQ(a.milliseconds, b.milliseconds);
}

TEST(FileTimes, RoundTripWithTheDayOfTheWeek) {
  struct Case {
    SystemTime time;
    uint16_t dayOfWeek;  // 0 = Sunday
  } cases[] = {
      {At(1601, 1, 1), 1},                     // the epoch of file times was a Monday
      {At(1970, 1, 1), 4},                     // a Thursday
      {At(2000, 2, 29, 12, 30, 15, 250), 2},   // a leap day of a century divisible by 400
      {At(2004, 12, 31, 23, 59, 59, 999), 5},  // a Friday
      {At(2100, 3, 1), 1},                     // 2100 has no 29 February
      {At(2024, 7, 14, 6, 5, 4, 3), 0},
      {At(1999, 12, 31, 23, 59, 59), 5},  // the last day before an era of 400 years
      {At(40000, 2, 29), 2},              // beyond the years a calendar library counts
      {At(58000, 1, 1), 6},
  };
  for (const Case& c : cases) {
    SystemTime back = FileTimeToSystemTime(SystemTimeToFileTime(c.time));
    ExpectSameTime(back, c.time);
    EXPECT_EQ(back.dayOfWeek, c.dayOfWeek) << c.time.year << "-" << c.time.month;
  }
  EXPECT_EQ(SystemTimeToFileTime(At(1601, 1, 1)), 0u);
  EXPECT_EQ(SystemTimeToFileTime(At(1601, 1, 2)) - SystemTimeToFileTime(At(1601, 1, 1)),
            864000000000u);
}

TEST(FileTimes, OverflowingFieldsCarryIntoTheNextUnit) {
  ExpectSameTime(FileTimeToSystemTime(SystemTimeToFileTime(At(2004, 13, 1))), At(2005, 1, 1));
  ExpectSameTime(FileTimeToSystemTime(SystemTimeToFileTime(At(2004, 1, 32))), At(2004, 2, 1));
  ExpectSameTime(FileTimeToSystemTime(SystemTimeToFileTime(At(2004, 2, 28, 25))),
                 At(2004, 2, 29, 1));
}

TEST(FixedClocks, AdvanceAcrossTheYearEnd) {
  FixedClock clock(At(2004, 12, 31, 23, 59, 50));
  clock.Advance(15000);
  ExpectSameTime(clock.LocalTime(), At(2005, 1, 1, 0, 0, 5));
  EXPECT_EQ(clock.LocalTime().dayOfWeek, 6);
}

TEST(FixedClocks, ReplaceTheRealClockUntilRemoved) {
  FixedClock clock(At(2004, 4, 30, 20));
  SetClockForTesting(&clock);
  ExpectSameTime(CurrentClock().LocalTime(), At(2004, 4, 30, 20));
  SetClockForTesting(nullptr);
  EXPECT_GE(CurrentClock().LocalTime().year, 2024);
}

}  // namespace
}  // namespace cirrodex::platform
