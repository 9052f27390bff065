#include "server/methods/answer_cache.h"

namespace kdr::server {

std::optional<std::string> AnswerCache::find(std::string_view key) const {
  std::lock_guard lock(mutex_);
  auto it = answers_.find(key);
  if (it == answers_.end()) {
    ++misses_;
    return std::nullopt;
  }
  ++hits_;
  return it->second;
}

bool AnswerCache::holds(std::string_view key) const {
  std::lock_guard lock(mutex_);
  return answers_.find(key) != answers_.end();
}

AnswerCache::Usage AnswerCache::usage() const {
  std::lock_guard lock(mutex_);
  return {hits_, misses_, used_, budget_};
}

std::uint64_t AnswerCache::generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

void AnswerCache::put(std::string key, const std::string &answer, std::uint64_t generation) {
  const std::size_t size = key.size() + answer.size();
  // One large answer (every client of a big database) must not push out all the others.
  if (size > budget_ / 8) return;
  std::lock_guard lock(mutex_);
  if (generation != generation_) return;
  if (used_ + size > budget_) {
    answers_.clear();
    used_ = 0;
  }
  if (answers_.emplace(std::move(key), answer).second) used_ += size;
}

void AnswerCache::invalidate() {
  std::lock_guard lock(mutex_);
  ++generation_;
  answers_.clear();
  used_ = 0;
}

} // namespace kdr::server
