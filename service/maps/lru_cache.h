// A cache of shared values bounded by their total size, forgetting the least recently used first.
// Safe from several threads at once.
#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

namespace cirrodex::service {

template <class Value>
class LruCache {
 public:
  explicit LruCache(size_t maxBytes) : maxBytes_(maxBytes) {}

  // The value of `key`, now the most recently used; null when absent.
  std::shared_ptr<const Value> Find(const std::string& key) {
    std::lock_guard lock(mutex_);
    const auto found = index_.find(key);
    if (found == index_.end()) return nullptr;
    entries_.splice(entries_.begin(), entries_, found->second);
    return found->second->value;
  }

  // Stores `value` as `key`'s, counting it `bytes` large, and forgets the least recently used
  // entries until the total fits. A value larger than the whole cache is not kept.
  void Put(const std::string& key, std::shared_ptr<const Value> value, size_t bytes) {
    std::lock_guard lock(mutex_);
    const auto found = index_.find(key);
    if (found != index_.end()) {
      bytes_ -= found->second->bytes;
      entries_.erase(found->second);
      index_.erase(found);
    }
    if (bytes > maxBytes_ || !value) return;
    entries_.push_front(Entry{key, std::move(value), bytes});
    index_[key] = entries_.begin();
    bytes_ += bytes;
    while (bytes_ > maxBytes_) {
      Entry& last = entries_.back();
      bytes_ -= last.bytes;
      index_.erase(last.key);
      entries_.pop_back();
    }
  }

  size_t Bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
  }
  size_t Count() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
  }

 private:
  struct Entry {
    std::string key;
    std::shared_ptr<const Value> value;
    size_t bytes;
  };
  const size_t maxBytes_;
  mutable std::mutex mutex_;
  std::list<Entry> entries_;  // most recently used first
  std::unordered_map<std::string, typename std::list<Entry>::iterator> index_;
  size_t bytes_ = 0;
};

}  // namespace cirrodex::service
