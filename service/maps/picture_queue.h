// Requests for pictures, admitted on the serving thread: equal requests share one job, at most
// `limit` different jobs wait or run at once, and one more is turned away (the server answers
// 503 with Retry-After). Not thread-safe: one thread adds and finishes.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace cirrodex::service {

template <class Result>
class PictureQueue {
 public:
  using Callback = std::function<void(const Result&)>;
  enum class Admission {
    Started,  // the caller runs the job and calls Finish(key, …)
    Joined,   // an equal job is under way; `done` is called when it finishes
    Full      // turned away; `done` is never called
  };

  explicit PictureQueue(size_t limit) : limit_(limit) {}

  Admission Add(const std::string& key, Callback done) {
    const auto found = jobs_.find(key);
    if (found != jobs_.end()) {
      found->second.push_back(std::move(done));
      return Admission::Joined;
    }
    if (jobs_.size() >= limit_) return Admission::Full;
    jobs_[key].push_back(std::move(done));
    return Admission::Started;
  }

  // Calls every waiter of `key` with `result` and forgets the job.
  void Finish(const std::string& key, const Result& result) {
    auto node = jobs_.extract(key);
    if (node.empty()) return;
    for (auto& done : node.mapped()) done(result);
  }

  size_t Jobs() const { return jobs_.size(); }

 private:
  const size_t limit_;
  std::map<std::string, std::vector<Callback>> jobs_;
};

}  // namespace cirrodex::service
