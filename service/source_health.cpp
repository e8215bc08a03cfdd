#include "service/source_health.h"

#include <algorithm>
#include <utility>

namespace cirrodex::service {

bool Overloaded(const UpstreamReply& reply) {
  return !reply.reached || reply.status == 429 || reply.status >= 500;
}

bool SourceHealth::Paused(double now, std::string* why) const {
  std::lock_guard lock(mutex_);
  if (!(now < pausedUntil_ && now > pausedAt_ - setBack_)) return false;
  if (why != nullptr) *why = why_;
  return true;
}

void SourceHealth::PauseUntil(double now, double until, std::string why) {
  std::lock_guard lock(mutex_);
  pausedAt_ = now;
  pausedUntil_ = std::max(until, now);
  why_ = std::move(why);
}

SourceHealth::Change SourceHealth::Record(const std::string& problem) {
  std::lock_guard lock(mutex_);
  problem_ = problem;
  const State next = problem.empty() ? State::Live : State::Failing;
  if (next == state_) return Change::None;
  const State was = std::exchange(state_, next);
  if (next == State::Failing) return Change::Failing;
  return was == State::Failing ? Change::LiveAgain : Change::Live;
}

bool SourceHealth::Failing() const {
  std::lock_guard lock(mutex_);
  return state_ == State::Failing;
}

std::string SourceHealth::Problem() const {
  std::lock_guard lock(mutex_);
  return problem_;
}

}  // namespace cirrodex::service
