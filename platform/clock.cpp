#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <ctime>

namespace cirrodex::platform {

namespace {

namespace chr = std::chrono;

// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDays = 134774;
constexpr int64_t kTicksPerSecond = 10000000;
// The Gregorian calendar repeats every 400 years. Fields up to year 65535 and file times up to
// year 58000 pass beyond std::chrono::year's range (32767), so whole eras are counted apart.
constexpr int64_t kEraYears = 400;
constexpr int64_t kEraDays = 146097;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days since 1970-01-01 of the first of a month of the proleptic Gregorian calendar.
int64_t DaysOfMonthStart(int64_t year, unsigned month) {
  const int64_t eras = FloorDiv(year - 1600, kEraYears);
  const chr::year_month_day first{chr::year{static_cast<int>(year - eras * kEraYears)},
                                  chr::month{month}, chr::day{1}};
  return chr::sys_days{first}.time_since_epoch().count() + eras * kEraDays;
}

class RealClock : public Clock {
 public:
  SystemTime LocalTime() const override {
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    SystemTime t;
    t.year = static_cast<uint16_t>(local.tm_year + 1900);
    t.month = static_cast<uint16_t>(local.tm_mon + 1);
    t.dayOfWeek = static_cast<uint16_t>(local.tm_wday);
    t.day = static_cast<uint16_t>(local.tm_mday);
    t.hour = static_cast<uint16_t>(local.tm_hour);
    t.minute = static_cast<uint16_t>(local.tm_min);
    t.second = static_cast<uint16_t>(local.tm_sec);
    t.milliseconds = static_cast<uint16_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    return t;
  }
};

const RealClock g_realClock;
std::atomic<const Clock*> g_clock{nullptr};

}  // namespace

FileTime SystemTimeToFileTime(const SystemTime& t) {
  // Normalise month overflow the way mktime would, then count.
  int64_t year = t.year;
  int64_t month = t.month == 0 ? 1 : t.month;
  year += (month - 1) / 12;
  month = (month - 1) % 12 + 1;
  int64_t days = DaysOfMonthStart(year, static_cast<unsigned>(month)) +
                 (t.day == 0 ? 0 : t.day - 1) + kEpochDays;
  int64_t seconds = days * 86400 + int64_t{t.hour} * 3600 + int64_t{t.minute} * 60 + t.second;
  if (seconds < 0) return 0;
  return static_cast<FileTime>(seconds) * kTicksPerSecond +
         static_cast<FileTime>(t.milliseconds) * 10000;
}

SystemTime FileTimeToSystemTime(FileTime time) {
  const int64_t totalSeconds = static_cast<int64_t>(time / kTicksPerSecond);
  const int64_t days = totalSeconds / 86400 - kEpochDays;
  int64_t secs = totalSeconds % 86400;
  const int64_t eras = FloorDiv(days, kEraDays);
  const chr::sys_days day{chr::days{days - eras * kEraDays}};
  const chr::year_month_day date{day};
  SystemTime t;
  t.year = static_cast<uint16_t>(static_cast<int>(date.year()) + eras * kEraYears);
  t.month = static_cast<uint16_t>(static_cast<unsigned>(date.month()));
  t.day = static_cast<uint16_t>(static_cast<unsigned>(date.day()));
  t.dayOfWeek = static_cast<uint16_t>(chr::weekday{day}.c_encoding());
  t.hour = static_cast<uint16_t>(secs / 3600);
  t.minute = static_cast<uint16_t>((secs / 60) % 60);
  t.second = static_cast<uint16_t>(secs % 60);
  t.milliseconds = static_cast<uint16_t>((time % kTicksPerSecond) / 10000);
  return t;
}

const Clock& CurrentClock() {
  const Clock* clock = g_clock.load();
  return clock != nullptr ? *clock : g_realClock;
}

void SetClockForTesting(const Clock* clock) { g_clock.store(clock); }

}  // namespace cirrodex::platform
