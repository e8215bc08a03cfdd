#include "service/feeds/call_budget.h"

#include <algorithm>

namespace cirrodex::service {

CallBudget::CallBudget(CallLimits limits)
    : limits_{std::max(limits.perMinute, 1), std::max(limits.perHour, 1),
              std::max(limits.perDay, 1)},
      windows_{
          {60, limits_.perMinute, {}}, {3600, limits_.perHour, {}}, {86400, limits_.perDay, {}}} {}

CallBudget::Decision CallBudget::Take(std::time_t now, int asks) {
  std::lock_guard lock(mutex_);
  Decision decision;
  for (Window& window : windows_) {
    while (!window.calls.empty() && window.calls.back() > now) window.calls.pop_back();
    while (!window.calls.empty() && now - window.calls.front() >= window.span) {
      window.calls.pop_front();
    }
    const int left = window.limit - static_cast<int>(window.calls.size());
    // Each halving of the last quarter doubles the asks a city needs to spend from it.
    int need = 1;
    for (double share = window.limit / 4.0; left <= share && need < 16; share /= 2) need *= 2;
    if (need > 1) decision.tight = true;
    if (left <= 0 || asks < need) {
      const std::time_t free = window.calls.empty() ? now + 1 : window.calls.front() + window.span;
      decision.wait = std::max(decision.wait, std::max<std::time_t>(free - now, 1));
    }
  }
  if (decision.wait > 0) return decision;
  for (Window& window : windows_) window.calls.push_back(now);
  decision.taken = true;
  return decision;
}

}  // namespace cirrodex::service
