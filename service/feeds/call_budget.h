// A public source's calls as this service spends them: at most so many a minute, an hour and a
// day over all its clients, counted over sliding windows so that no minute, hour or day of the
// source's own count sees more. When the budget runs low, what is left goes to the cities asked
// for most often.
#pragma once

#include <ctime>
#include <deque>
#include <mutex>

namespace cirrodex::service {

struct CallLimits {
  int perMinute;
  int perHour;
  int perDay;
};

// Under the free forecast API's 600, 5,000 and 10,000, leaving room for the user's other
// programs on the same address.
inline constexpr CallLimits kOpenMeteoLimits{500, 4000, 8000};

class CallBudget {
 public:
  // Limits below 1 count as 1.
  explicit CallBudget(CallLimits limits);

  struct Decision {
    bool taken = false;
    bool tight = false;    // a window has at most a quarter of its calls left
    std::time_t wait = 0;  // not taken: seconds until the window that refused has room again
  };

  // Takes one call at `now` (UTC seconds) for a city asked for `asks` times. Within the last
  // quarter of any window a city needs 2 asks, within the last eighth 4, and so on up to 16, so
  // that ever new codes cannot crowd out the cities a client keeps asking for. Safe from several
  // threads at once. A clock set back forgets the calls that now lie ahead of it.
  Decision Take(std::time_t now, int asks);

  CallLimits Limits() const { return limits_; }

 private:
  struct Window {
    std::time_t span;
    int limit;
    std::deque<std::time_t> calls;  // oldest first, at most `limit`
  };

  CallLimits limits_;
  std::mutex mutex_;
  Window windows_[3];
};

}  // namespace cirrodex::service
