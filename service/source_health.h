// How a public source is doing, shared by every request that uses it: paused for a while after it
// failed or asked to be left alone, so that an offline machine waits for a time-out once rather
// than once per request; and live or failing, so that the log says each change once.
#pragma once

#include <limits>
#include <mutex>
#include <string>

#include "service/upstream_client.h"

namespace cirrodex::service {

// An answer that says the source is down or overloaded: none at all, 429 or a server error.
bool Overloaded(const UpstreamReply& reply);

class SourceHealth {
 public:
  // A clock set back more than `setBack` seconds before a pause began ends the pause rather than
  // stretching it; a monotonic clock needs no such care.
  explicit SourceHealth(double setBack = std::numeric_limits<double>::infinity())
      : setBack_(setBack) {}

  // True while a pause lasts at `now`, with `why` (may be null) set to the reason it was given.
  bool Paused(double now, std::string* why = nullptr) const;
  // No request from `now` until `until`.
  void PauseUntil(double now, double until, std::string why = {});

  enum class Change { None, Live, LiveAgain, Failing };
  // Records a request's outcome (`problem` empty: it worked); what changed, for the one note.
  Change Record(const std::string& problem);
  bool Failing() const;
  // The last failure's problem; empty once a request worked.
  std::string Problem() const;

 private:
  const double setBack_;
  mutable std::mutex mutex_;
  double pausedAt_ = 0;
  double pausedUntil_ = -std::numeric_limits<double>::infinity();
  std::string why_;
  enum class State { Unknown, Live, Failing } state_ = State::Unknown;
  std::string problem_;
};

}  // namespace cirrodex::service
