#include "service/maps/rate_gate.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace cirrodex::service {

namespace {

constexpr double kWindowSeconds = 60;

class SystemClock : public MapClock {
 public:
  std::time_t Now() override { return std::time(nullptr); }
  double Monotonic() override {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void SleepUntil(double when) override {
    const double left = when - Monotonic();
    if (left > 0) std::this_thread::sleep_for(std::chrono::duration<double>(left));
  }
};

}  // namespace

MapClock& SystemMapClock() {
  static SystemClock* clock = new SystemClock;
  return *clock;
}

RateGate::RateGate(int perMinute, MapClock& clock)
    : perMinute_(std::max(1, perMinute)), clock_(clock) {}

double RateGate::WaitLocked(double now) {
  while (!taken_.empty() && taken_.front() <= now - kWindowSeconds) taken_.pop_front();
  if (static_cast<int>(taken_.size()) < perMinute_) return 0;
  // Callers already sleeping will take the slots that free first.
  const size_t slot = std::min(taken_.size() - 1, static_cast<size_t>(taken_.size()) -
                                                      static_cast<size_t>(perMinute_) +
                                                      static_cast<size_t>(waiting_));
  return taken_[slot] + kWindowSeconds - now;
}

double RateGate::Wait() {
  std::lock_guard lock(mutex_);
  return WaitLocked(clock_.Monotonic());
}

void RateGate::Cancel() {
  std::lock_guard lock(mutex_);
  cancelled_ = true;
}

bool RateGate::Take(double maxWaitSeconds) {
  // Sleeps in short slices so that Cancel() is noticed soon.
  constexpr double kSlice = 0.2;
  std::unique_lock lock(mutex_);
  const double start = clock_.Monotonic();
  for (;;) {
    if (cancelled_) return false;
    const double now = clock_.Monotonic();
    const double wait = WaitLocked(now);
    if (wait <= 0) {
      taken_.push_back(now);
      return true;
    }
    if (now + wait > start + maxWaitSeconds) return false;
    ++waiting_;
    lock.unlock();
    clock_.SleepUntil(now + std::min(wait, kSlice));
    lock.lock();
    --waiting_;
  }
}

}  // namespace cirrodex::service
