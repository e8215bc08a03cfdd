// Local time, behind an interface so that schedules and date comparisons can be tested with a
// clock the test sets.
#pragma once

#include <cstdint>

namespace cirrodex::platform {

// The platform's SYSTEMTIME: calendar fields of a local time. dayOfWeek 0 = Sunday.
struct SystemTime {
  uint16_t year = 0;
  uint16_t month = 0;
  uint16_t dayOfWeek = 0;
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;
};

// 100-nanosecond intervals since 1601-01-01 (the platform's FILETIME), of a local time.
using FileTime = uint64_t;

// Converts calendar fields to a file time (dayOfWeek is ignored). Fields out of range are
// normalised as the C library does.
FileTime SystemTimeToFileTime(const SystemTime& time);
SystemTime FileTimeToSystemTime(FileTime time);

class Clock {
 public:
  virtual ~Clock() = default;
  virtual SystemTime LocalTime() const = 0;
};

// The clock in force: the real local time unless a test installed another.
const Clock& CurrentClock();
// Installs `clock` (not owned; null restores the real clock).
void SetClockForTesting(const Clock* clock);

// A clock that stands where a test puts it.
class FixedClock : public Clock {
 public:
  explicit FixedClock(SystemTime time) : time_(time) {}
  SystemTime LocalTime() const override { return time_; }
  void Set(SystemTime time) { time_ = time; }
  void Advance(uint64_t milliseconds) {
    time_ = FileTimeToSystemTime(SystemTimeToFileTime(time_) + milliseconds * 10000);
  }

 private:
  SystemTime time_;
};

}  // namespace cirrodex::platform
