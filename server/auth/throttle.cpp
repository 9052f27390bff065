#include "server/auth/throttle.h"

#include <algorithm>

namespace kdr::server {

std::chrono::seconds SignInThrottle::waitFor(const std::string &key, Clock::time_point now) const {
  std::lock_guard lock(mutex_);
  auto it = records_.find(key);
  if (it == records_.end() || it->second.until <= now) return std::chrono::seconds(0);
  // Rounded up: "wait 0 seconds" would invite an attempt that is still too early.
  return std::chrono::ceil<std::chrono::seconds>(it->second.until - now);
}

void SignInThrottle::failed(const std::string &key, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  if (records_.size() > 100'000) forgetOld(now);
  Record &r = records_[key];
  ++r.failures;
  if (r.failures <= freeFailures) return;
  const int doublings = std::min(r.failures - freeFailures - 1, 20);
  r.until = now + std::min<std::chrono::seconds>(firstWait * (1LL << doublings), longestWait);
}

void SignInThrottle::succeeded(const std::string &key) {
  std::lock_guard lock(mutex_);
  records_.erase(key);
}

// Many addresses each failing once would otherwise grow the table without end; a record whose
// wait ended long ago says nothing worth keeping.
void SignInThrottle::forgetOld(Clock::time_point now) {
  std::erase_if(records_, [&](const auto &entry) { return entry.second.until + longestWait < now; });
}

} // namespace kdr::server
