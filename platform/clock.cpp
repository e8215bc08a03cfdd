#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <ctime>

namespace cirrodex::platform {

namespace {

// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDays = 134774;
constexpr int64_t kTicksPerSecond = 10000000;

// Days since 1970-01-01 of a proleptic Gregorian date (the civil-from-days inverse).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
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
  int64_t days = DaysFromCivil(year, month, 1) + (t.day == 0 ? 0 : t.day - 1) + kEpochDays;
  int64_t seconds = days * 86400 + int64_t{t.hour} * 3600 + int64_t{t.minute} * 60 + t.second;
  if (seconds < 0) return 0;
  return static_cast<FileTime>(seconds) * kTicksPerSecond +
         static_cast<FileTime>(t.milliseconds) * 10000;
}

SystemTime FileTimeToSystemTime(FileTime time) {
  const int64_t totalSeconds = static_cast<int64_t>(time / kTicksPerSecond);
  const int64_t days = totalSeconds / 86400 - kEpochDays;
  int64_t secs = totalSeconds % 86400;
  // civil-from-days
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2);
  SystemTime t;
  t.year = static_cast<uint16_t>(y);
  t.month = static_cast<uint16_t>(m);
  t.day = static_cast<uint16_t>(d);
  // 1970-01-01 was a Thursday (4).
  t.dayOfWeek = static_cast<uint16_t>(((days % 7) + 7 + 4) % 7);
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
