// Good manners towards a map source: no more than a set number of requests in any minute, with
// the clock behind an interface so that tests drive time instead of sleeping.
#pragma once

#include <atomic>
#include <ctime>
#include <deque>
#include <mutex>

namespace cirrodex::service {

class MapClock {
 public:
  virtual ~MapClock() = default;
  // UTC seconds: the age of frames and of kept pictures.
  virtual std::time_t Now() = 0;
  // Seconds on a clock that never goes back: the rate windows.
  virtual double Monotonic() = 0;
  // Returns once Monotonic() has reached `when` (at once when it has).
  virtual void SleepUntil(double when) = 0;
};

// The real clocks; shared, never destroyed.
MapClock& SystemMapClock();

class RateGate {
 public:
  // At most `perMinute` (at least 1) requests in any 60 seconds of `clock`, which is not owned.
  RateGate(int perMinute, MapClock& clock);

  // Waits until one more request fits, then counts it and returns true. Returns false at once,
  // counting nothing, when the wait would be longer than `maxWaitSeconds`.
  bool Take(double maxWaitSeconds);
  // Seconds until a request would fit now (0 when it would).
  double Wait();
  // Makes every Take, under way or later, return false at once (within a fifth of a second):
  // the service is stopping.
  void Cancel();
  int PerMinute() const { return perMinute_; }

 private:
  double WaitLocked(double now);

  const int perMinute_;
  MapClock& clock_;
  std::mutex mutex_;
  std::deque<double> taken_;  // when the requests of the last minute were let through
  int waiting_ = 0;           // callers sleeping for their turn
  bool cancelled_ = false;
};

}  // namespace cirrodex::service
